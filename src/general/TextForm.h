#pragma once
// The plain conversion of a value to text, as a caption receives it.

#include "engine/Variant.h"
#include "platform/Seams.h"

#include <string>

// Numbers in the locale-independent form ("." always, 15 significant digits,
// no trailing zeros); a date in the locale's short date form,
// followed by the time of day when it is not midnight; text as it is;
// booleans as "True" / "False"; Empty as the empty text. Null throws
// EngineError errTypeMismatch, as converting Null to text does.
std::string TextForm(const engine::Variant& value, const platform::Locale& locale);

// The date in the locale's short date form.
std::string ShortDate(const engine::Date& date, const platform::Locale& locale);

// A date and time of day (to the minute) in the locale's short date and time
// forms, as "08/12/2026 14:02" in the United Kingdom.
std::string ShortDateTime(const platform::LocalTime& time, const platform::Locale& locale);

// A count with a comma between each group of three digits, as a window's
// title shows it ("2,000", "-1,234,567"): the same on every locale.
std::string GroupedCount(long long count);

// An amount as the lists show it: a number, or text that is a number in its
// plain form (as a caption holds it: "-1250.5", "1E+15"), in the locale's form
// of money (Locale::amount: "-1,250.50"); Null, Empty and the empty text as
// nothing; other text as it is.
std::string ShownAmount(const engine::Variant& value, const platform::Locale& locale);

// A date as the lists show it: the locale's short date form (no time of day);
// Null and Empty as nothing; a value that is no date in its text form.
std::string ShownDate(const engine::Variant& value, const platform::Locale& locale);

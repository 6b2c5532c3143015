#pragma once
// Module General: a single value fetched from the database, and the null default.

#include "database/Database.h"
#include "engine/Variant.h"
#include "platform/Seams.h"

#include <string>

// "select " + expression + " as result from " + table + " " + criteria, opened
// as a dynaset (type 2, options 3). The text form of the first row's "result"
// (a date in locale's short form), or the empty text when the statement fails,
// has no row or gives Null.
std::string LookupValue(Database& database, const std::string& expression, const std::string& table,
                        const std::string& criteria, const platform::Locale& locale);

// A copy of defaultValue when value is Null, else a copy of value.
engine::Variant ValueOrDefault(const engine::Variant& value, const engine::Variant& defaultValue);

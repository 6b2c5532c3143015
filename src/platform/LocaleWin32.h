#pragma once
// The user's locale as Windows knows it (the user default locale). Windows only.

#include "platform/Seams.h"

namespace platform {

class Win32Locale : public Locale {
public:
    // GetDateFormatEx with DATE_SHORTDATE.
    std::string shortDate(int year, int month, int day) const override;
    // GetTimeFormatEx with TIME_NOSECONDS.
    std::string shortTime(int hour, int minute) const override;
    // LOCALE_SABBREVMONTHNAME1.., first letter a capital; three letters in English.
    std::string monthAbbreviation(int month) const override;
    // AmountIn the user's default locale.
    std::string amount(double value) const override;
};

// The amount with two decimals in the decimal point, thousands separators,
// grouping and negative form of the locale named localeName ("de-DE"; none:
// the user's default), as GetNumberFormatEx writes it: "1.250,50" in Germany.
// GroupedAmount when the locale cannot be told.
std::string AmountIn(const wchar_t* localeName, double value);

} // namespace platform

#include "platform/LocaleWin32.h"

#include "platform/WideText.h"

#include <windows.h>

#include <cwchar>

namespace platform {

namespace {

SYSTEMTIME systemTime(int year, int month, int day, int hour, int minute) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    return t;
}

std::wstring localeInfo(LCTYPE type, const wchar_t* localeName = LOCALE_NAME_USER_DEFAULT) {
    wchar_t buffer[128] = {};
    const int n = GetLocaleInfoEx(localeName, type, buffer, 128);
    return n > 0 ? std::wstring(buffer) : std::wstring();
}

UINT localeNumber(LCTYPE type, const wchar_t* localeName) {
    DWORD value = 0;
    GetLocaleInfoEx(localeName, type | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&value),
                    sizeof value / sizeof(wchar_t));
    return value;
}

// LOCALE_SGROUPING ("3;0", "3;2;0", "3") as NUMBERFMT's Grouping (3, 32, 30).
UINT grouping(const std::wstring& text) {
    UINT value = 0;
    bool endsInZero = false;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            endsInZero = c == L'0';
            if (!endsInZero)
                value = value * 10 + static_cast<UINT>(c - L'0');
        }
    }
    return endsInZero ? value : value * 10;
}

} // namespace

std::string AmountIn(const wchar_t* localeName, double value) {
    wchar_t plain[64];
    std::swprintf(plain, 64, L"%.2f", AmountShown(value));
    std::wstring point = localeInfo(LOCALE_SDECIMAL, localeName);
    std::wstring thousands = localeInfo(LOCALE_STHOUSAND, localeName);
    NUMBERFMTW format{};
    format.NumDigits = 2;
    format.LeadingZero = localeNumber(LOCALE_ILZERO, localeName);
    format.Grouping = grouping(localeInfo(LOCALE_SGROUPING, localeName));
    format.lpDecimalSep = point.data();
    format.lpThousandSep = thousands.data();
    format.NegativeOrder = localeNumber(LOCALE_INEGNUMBER, localeName);
    wchar_t shown[128] = {};
    if (point.empty() || GetNumberFormatEx(localeName, 0, plain, &format, shown, 128) <= 0)
        return GroupedAmount(value);
    return narrow(shown);
}

std::string Win32Locale::amount(double value) const {
    return AmountIn(LOCALE_NAME_USER_DEFAULT, value);
}

std::string Win32Locale::shortDate(int year, int month, int day) const {
    const SYSTEMTIME t = systemTime(year, month, day, 0, 0);
    wchar_t buffer[128] = {};
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, buffer, 128, nullptr) <= 0)
        return {};
    return narrow(buffer);
}

std::string Win32Locale::shortTime(int hour, int minute) const {
    const SYSTEMTIME t = systemTime(2000, 1, 1, hour, minute);
    wchar_t buffer[128] = {};
    if (GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &t, nullptr, buffer, 128) <= 0)
        return {};
    return narrow(buffer);
}

std::string Win32Locale::monthAbbreviation(int month) const {
    if (month < 1 || month > 12)
        return {};
    std::wstring name = localeInfo(static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + month - 1));
    // English names are three letters, as the log files have always been
    // named; other languages keep their own abbreviation.
    if (localeInfo(LOCALE_SISO639LANGNAME) == L"en" && name.size() > 3)
        name.resize(3);
    if (!name.empty())
        CharUpperBuffW(name.data(), 1);
    return narrow(name);
}

} // namespace platform

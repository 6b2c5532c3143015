#include "platform/LocaleWin32.h"

#include "platform/WideText.h"

#include <windows.h>

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

std::wstring localeInfo(LCTYPE type) {
    wchar_t buffer[128] = {};
    const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 128);
    return n > 0 ? std::wstring(buffer) : std::wstring();
}

} // namespace

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

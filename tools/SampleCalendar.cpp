#include "SampleCalendar.h"

#include <array>

namespace sample {

CivilDate civilFromDay(Day day) {
    const int z = day + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int dayOfEra = z - era * 146097;
    const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int mp = (5 * dayOfYear + 2) / 153;
    const int d = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int m = mp < 10 ? mp + 3 : mp - 9;
    return {yearOfEra + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

int daysInMonth(int year, int month) {
    static constexpr std::array<int, 12> lengths = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : lengths[static_cast<std::size_t>(month - 1)];
}

int monthIndex(Day day) {
    const CivilDate date = civilFromDay(day);
    return date.year * 12 + date.month - 1;
}

Day dayInMonth(int index, int dayOfMonth) {
    const int year = index / 12;
    const int month = index % 12 + 1;
    const int length = daysInMonth(year, month);
    return dayFromCivil(year, month, dayOfMonth < length ? dayOfMonth : length);
}

void writeIsoDate(Day day, char* out) {
    const CivilDate date = civilFromDay(day);
    const auto digit = [](int value) { return static_cast<char>('0' + value); };
    out[0] = digit(date.year / 1000 % 10);
    out[1] = digit(date.year / 100 % 10);
    out[2] = digit(date.year / 10 % 10);
    out[3] = digit(date.year % 10);
    out[4] = '-';
    out[5] = digit(date.month / 10);
    out[6] = digit(date.month % 10);
    out[7] = '-';
    out[8] = digit(date.day / 10);
    out[9] = digit(date.day % 10);
    out[10] = '\0';
}

std::string isoDate(Day day) {
    char text[64];
    writeIsoDate(day, text);
    return text;
}

std::string monthLabel(Day day) {
    static constexpr std::array<const char*, 12> names = {"January",   "February", "March",    "April",
                                                          "May",       "June",     "July",     "August",
                                                          "September", "October",  "November", "December"};
    const CivilDate date = civilFromDay(day);
    return std::string(names[static_cast<std::size_t>(date.month - 1)]) + " " + std::to_string(date.year);
}

} // namespace sample

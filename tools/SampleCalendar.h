#pragma once
// Calendar arithmetic for the sample: days are counted from 1970-01-01 in the
// proleptic Gregorian calendar, months as year * 12 + (month - 1).

#include <cstdint>
#include <string>

namespace sample {

using Day = std::int32_t;

struct CivilDate {
    int year;
    int month; // 1 to 12
    int day;   // 1 to 31
};

// Days from civil and back after Howard Hinnant's public-domain algorithms,
// exact for every date the sample can produce.
constexpr Day dayFromCivil(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}
CivilDate civilFromDay(Day day);

int daysInMonth(int year, int month);
int monthIndex(Day day);
// The day of the given month, the day of month clamped to the month's length.
Day dayInMonth(int monthIndex, int dayOfMonth);
inline Day firstOfMonth(int monthIndex) {
    return dayInMonth(monthIndex, 1);
}

// "YYYY-MM-DD" into out, which must hold 11 characters (terminator included).
void writeIsoDate(Day day, char* out);
std::string isoDate(Day day);
// "June 2025".
std::string monthLabel(Day day);

} // namespace sample

#include "engine/Date.h"

#include <cmath>
#include <cstdio>

namespace engine {

namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian calendar).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (m <= 2));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

const long long epochDays = daysFromCivil(1899, 12, 30);

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// The serial split into its day and its time of day in whole seconds. Before
// the epoch the integer part is the day and the fraction the time's magnitude
// (-1.25 is 29 December 1899, 06:00), as the platform's dates count.
// A serial outside the platform's range (1 January 100 to 31 December 9999)
// or not a number is taken as the nearest end of it (0 for NaN), so that no
// conversion leaves the integer range.
void split(double serial, long long& day, long long& seconds) {
    constexpr double first = -657434.0;
    constexpr double last = 2958465.0 + 86399.0 / 86400.0;
    if (std::isnan(serial))
        serial = 0;
    else if (serial < first)
        serial = first;
    else if (serial > last)
        serial = last;
    const double whole = std::trunc(serial);
    const double fraction = std::fabs(serial - whole);
    day = static_cast<long long>(whole);
    seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        // Rounded up to midnight: the next day's start.
        day += 1;
        seconds = 0;
    }
}

bool digitsAt(std::string_view text, std::size_t pos, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

Date Date::fromParts(const DateParts& p) {
    auto floorDiv = [](long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); };
    // A month outside 1..12 and a day or time beyond its unit carry over.
    const long long months = static_cast<long long>(p.year) * 12 + (p.month - 1);
    const long long year = floorDiv(months, 12);
    const auto month = static_cast<unsigned>(months - year * 12 + 1);
    const long long seconds = p.hour * 3600LL + p.minute * 60LL + p.second;
    const long long days = daysFromCivil(year, month, 1) + (p.day - 1) + floorDiv(seconds, 86400) - epochDays;
    const double time = static_cast<double>(seconds - floorDiv(seconds, 86400) * 86400) / 86400.0;
    return Date(days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time);
}

std::optional<Date> Date::fromIso(std::string_view text) {
    if (text.size() != 10 && text.size() != 19)
        return std::nullopt;
    DateParts p;
    if (!digitsAt(text, 0, 4, p.year) || text[4] != '-' || !digitsAt(text, 5, 2, p.month) || text[7] != '-' ||
        !digitsAt(text, 8, 2, p.day))
        return std::nullopt;
    // The platform's dates run from the year 100 to 9999.
    if (p.year < 100 || p.month < 1 || p.month > 12 || p.day < 1 || p.day > daysInMonth(p.year, p.month))
        return std::nullopt;
    if (text.size() == 19) {
        if (text[10] != ' ' || !digitsAt(text, 11, 2, p.hour) || text[13] != ':' || !digitsAt(text, 14, 2, p.minute) ||
            text[16] != ':' || !digitsAt(text, 17, 2, p.second))
            return std::nullopt;
        if (p.hour > 23 || p.minute > 59 || p.second > 59)
            return std::nullopt;
    }
    return fromParts(p);
}

DateParts Date::parts() const {
    long long day = 0;
    long long seconds = 0;
    split(serial_, day, seconds);
    DateParts p;
    civilFromDays(day + epochDays, p.year, p.month, p.day);
    p.hour = static_cast<int>(seconds / 3600);
    p.minute = static_cast<int>(seconds / 60 % 60);
    p.second = static_cast<int>(seconds % 60);
    return p;
}

Date Date::dateOnly() const {
    long long day = 0;
    long long seconds = 0;
    split(serial_, day, seconds);
    return Date(static_cast<double>(day));
}

bool Date::hasTimeOfDay() const {
    long long day = 0;
    long long seconds = 0;
    split(serial_, day, seconds);
    return seconds != 0;
}

std::string Date::toIso() const {
    const DateParts p = parts();
    char buffer[48];
    if (hasTimeOfDay())
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                      p.second);
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", p.year, p.month, p.day);
    return buffer;
}

} // namespace engine

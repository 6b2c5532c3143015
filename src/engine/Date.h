#pragma once
// The platform date: days since 30 December 1899 as a double, the time of day
// as the fraction.

#include "platform/Seams.h"

#include <optional>
#include <string>
#include <string_view>

namespace engine {

// A calendar date and time of day, in the same parts as the clock gives them.
using DateParts = platform::LocalTime;

class Date {
public:
    constexpr Date() = default;
    constexpr explicit Date(double serial) : serial_(serial) {}
    // The serial of the parts. A month outside 1..12, a day beyond its month
    // and a time beyond its day carry over as the platform's DateSerial and
    // TimeSerial do (month 13 is January of the next year, day 0 the last day
    // of the month before).
    static Date fromParts(const DateParts& parts);
    // Exactly "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS" (a valid calendar date and
    // time); anything else gives nothing.
    static std::optional<Date> fromIso(std::string_view text);

    constexpr double serial() const { return serial_; }
    DateParts parts() const;
    Date dateOnly() const;
    bool hasTimeOfDay() const;
    // "YYYY-MM-DD" for a date alone, "YYYY-MM-DD HH:MM:SS" with a time of day.
    std::string toIso() const;

    bool operator==(const Date&) const = default;

private:
    double serial_ = 0;
};

} // namespace engine

#include "engine/Currency.h"

#include "engine/EngineError.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace engine {

// An amount scaled to four places rounds as the platform's conversion does
// only where each step on doubles is rounded to a double: not on the x87
// unit, whose 80 bits a 32-bit x86 build uses unless told SSE2 (CMakeLists.txt).
static_assert(FLT_EVAL_METHOD == 0, "doubles must be worked out as doubles");

namespace {

constexpr std::int64_t scale = 10000;

[[noreturn]] void overflow() {
    throw EngineError(errOverflow, engineSource, "Overflow");
}

// Rounds to the nearest integer, a tie to the even neighbour.
double roundHalfEven(double x) {
    const double down = std::floor(x);
    const double rest = x - down;
    if (rest > 0.5)
        return down + 1;
    if (rest < 0.5)
        return down;
    return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

} // namespace

Currency Currency::fromDouble(double value) {
    if (!std::isfinite(value))
        overflow();
    const double scaled = roundHalfEven(value * static_cast<double>(scale));
    // 2^63 is exact as a double; the range is [-2^63, 2^63).
    constexpr double limit = 9223372036854775808.0;
    if (!(scaled >= -limit && scaled < limit))
        overflow();
    return Currency(static_cast<std::int64_t>(scaled));
}

double Currency::toDouble() const {
    return static_cast<double>(scaled_) / static_cast<double>(scale);
}

std::string Currency::text() const {
    // Work on the magnitude as unsigned so that the most negative amount has one.
    const bool negative = scaled_ < 0;
    const std::uint64_t magnitude = negative ? static_cast<std::uint64_t>(0) - static_cast<std::uint64_t>(scaled_)
                                             : static_cast<std::uint64_t>(scaled_);
    std::string out = negative ? "-" : "";
    out += std::to_string(magnitude / scale);
    std::uint64_t fraction = magnitude % scale;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 4 - digits.size(), '0');
        while (digits.back() == '0')
            digits.pop_back();
        out += "." + digits;
    }
    return out;
}

Currency Currency::operator+(Currency other) const {
    std::int64_t result = 0;
    if (__builtin_add_overflow(scaled_, other.scaled_, &result))
        overflow();
    return Currency(result);
}

Currency Currency::operator-(Currency other) const {
    std::int64_t result = 0;
    if (__builtin_sub_overflow(scaled_, other.scaled_, &result))
        overflow();
    return Currency(result);
}

} // namespace engine

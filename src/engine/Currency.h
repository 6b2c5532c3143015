#pragma once
// Money: a 64-bit integer scaled by 10,000 (four decimal places).

#include <compare>
#include <cstdint>
#include <string>

namespace engine {

class Currency {
public:
    constexpr Currency() = default;
    static constexpr Currency fromScaled(std::int64_t scaled) { return Currency(scaled); }
    // Rounds to four places (half to even, as the platform's currency
    // conversion does). Throws EngineError errOverflow for an amount outside
    // the range (about +-922,337,203,685,477.58) or a value that is not finite.
    static Currency fromDouble(double value);

    constexpr std::int64_t scaled() const { return scaled_; }
    double toDouble() const;
    // Plain text form: optional minus, digits, and the significant decimals
    // after "." only when there are any (12.5, -3, 0.0001).
    std::string text() const;

    // Throw EngineError errOverflow when the result leaves the range.
    Currency operator+(Currency other) const;
    Currency operator-(Currency other) const;
    constexpr auto operator<=>(const Currency&) const = default;

private:
    constexpr explicit Currency(std::int64_t scaled) : scaled_(scaled) {}
    std::int64_t scaled_ = 0;
};

} // namespace engine

#include "engine/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace engine {

// Rule: the value is rounded to 15 significant digits; with its decimal
// exponent e (value = d.ddd x 10^e after rounding) the plain form is used for
// -5 < e < 15, else the exponent form: mantissa without trailing zeros, "E",
// the exponent's sign and at least two digits ("1E+15", "1.5E-05", "1E+100").
// Not a number gives "NaN", the infinities "Inf" and "-Inf".
std::string NumberText(double value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Inf" : "Inf";
    if (value == 0)
        return "0"; // also -0

    // d.dddddddddddddde[+-]xx: 15 significant digits, correctly rounded, locale free.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string scientific(buffer, result.ptr);
    const bool negative = scientific[0] == '-';
    const std::size_t start = negative ? 1 : 0;
    const std::size_t ePos = scientific.find('e');
    std::string digits = scientific.substr(start, 1) + scientific.substr(start + 2, ePos - start - 2);
    const int exponent = std::atoi(scientific.c_str() + ePos + 1);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent >= 15 || exponent < -4) {
        out += digits.substr(0, 1);
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        const int magnitude = exponent < 0 ? -exponent : exponent;
        out += exponent < 0 ? "E-" : "E+";
        if (magnitude < 10)
            out += '0';
        out += std::to_string(magnitude);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        const auto intDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits + std::string(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
        }
    }
    return out;
}

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

double LeadingNumber(const std::string& text) {
    // Gather the number's characters without the blanks between them.
    std::string number;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skipBlanks = [&] {
        while (i < n && isBlank(text[i]))
            ++i;
    };
    bool negative = false;
    skipBlanks();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool anyDigit = false;
    bool seenPoint = false;
    // Where the first significant digit stands relative to the point, for
    // telling an overflow from an underflow below.
    long long leadingPower = 0;
    bool significant = false;
    long long intDigits = 0;
    long long fractionZeros = 0;
    for (;; ++i) {
        skipBlanks();
        if (i >= n)
            break;
        const char c = text[i];
        if (isDigit(c)) {
            anyDigit = true;
            number += c;
            if (!seenPoint) {
                if (significant || c != '0') {
                    significant = true;
                    ++intDigits;
                }
            } else if (!significant) {
                if (c == '0')
                    ++fractionZeros;
                else
                    significant = true;
            }
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
            number += c;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return 0;
    leadingPower = intDigits > 0 ? intDigits - 1 : -(fractionZeros + 1);

    // An exponent counts only when at least one digit follows the E.
    long long exponentValue = 0;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        std::size_t j = i + 1;
        auto skip = [&] {
            while (j < n && isBlank(text[j]))
                ++j;
        };
        skip();
        std::string exponent = "e";
        bool exponentNegative = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            exponentNegative = text[j] == '-';
            exponent += text[j];
            ++j;
        }
        bool exponentDigits = false;
        for (;; ++j) {
            skip();
            if (j >= n || !isDigit(text[j]))
                break;
            exponentDigits = true;
            exponent += text[j];
            if (exponentValue < 100000)
                exponentValue = exponentValue * 10 + (text[j] - '0');
        }
        if (exponentDigits) {
            number += exponent;
            if (exponentNegative)
                exponentValue = -exponentValue;
        } else {
            exponentValue = 0;
        }
    }

    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (!significant)
            value = 0;
        else
            value = leadingPower + exponentValue > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc()) {
        value = 0;
    }
    if (value == 0)
        return 0; // never a negative zero
    return negative ? -value : value;
}

} // namespace engine

#pragma once
// Conversions between numbers and text that do not depend on the locale.

#include <string>

namespace engine {

// The platform's plain text form of a double: at most 15 significant digits,
// no trailing zeros, "." as decimal point, no thousands separators; a stored
// 0.1 + 0.2 gives "0.3", 1250.50 gives "1250.5", -0 gives "0". Very large or
// very small magnitudes use the exponent form ("1E+15", "1E-05"): after
// rounding to 15 digits, from 1E+15 up and below 0.0001. Not a number gives
// "NaN", the infinities "Inf" and "-Inf".
std::string NumberText(double value);

// Reads the longest leading number of text: blanks, tabs and line feeds are
// skipped anywhere, then an optional sign, digits, at most one "." and an
// optional exponent; the rest is ignored. Text that does not begin with a
// number gives 0. Never throws; an exponent that overflows gives +-infinity.
double LeadingNumber(const std::string& text);

} // namespace engine

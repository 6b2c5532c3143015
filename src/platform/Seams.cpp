#include "platform/Seams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform {

std::string GroupedDigits(const std::string& number) {
    const std::size_t sign = !number.empty() && number[0] == '-' ? 1 : 0;
    const std::size_t point = std::min(number.find('.'), number.size());
    std::string text = number.substr(0, sign);
    for (std::size_t i = sign; i < point; ++i) {
        if (i > sign && (point - i) % 3 == 0)
            text += ',';
        text += number[i];
    }
    return text + number.substr(point);
}

double AmountShown(double value) {
    const double cents = std::round(value * 100);
    return cents == 0 ? 0.0 : cents / 100;
}

std::string GroupedAmount(double value) {
    char plain[64];
    std::snprintf(plain, sizeof plain, "%.2f", AmountShown(value));
    return GroupedDigits(plain);
}

std::string Locale::amount(double value) const {
    return GroupedAmount(value);
}

} // namespace platform

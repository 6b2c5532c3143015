#include "engine/Variant.h"

#include "engine/EngineError.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace engine {

namespace {

[[noreturn]] void typeMismatch() {
    throw EngineError(errTypeMismatch, engineSource, "Type mismatch");
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The whole text, blanks around it aside, as a number in "." form: an
// optional sign, digits with at most one ".", an optional exponent.
bool parseNumber(const std::string& text, double& value) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    bool negative = false;
    if (begin < end && (text[begin] == '+' || text[begin] == '-')) {
        negative = text[begin] == '-';
        ++begin;
    }
    // from_chars takes no sign of its own here, nor infinity or nan words.
    if (begin == end || !((text[begin] >= '0' && text[begin] <= '9') || text[begin] == '.'))
        return false;
    const auto result = std::from_chars(text.data() + begin, text.data() + end, value);
    if (result.ptr != text.data() + end)
        return false;
    if (result.ec == std::errc::result_out_of_range)
        throw EngineError(errOverflow, engineSource, "Overflow");
    if (result.ec != std::errc())
        return false;
    if (negative)
        value = -value;
    return true;
}

} // namespace

Variant Variant::null() {
    Variant v;
    v.value_ = NullValue{};
    return v;
}

Variant Variant::boolean(bool value) {
    Variant v;
    v.value_ = BooleanValue{value};
    return v;
}

bool Variant::isNumeric() const {
    const Kind k = kind();
    return k == Kind::Integer || k == Kind::Double || k == Kind::Currency || k == Kind::Boolean;
}

double Variant::otherToDouble() const {
    switch (kind()) {
    case Kind::Empty:
        return 0;
    case Kind::Integer:
        return static_cast<double>(integer());
    case Kind::Double:
        return number();
    case Kind::Currency:
        return currency().toDouble();
    case Kind::Date:
        return date().serial();
    case Kind::Boolean:
        return boolean() ? -1 : 0;
    case Kind::Text: {
        double value = 0;
        if (!parseNumber(text(), value))
            typeMismatch();
        return value;
    }
    case Kind::Null:
        break;
    }
    typeMismatch();
}

Currency Variant::otherToCurrency() const {
    switch (kind()) {
    case Kind::Currency:
        return currency();
    case Kind::Integer: {
        // Exact for integers, with no detour through a double.
        std::int64_t scaled = 0;
        if (__builtin_mul_overflow(integer(), std::int64_t{10000}, &scaled))
            throw EngineError(errOverflow, engineSource, "Overflow");
        return Currency::fromScaled(scaled);
    }
    default:
        return Currency::fromDouble(toDouble());
    }
}

Date Variant::toDate() const {
    if (kind() == Kind::Date)
        return date();
    if (kind() == Kind::Text) {
        if (auto d = Date::fromIso(text()))
            return *d;
    }
    typeMismatch();
}

} // namespace engine

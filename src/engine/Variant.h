#pragma once
// A value read from or written to a recordset field: Empty, Null, a number,
// money, a date, text or a boolean.

#include "engine/Currency.h"
#include "engine/Date.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace engine {

class Variant {
public:
    enum class Kind { Empty, Null, Integer, Double, Currency, Date, Text, Boolean };

    Variant() = default; // Empty
    static Variant null();
    Variant(int value) : value_(static_cast<std::int64_t>(value)) {}
    Variant(std::int64_t value) : value_(value) {}
    Variant(double value) : value_(value) {}
    Variant(Currency value) : value_(value) {}
    Variant(Date value) : value_(value) {}
    Variant(std::string value) : value_(std::move(value)) {}
    Variant(const char* value) : value_(std::string(value)) {}
    static Variant boolean(bool value);

    // Asked of value after value, so worked out where it is asked: the
    // alternatives of value_ are in the order of Kind.
    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNumeric() const; // Integer, Double, Currency or Boolean

    // Numeric value. Empty is 0; a boolean is -1 or 0; text that is a number
    // in "." form is that number. Null or other text throws errTypeMismatch.
    double toDouble() const {
        // A double, as money read from a file mostly is, without a call.
        if (const double* number = std::get_if<double>(&value_))
            return *number;
        return otherToDouble();
    }
    // toDouble() to four places; throws errOverflow outside the range.
    Currency toCurrency() const {
        if (const double* number = std::get_if<double>(&value_))
            return Currency::fromDouble(*number);
        return otherToCurrency();
    }
    // A date, or a date's ISO text. Anything else throws errTypeMismatch.
    Date toDate() const;

    // The payload for callers that switch on kind().
    std::int64_t integer() const { return std::get<std::int64_t>(value_); }
    double number() const { return std::get<double>(value_); }
    Currency currency() const { return std::get<Currency>(value_); }
    Date date() const { return std::get<Date>(value_); }
    const std::string& text() const { return std::get<std::string>(value_); }
    bool boolean() const { return std::get<BooleanValue>(value_).value; }

    bool operator==(const Variant&) const = default;

    // The value replaced where it lies, a text written into the text already
    // held: a reading of many rows sets the same fields row after row.
    void set(std::int64_t value) { value_ = value; }
    void set(double value) { value_ = value; }
    void set(Date value) { value_ = value; }
    void setNull() { value_ = NullValue{}; }
    void setText(std::string_view text) {
        if (std::string* held = std::get_if<std::string>(&value_))
            held->assign(text);
        else
            value_.emplace<std::string>(text);
    }

private:
    double otherToDouble() const;
    Currency otherToCurrency() const;

    struct NullValue {
        bool operator==(const NullValue&) const = default;
    };
    struct BooleanValue {
        bool value;
        bool operator==(const BooleanValue&) const = default;
    };
    using Value =
        std::variant<std::monostate, NullValue, std::int64_t, double, Currency, Date, std::string, BooleanValue>;
    template <Kind kind> using Alternative = std::variant_alternative_t<static_cast<std::size_t>(kind), Value>;
    static_assert(std::is_same_v<Alternative<Kind::Null>, NullValue> &&
                  std::is_same_v<Alternative<Kind::Integer>, std::int64_t> &&
                  std::is_same_v<Alternative<Kind::Double>, double> &&
                  std::is_same_v<Alternative<Kind::Currency>, Currency> &&
                  std::is_same_v<Alternative<Kind::Date>, Date> &&
                  std::is_same_v<Alternative<Kind::Text>, std::string> &&
                  std::is_same_v<Alternative<Kind::Boolean>, BooleanValue>);
    Value value_;
};

} // namespace engine

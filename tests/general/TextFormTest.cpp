#include "general/TextForm.h"

#include "engine/EngineError.h"

#include "Recorders.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

using engine::Currency;
using engine::Date;
using engine::Variant;

class TextFormTest : public testing::Test {
protected:
    BritishLocale locale_;
};

// A locale whose forms show which parts it was handed.
struct PartsLocale : platform::Locale {
    std::string shortDate(int year, int month, int day) const override {
        return std::to_string(month) + "|" + std::to_string(day) + "|" + std::to_string(year);
    }
    std::string shortTime(int hour, int minute) const override {
        return std::to_string(hour) + "h" + std::to_string(minute);
    }
    std::string monthAbbreviation(int month) const override { return "M" + std::to_string(month); }
};

TEST_F(TextFormTest, PlainFormOfEachKind) {
    const struct {
        const char* why;
        Variant value;
        std::string expected;
    } cases[] = {
        {"empty", Variant(), ""},
        {"integer zero", Variant(0), "0"},
        {"negative integer", Variant(-42), "-42"},
        {"largest integer", Variant(std::numeric_limits<std::int64_t>::max()), "9223372036854775807"},
        {"sum of tenths", Variant(0.1 + 0.2), "0.3"},
        {"no trailing zero", Variant(1250.50), "1250.5"},
        {"whole double", Variant(300.0), "300"},
        {"negative double", Variant(-17.25), "-17.25"},
        {"minus zero", Variant(-0.0), "0"},
        {"currency with decimals", Variant(Currency::fromScaled(125000)), "12.5"},
        {"negative currency", Variant(Currency::fromScaled(-30000)), "-3"},
        {"smallest currency step", Variant(Currency::fromScaled(1)), "0.0001"},
        {"text", Variant("O'NEIL"), "O'NEIL"},
        {"empty text", Variant(""), ""},
        {"true", Variant::boolean(true), "True"},
        {"false", Variant::boolean(false), "False"},
        {"date", Variant(Date::fromParts({2026, 12, 7, 0, 0, 0})), "07/12/2026"},
        {"date and time", Variant(Date::fromParts({2026, 12, 7, 14, 5, 9})), "07/12/2026 14:05:09"},
        {"one second past midnight", Variant(Date::fromParts({2027, 1, 1, 0, 0, 1})), "01/01/2027 00:00:01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextForm(c.value, locale_), c.expected) << c.why;
}

TEST_F(TextFormTest, NullIsATypeMismatch) {
    try {
        TextForm(Variant::null(), locale_);
        FAIL() << "Null converted to text";
    } catch (const engine::EngineError& e) {
        EXPECT_EQ(e.number, engine::errTypeMismatch);
        EXPECT_EQ(e.source, engine::engineSource);
        EXPECT_EQ(e.description, "Invalid use of Null");
    }
}

// Captions of totals are read back with "." as the decimal point.
TEST_F(TextFormTest, NumbersIgnoreTheLocale) {
    const PartsLocale other;
    EXPECT_EQ(TextForm(Variant(1250.5), other), "1250.5");
    EXPECT_EQ(TextForm(Variant(1234567.25), other), "1234567.25");
    EXPECT_EQ(TextForm(Variant(Currency::fromScaled(-12345)), other), "-1.2345");
}

// A title's counts: a comma at each third digit from the right, nowhere else.
TEST(GroupedCount, CommasBetweenGroupsOfThree) {
    const std::pair<long long, const char*> cases[] = {
        {0, "0"},          {999, "999"},
        {1000, "1,000"},   {2000, "2,000"},
        {12345, "12,345"}, {1234567, "1,234,567"},
        {-1000, "-1,000"}, {std::numeric_limits<long long>::min(), "-9,223,372,036,854,775,808"},
    };
    for (const auto& [count, text] : cases)
        EXPECT_EQ(GroupedCount(count), text) << count;
}

// The lists' money: two decimals in the locale's form (here the default,
// the United Kingdom's), whether the amount comes as a number or as the plain
// text of a caption; text that is no number is shown as it is.
TEST_F(TextFormTest, AmountsShowAsMoney) {
    const struct {
        Variant value;
        std::string expected;
    } cases[] = {
        {Variant("822.5"), "822.50"},
        {Variant("10289.84"), "10,289.84"},
        {Variant("-464.84"), "-464.84"},
        {Variant("1234567"), "1,234,567.00"},
        {Variant("-0.004"), "0.00"},
        {Variant("0.005"), "0.01"},
        {Variant("1E+15"), "1,000,000,000,000,000.00"},
        {Variant(0.1 + 0.2), "0.30"},
        {Variant(Currency::fromScaled(-125000)), "-12.50"},
        {Variant(""), ""},
        {Variant::null(), ""},
        {Variant("ten pounds"), "ten pounds"},
        {Variant("12."), "12."},
        {Variant("1,250.50"), "1,250.50"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShownAmount(c.value, locale_), c.expected) << c.expected;
}

// The date part goes through the locale; the time of day keeps its own form.
TEST_F(TextFormTest, DatesFollowTheLocale) {
    const PartsLocale other;
    const Date date = Date::fromParts({2026, 12, 7, 0, 0, 0});
    EXPECT_EQ(ShortDate(date, locale_), "07/12/2026");
    EXPECT_EQ(ShortDate(Date::fromParts({2026, 12, 7, 18, 30, 0}), locale_), "07/12/2026");
    EXPECT_EQ(ShortDate(date, other), "12|7|2026");
    EXPECT_EQ(TextForm(Variant(date), other), "12|7|2026");
    EXPECT_EQ(TextForm(Variant(Date::fromParts({2026, 12, 7, 8, 0, 0})), other), "12|7|2026 08:00:00");
}

} // namespace

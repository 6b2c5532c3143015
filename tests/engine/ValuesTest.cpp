#include "engine/Currency.h"
#include "engine/Date.h"
#include "engine/EngineError.h"
#include "engine/NumberText.h"
#include "engine/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

using namespace engine;

namespace {

template <typename F> std::int32_t errorNumberOf(F&& f) {
    try {
        f();
    } catch (const EngineError& e) {
        return e.number;
    }
    return 0;
}

// ---- Currency

TEST(Currency, RoundsToFourPlacesHalfToEven) {
    struct Case {
        double value;
        std::int64_t scaled;
    } cases[] = {
        {0, 0},           {1250.5, 12505000}, {0.1 + 0.2, 3000}, // 0.30000000000000004 is 0.3000
        {0.00005, 0},                                            // a tie goes to the even 0.0000
        {0.00035, 4},                                            // 3.5 -> 4
        {0.00025, 2},                                            // 2.5 -> 2
        {0.12345, 1234},                                         // 1234.5 -> 1234
        {0.12355, 1236},                                         // 1235.5 -> 1236
        {-0.00035, -4},   {-0.00025, -2},     {0.00015, 1},      // the double is just below the tie
        {2.71828, 27183}, {-2.71828, -27183}, {-1e14, -1000000000000000000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Currency::fromDouble(c.value).scaled(), c.scaled) << c.value;
}

TEST(Currency, OutOfRangeAndNonFiniteAreOverflow) {
    for (double v : {1e15, -1e15, 922337203685477.6 * 2, std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(errorNumberOf([&] { Currency::fromDouble(v); }), errOverflow) << v;
    }
    const Currency max = Currency::fromScaled(std::numeric_limits<std::int64_t>::max());
    const Currency min = Currency::fromScaled(std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(errorNumberOf([&] { (void)(max + Currency::fromScaled(1)); }), errOverflow);
    EXPECT_EQ(errorNumberOf([&] { (void)(min - Currency::fromScaled(1)); }), errOverflow);
    EXPECT_EQ((max - max).scaled(), 0);
}

TEST(Currency, TextHasOnlySignificantDecimals) {
    struct Case {
        std::int64_t scaled;
        const char* text;
    } cases[] = {
        {0, "0"},
        {125000, "12.5"},
        {-30000, "-3"},
        {1, "0.0001"},
        {-1, "-0.0001"},
        {12505000, "1250.5"},
        {std::numeric_limits<std::int64_t>::max(), "922337203685477.5807"},
        {std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Currency::fromScaled(c.scaled).text(), c.text);
}

TEST(Currency, SumOfTenthsIsExact) {
    Currency total;
    for (int i = 0; i < 10; ++i)
        total = total + Currency::fromDouble(0.1);
    EXPECT_EQ(total.scaled(), 10000);
    EXPECT_EQ(total.toDouble(), 1.0);
}

// ---- Date

TEST(Date, PartsAndSerialsAgree) {
    struct Case {
        DateParts parts;
        double serial;
    } cases[] = {
        {{1899, 12, 30, 0, 0, 0}, 0},
        {{1899, 12, 31, 0, 0, 0}, 1},
        {{1900, 1, 1, 0, 0, 0}, 2},
        {{1900, 3, 1, 0, 0, 0}, 61},
        {{2000, 2, 29, 0, 0, 0}, 36585},
        {{2026, 12, 7, 0, 0, 0}, 46363},
        {{2026, 12, 7, 12, 0, 0}, 46363.5},
        {{1899, 12, 29, 6, 0, 0}, -1.25}, // before the epoch the fraction is the
                                          // time's magnitude
        {{1800, 1, 1, 0, 0, 0}, -36522},
        {{9999, 12, 31, 0, 0, 0}, 2958465},
        {{100, 1, 1, 0, 0, 0}, -657434},
    };
    for (const auto& c : cases) {
        const Date d = Date::fromParts(c.parts);
        EXPECT_DOUBLE_EQ(d.serial(), c.serial) << c.parts.year << "-" << c.parts.month << "-" << c.parts.day;
        const DateParts back = Date(c.serial).parts();
        EXPECT_EQ(back.year, c.parts.year);
        EXPECT_EQ(back.month, c.parts.month);
        EXPECT_EQ(back.day, c.parts.day);
        EXPECT_EQ(back.hour, c.parts.hour);
        EXPECT_EQ(back.minute, c.parts.minute);
        EXPECT_EQ(back.second, c.parts.second);
    }
}

TEST(Date, PartsOutsideTheirRangeCarryOver) {
    struct Case {
        DateParts parts;
        const char* iso;
    } cases[] = {
        {{2025, 13, 1, 0, 0, 0}, "2026-01-01"},          {{2025, 0, 1, 0, 0, 0}, "2024-12-01"},
        {{2025, -11, 1, 0, 0, 0}, "2024-01-01"},         {{2025, 3, 0, 0, 0, 0}, "2025-02-28"},
        {{2024, 2, 30, 0, 0, 0}, "2024-03-01"},          {{2025, 1, 31, 24, 0, 0}, "2025-02-01"},
        {{2025, 1, 1, 0, 0, -1}, "2024-12-31 23:59:59"}, {{2025, 1, 1, 0, 90, 0}, "2025-01-01 01:30:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Date::fromParts(c.parts).toIso(), c.iso);
}

TEST(Date, IsoRoundTripsBothForms) {
    for (const char* text : {"2025-01-05", "2024-02-29", "1900-01-01", "1899-12-29 06:00:00", "2026-12-07 14:05:09",
                             "2026-12-07 23:59:59", "9999-12-31"}) {
        const auto d = Date::fromIso(text);
        ASSERT_TRUE(d.has_value()) << text;
        EXPECT_EQ(d->toIso(), text);
    }
}

TEST(Date, IsoRejectsAnythingButTheExactForms) {
    for (const char* text :
         {"", "2025-1-05", "2025-01-5", "2025/01/05", "2025-13-01", "2025-00-10", "2025-02-29", "2025-04-31",
          "2025-01-05 24:00:00", "2025-01-05 12:60:00", "2025-01-05T12:00:00", "2025-01-05 12:00", " 2025-01-05",
          "2025-01-05 ", "01/05/2025", "abcd-ef-gh", "0099-01-01", "2025-01-05 12:00:00.000"}) {
        EXPECT_FALSE(Date::fromIso(text).has_value()) << text;
    }
}

TEST(Date, TimeOfDayRoundsToTheSecondAndDateOnlyDropsIt) {
    const Date nearlyMidnight(46363.0 + 86399.9 / 86400.0);
    EXPECT_EQ(nearlyMidnight.toIso(), "2026-12-08");
    EXPECT_FALSE(nearlyMidnight.hasTimeOfDay());
    const Date afternoon = *Date::fromIso("2026-12-07 14:05:09");
    EXPECT_TRUE(afternoon.hasTimeOfDay());
    EXPECT_EQ(afternoon.dateOnly(), *Date::fromIso("2026-12-07"));
    EXPECT_EQ(Date(-1.25).dateOnly().serial(), -1);
}

TEST(Date, SerialsOutsideTheRangeDoNotBreakConversion) {
    EXPECT_EQ(Date(1e300).toIso(), "9999-12-31 23:59:59");
    EXPECT_EQ(Date(-1e300).toIso(), "0100-01-01");
    EXPECT_EQ(Date(std::numeric_limits<double>::quiet_NaN()).toIso(), "1899-12-30");
}

// ---- NumberText

TEST(NumberText, PlainFormOfDoubles) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {0.1 + 0.2, "0.3"},
        {1250.50, "1250.5"},
        {-3, "-3"},
        {12.5, "12.5"},
        {100, "100"},
        {0.0001, "0.0001"},
        {0.00001, "1E-05"},
        {-0.000015, "-1.5E-05"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E+15"},
        {999999999999999.9, "1E+15"}, // rounded to 15 digits first
        {1.5e20, "1.5E+20"},
        {1e100, "1E+100"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {1234.5678, "1234.5678"},
        {-1234.5678, "-1234.5678"},
        {0.30000000000000004 * 3, "0.9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumberText(c.value), c.text) << c.value;
}

TEST(NumberText, LeadingNumberReadsAsThePlatformsValDoes) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"12.5", 12.5},
        {"  12.5  ", 12.5},
        {"1 2 3", 123},
        {"\t-\r\n4 . 5", -4.5},
        {"+7", 7},
        {"--7", 0},
        {".5", 0.5},
        {"5.", 5},
        {".", 0},
        {"1.2.3", 1.2},
        {"1250.5 GBP", 1250.5},
        {"1,5", 1},
        {"1E+15", 1e15},
        {"1.5E-05", 1.5e-5},
        {"2e3x", 2000},
        {"2E", 2},
        {"2E+", 2},
        {"2 E - 2", 0.02},
        {"0.3", 0.3},
        {"-0", 0},
        {"007", 7},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.value) << '"' << c.text << '"';
    EXPECT_FALSE(std::signbit(LeadingNumber("-0")));
}

TEST(NumberText, LeadingNumberOverflowAndUnderflow) {
    EXPECT_EQ(LeadingNumber("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingNumber("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingNumber("1e-999"), 0);
    EXPECT_EQ(LeadingNumber("0.0000001e-400"), 0);
    EXPECT_EQ(LeadingNumber("1e99999999999999999999"), std::numeric_limits<double>::infinity());
}

// What a caption shows is what the repair reads back.
TEST(NumberText, TextRoundTripsThroughLeadingNumber) {
    for (double v : {0.3, 1250.5, -17.25, 1e15, 1.5e-5, 123456.7891, 0.0001})
        EXPECT_DOUBLE_EQ(LeadingNumber(NumberText(v)), v) << v;
}

// ---- Variant

TEST(Variant, KindsAndNumericConversions) {
    EXPECT_TRUE(Variant().isEmpty());
    EXPECT_TRUE(Variant::null().isNull());
    EXPECT_EQ(Variant(5).kind(), Variant::Kind::Integer);
    EXPECT_EQ(Variant(std::int64_t{5}).kind(), Variant::Kind::Integer);
    EXPECT_EQ(Variant(2.5).kind(), Variant::Kind::Double);
    EXPECT_EQ(Variant("x").kind(), Variant::Kind::Text);
    EXPECT_EQ(Variant::boolean(true).kind(), Variant::Kind::Boolean);
    EXPECT_TRUE(Variant::boolean(false).isNumeric());
    EXPECT_FALSE(Variant("1").isNumeric());
    EXPECT_FALSE(Variant(Date(1)).isNumeric());

    EXPECT_EQ(Variant().toDouble(), 0);
    EXPECT_EQ(Variant::boolean(true).toDouble(), -1);
    EXPECT_EQ(Variant::boolean(false).toDouble(), 0);
    EXPECT_EQ(Variant(Currency::fromScaled(125)).toDouble(), 0.0125);
    EXPECT_EQ(Variant(" 12.5 ").toDouble(), 12.5);
    EXPECT_EQ(Variant("-1E+15").toDouble(), -1e15);
    EXPECT_EQ(Variant("+3").toDouble(), 3);
    for (const char* bad : {"", "abc", "1,5", "12.5x", "1e", "inf", "nan", "-"})
        EXPECT_EQ(errorNumberOf([&] { Variant(bad).toDouble(); }), errTypeMismatch) << bad;
    EXPECT_EQ(errorNumberOf([] { Variant::null().toDouble(); }), errTypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Variant("1e999").toDouble(); }), errOverflow);
}

TEST(Variant, CurrencyConversions) {
    EXPECT_EQ(Variant(0.1 + 0.2).toCurrency().scaled(), 3000);
    EXPECT_EQ(Variant(7).toCurrency().scaled(), 70000);
    EXPECT_EQ(Variant("1250.50").toCurrency().text(), "1250.5");
    EXPECT_EQ(Variant(Currency::fromScaled(-1)).toCurrency().scaled(), -1);
    EXPECT_EQ(errorNumberOf([] { Variant(std::numeric_limits<std::int64_t>::max()).toCurrency(); }), errOverflow);
    EXPECT_EQ(errorNumberOf([] { Variant(1e300).toCurrency(); }), errOverflow);
    EXPECT_EQ(errorNumberOf([] { Variant::null().toCurrency(); }), errTypeMismatch);
}

TEST(Variant, DateConversions) {
    const Date d = *Date::fromIso("2025-01-05");
    EXPECT_EQ(Variant(d).toDate(), d);
    EXPECT_EQ(Variant("2025-01-05").toDate(), d);
    EXPECT_EQ(errorNumberOf([] { Variant("05/01/2025").toDate(); }), errTypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Variant(45000).toDate(); }), errTypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Variant::null().toDate(); }), errTypeMismatch);
}

TEST(Variant, EqualityComparesKindAndValue) {
    EXPECT_EQ(Variant(5), Variant(std::int64_t{5}));
    EXPECT_NE(Variant(5), Variant(5.0));
    EXPECT_NE(Variant::null(), Variant());
    EXPECT_EQ(Variant::null(), Variant::null());
    EXPECT_NE(Variant::boolean(true), Variant(-1));
}

} // namespace

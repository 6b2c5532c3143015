#include "general/Lookup.h"

#include "PropertyDb.h"
#include "Recorders.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using engine::Variant;

class LookupTest : public testing::Test {
protected:
    void SetUp() override {
        sample_ = std::make_unique<PropertyDb>(dir_.file("property.mdb"));
        sample_->addTenancy("ABC", "Alice", "P1", "2024-12-20");
        sample_->addTenancy("O'NEIL", "Owen", "P2", "2025-02-01");
        sample_->addGlCode("400", false);
        sample_->addGlCode("410", true);
        sample_->addPeriod("ABC", "2025-02-01", 500);
        sample_->addPeriod("ABC", "2025-01-01", 500);
        sample_->addPeriod("O'NEIL", "2025-03-01", 650);
        sample_->addRevenue("ABC", "RENT", 1000.25, "2025-01-05 10:30:00");
        sample_->addRevenue("ABC", "RENT", 250.25, "2025-01-07");
        ASSERT_EQ(db_.OpenDatabaseFile(sample_->path()), -1);
    }

    BritishLocale locale_;
    TempDir dir_;
    std::unique_ptr<PropertyDb> sample_;
    RecordingMessages messages_;
    TestFileSystem files_{dir_.path().string()};
    RecordingReporter reporter_;
    Database db_{messages_, files_, reporter_};
};

TEST_F(LookupTest, TextFormOfTheFirstRowsResult) {
    const struct {
        const char* why;
        std::string expression;
        std::string table;
        std::string criteria;
        std::string expected;
    } cases[] = {
        {"first rental period", "min(period_from)", "rent_periods", "where tenant_code = 'ABC'", "01/01/2025"},
        {"reference with a stray apostrophe", "min(period_from)", "rent_periods", "where tenant_code = 'O'NEIL'",
         "01/03/2025"},
        {"date with a time of day", "min(date)", "revenues", "where tenant_code = 'ABC'", "05/01/2025 10:30:00"},
        {"total without trailing zeros", "sum(amount)", "revenues", "where [revenue group] = 'RENT'", "1250.5"},
        {"text", "name", "tenancy", "where reference = 'O''NEIL'", "Owen"},
        {"empty criteria ends in a blank", "count(*)", "rent_periods", "", "3"},
        {"zero count", "count(*)", "rent_periods", "where tenant_code = 'NOBODY'", "0"},
        {"zero total", "sum(paid)", "rent_periods", "where tenant_code = 'ABC'", "0"},
        {"aggregate over no rows is Null", "min(period_from)", "rent_periods", "where tenant_code = 'NOBODY'", ""},
        {"no row at all", "period_from", "rent_periods", "where tenant_code = 'NOBODY'", ""},
        {"bracketed column", "[property code]", "revenues", "where amount > 1000", "P1"},
        {"truth word normalised", "min(gl_code)", "glcodes", "where pay_extra_charges = true", "410"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LookupValue(db_, c.expression, c.table, c.criteria, locale_), c.expected) << c.why;
    EXPECT_TRUE(reporter_.reports.empty());
}

TEST_F(LookupTest, NullFieldGivesEmptyText) {
    sample_->exec("insert into tenancy (reference, name) values ('NONAME', null)");
    EXPECT_EQ(LookupValue(db_, "name", "tenancy", "where reference = 'NONAME'", locale_), "");
    EXPECT_TRUE(reporter_.reports.empty());
}

TEST_F(LookupTest, FailedStatementIsReportedOnceAndGivesEmptyText) {
    EXPECT_EQ(LookupValue(db_, "min(period_from)", "no_such_table", "where tenant_code = 'ABC'", locale_), "");
    ASSERT_EQ(reporter_.reports.size(), 1u);
    EXPECT_EQ(reporter_.reports[0].label, "Data Create Set");
}

TEST_F(LookupTest, WithoutADatabaseGivesEmptyText) {
    Database closed(messages_, files_, reporter_);
    EXPECT_EQ(LookupValue(closed, "min(period_from)", "rent_periods", "where tenant_code = 'ABC'", locale_), "");
    ASSERT_EQ(reporter_.reports.size(), 1u);
    EXPECT_EQ(reporter_.reports[0].label, "Data Create Set");
}

// The criteria are joined after one blank, never glued to the table name.
TEST_F(LookupTest, CriteriaFollowOneBlank) {
    EXPECT_EQ(LookupValue(db_, "count(*)", "rent_periods", "where tenant_code = 'ABC'", locale_), "2");
    EXPECT_EQ(LookupValue(db_, "count(*)", "rent_periods ", "where tenant_code = 'ABC'", locale_), "2");
    EXPECT_EQ(LookupValue(db_, "count(*)", "rent_periods", " where tenant_code = 'ABC'", locale_), "2");
    EXPECT_TRUE(reporter_.reports.empty());
}

TEST(ValueOrDefault, OnlyNullSelectsTheDefault) {
    const engine::Date date = engine::Date::fromParts({2026, 12, 7, 0, 0, 0});
    const struct {
        const char* why;
        Variant value;
        Variant defaultValue;
        Variant expected;
    } cases[] = {
        {"Null with 0", Variant::null(), Variant(0), Variant(0)},
        {"5 with 0", Variant(5), Variant(0), Variant(5)},
        {"empty text with 0", Variant(""), Variant(0), Variant("")},
        {"Empty with 0", Variant(), Variant(0), Variant()},
        {"zero with empty text", Variant(0), Variant(""), Variant(0)},
        {"Null with empty text", Variant::null(), Variant(""), Variant("")},
        {"Null with Null", Variant::null(), Variant::null(), Variant::null()},
        {"false with 0", Variant::boolean(false), Variant(0), Variant::boolean(false)},
        {"date", Variant(date), Variant(0), Variant(date)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ValueOrDefault(c.value, c.defaultValue), c.expected) << c.why;
}

} // namespace

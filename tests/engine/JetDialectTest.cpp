#include "engine/JetDialect.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DialectCase {
    const char* name;
    std::string jet;
    std::string sqlite;
};

void PrintTo(const DialectCase& c, std::ostream* os) {
    *os << c.name;
}

class TranslateJetSqlCases : public testing::TestWithParam<DialectCase> {};

TEST_P(TranslateJetSqlCases, Translates) {
    EXPECT_EQ(engine::TranslateJetSql(GetParam().jet), GetParam().sqlite);
}

INSTANTIATE_TEST_SUITE_P(
    TopN, TranslateJetSqlCases,
    testing::Values(
        DialectCase{"RemainderQuery",
                    "select top 1 * from rent_periods where tenant_code = 'A1' order by period_from desc",
                    "select * from rent_periods where tenant_code = 'A1' order by period_from desc limit 1"},
        DialectCase{"NoOrderBy", "select top 25 reference from tenancy", "select reference from tenancy limit 25"},
        DialectCase{"AnyCase", "SELECT  TOP\t3  * FROM t", "SELECT  * FROM t limit 3"},
        DialectCase{"BeforeTrailingSemicolon", "select top 2 * from t order by a;  ",
                    "select * from t order by a limit 2;  "},
        DialectCase{"Subquery", "select * from t where id in (select top 2 id from t order by a) and b = 1",
                    "select * from t where id in (select id from t order by a limit 2) and b = 1"},
        DialectCase{"SubqueryAndOuter", "select top 1 * from (select top 5 * from t order by a) order by b",
                    "select * from (select * from t order by a limit 5) order by b limit 1"},
        DialectCase{"TopAsAColumnName", "select top from t", "select top from t"},
        DialectCase{"TopWithoutNumberStays", "select top x from t", "select top x from t"},
        DialectCase{"PercentStays", "select top 10 percent * from t", "select top 10 percent * from t"},
        DialectCase{"WordEndingInSelect", "unselect top 1 * from t", "unselect top 1 * from t"},
        DialectCase{"InsideQuotesUntouched", "select * from t where a = 'select top 1 x'",
                    "select * from t where a = 'select top 1 x'"},
        DialectCase{"QuoteWithDoubledApostrophe",
                    "select top 1 * from rent_periods where tenant_code = 'O''NEIL' order by period_from desc",
                    "select * from rent_periods where tenant_code = 'O''NEIL' order by period_from desc limit 1"},
        DialectCase{"ParenthesisInsideQuotes", "select top 1 * from t where a = ')' order by b",
                    "select * from t where a = ')' order by b limit 1"}));

INSTANTIATE_TEST_SUITE_P(
    DateLiterals, TranslateJetSqlCases,
    testing::Values(
        DialectCase{"AddOneCharge",
                    "update rent_periods set extra_charges = extra_charges + 12.5 where tenant_code = 'A1' and "
                    "period_from = #12/07/2026#",
                    "update rent_periods set extra_charges = extra_charges + 12.5 where tenant_code = 'A1' and "
                    "period_from = '2026-12-07'"},
        DialectCase{"SingleDigitMonthAndDay", "where d = #1/5/2025#", "where d = '2025-01-05'"},
        DialectCase{"TwoLiterals", "where d between #01/01/2025# and #02/29/2024#",
                    "where d between '2025-01-01' and '2024-02-29'"},
        DialectCase{"WithTime", "where d < #12/07/2026 14:05:09#", "where d < '2026-12-07 14:05:09'"},
        DialectCase{"MidnightIsTheDateAlone", "where d = #12/07/2026 00:00:00#", "where d = '2026-12-07'"},
        DialectCase{"InvalidDateStays", "where d = #02/30/2025#", "where d = #02/30/2025#"},
        DialectCase{"MonthThirteenStays", "where d = #13/01/2025#", "where d = #13/01/2025#"},
        DialectCase{"TwoDigitYearStays", "where d = #12/07/26#", "where d = #12/07/26#"},
        DialectCase{"UnclosedStays", "where d = #12/07/2026", "where d = #12/07/2026"},
        DialectCase{"InsideQuotesUntouched", "where a = '#12/07/2026#'", "where a = '#12/07/2026#'"},
        DialectCase{"InsideBracketsUntouched", "select [#12/07/2026#] from t", "select [#12/07/2026#] from t"},
        DialectCase{"InsideDoubleQuotesUntouched", "select \"#1/1/2025#\" from t", "select \"#1/1/2025#\" from t"}));

INSTANTIATE_TEST_SUITE_P(
    LeftAsTheyAre, TranslateJetSqlCases,
    testing::Values(
        DialectCase{"Empty", "", ""},
        DialectCase{"TenancyQuery", "select [when started], name, [property code] from tenancy where reference= 'A1'",
                    "select [when started], name, [property code] from tenancy where reference= 'A1'"},
        DialectCase{"ExtraChargeIncome",
                    "select sum(amount)+0 as paid from revenues where [revenue group] in ('xcvdfgsdfs','410')  and "
                    "[revenue group]  <> 'RENT' and tenant_code = 'A1'",
                    "select sum(amount)+0 as paid from revenues where [revenue group] in ('xcvdfgsdfs','410')  and "
                    "[revenue group]  <> 'RENT' and tenant_code = 'A1'"},
        DialectCase{"Reset",
                    "update rent_periods set rent_due = abs(rent_due), paid=0, extra_charges_paid=0 where "
                    "tenant_code = 'A1'",
                    "update rent_periods set rent_due = abs(rent_due), paid=0, extra_charges_paid=0 where "
                    "tenant_code = 'A1'"},
        DialectCase{"BracketHoldingQuote", "select [it's] from t where a = 'top'",
                    "select [it's] from t where a = 'top'"},
        DialectCase{"UnclosedQuoteRunsToTheEnd", "select * from t where a = 'select top 1 #1/1/2025#",
                    "select * from t where a = 'select top 1 #1/1/2025#"}));

} // namespace

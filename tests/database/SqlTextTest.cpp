#include "database/SqlText.h"

#include "engine/Date.h"
#include "tools/PropertySchema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct SqlCase {
    const char* name;
    std::string input;
    std::string expected;
};

void PrintTo(const SqlCase& c, std::ostream* os) {
    *os << c.name;
}

class NormaliseSqlCases : public testing::TestWithParam<SqlCase> {};

TEST_P(NormaliseSqlCases, RewritesAsExpected) {
    std::string sql = GetParam().input;
    const std::string returned = NormaliseSql(sql);
    EXPECT_EQ(returned, GetParam().expected);
    EXPECT_EQ(sql, GetParam().expected) << "the caller's text must hold the rewritten statement";
}

// The words true and false: whole lower-case words outside quoted values only.
INSTANTIATE_TEST_SUITE_P(
    TruthWords, NormaliseSqlCases,
    testing::Values(
        SqlCase{"TrueAfterComparison", "select * from t where x = true", "select * from t where x = -1"},
        SqlCase{"BothWords", "update t set a = false, b = true where c = 1", "update t set a = 0, b = -1 where c = 1"},
        SqlCase{"CapitalisedFormsStay", "where a = True or b = FALSE or c = fAlse",
                "where a = True or b = FALSE or c = fAlse"},
        SqlCase{"InsideLongerWordStays", "where untrue1 = falsehood and true_x = xfalse",
                "where untrue1 = falsehood and true_x = xfalse"},
        SqlCase{"DigitsAttachedStay", "where true1 = 1false", "where true1 = 1false"},
        SqlCase{"BetweenPunctuation", "where x in (true,false) and y=(true)", "where x in (-1,0) and y=(-1)"},
        SqlCase{"AtStartAndEnd", "true", "-1"}, SqlCase{"JoinedWordsStay", "truefalse", "truefalse"},
        SqlCase{"QuotedValueStays", "where name = 'true' and x = true", "where name = 'true' and x = -1"},
        SqlCase{"QuotedWithDoubledApostrophe", "where name = 'it''s true' and x = false",
                "where name = 'it''s true' and x = 0"},
        SqlCase{"UntrueInsideQuotesStays", "where name = 'untrue'", "where name = 'untrue'"},
        SqlCase{"BracketedNameStays", "select [is true], [false] from t where true",
                "select [is true], [false] from t where -1"},
        SqlCase{"DoubleQuotedValueStays", "where name = \"true\" or x = true", "where name = \"true\" or x = -1"},
        SqlCase{"ApostrophesInsideDoubleQuotes", "where n = \"it's\" or m = \"O'N\" and x = true",
                "where n = \"it's\" or m = \"O'N\" and x = -1"},
        SqlCase{"NonAsciiLetterIsPartOfWord", "where caf\xc3\xa9true = 1", "where caf\xc3\xa9true = 1"},
        // With an odd count, values are those of the repaired text.
        SqlCase{"OddCountTruthBeforeStrayQuote", "where x = true and name = 'O'NEIL'",
                "where x = -1 and name = 'O''NEIL'"},
        SqlCase{"OddCountTruthAfterRepairedValue", "where name = 'O'NEIL' and x = true",
                "where name = 'O''NEIL' and x = -1"},
        SqlCase{"OddCountWordInsideRepairedValue", "where x = 'it's true' or y = true",
                "where x = 'it''s true' or y = -1"},
        SqlCase{"OddCountUnclosedValueKeepsItsWords", "where a = 'x' and b = 'true", "where a = 'x' and b = 'true"},
        SqlCase{"UnclosedBracketRunsToEnd", "select [true from t where true", "select [true from t where true"}),
    [](const testing::TestParamInfo<SqlCase>& info) { return std::string(info.param.name); });

// The apostrophe repair of texts with an odd count.
INSTANTIATE_TEST_SUITE_P(
    Apostrophes, NormaliseSqlCases,
    testing::Values(
        SqlCase{"NoApostrophes", "select * from rent_periods", "select * from rent_periods"}, SqlCase{"Empty", "", ""},
        SqlCase{"EvenCountUntouched", "where a = 'x' and b = 'y'", "where a = 'x' and b = 'y'"},
        SqlCase{"TwoApostrophesInReferenceNotDoubled", "where tenant_code = 'O'N'EIL'",
                "where tenant_code = 'O'N'EIL'"},
        SqlCase{"AlreadyDoubledUntouched", "where tenant_code = 'O''NEIL'", "where tenant_code = 'O''NEIL'"},
        SqlCase{"RentPassWithOrderClause",
                "select * from rent_periods where tenant_code = 'O'NEIL' order by period_from",
                "select * from rent_periods where tenant_code = 'O''NEIL' order by period_from"},
        SqlCase{"TenancyQueryEndingInQuote",
                "select [when started], name, [property code] from tenancy where reference= 'O'NEIL'",
                "select [when started], name, [property code] from tenancy where reference= 'O''NEIL'"},
        SqlCase{"ClosingBeforeAnd", "where tenant_code = 'O'NEIL' and x = 1",
                "where tenant_code = 'O''NEIL' and x = 1"},
        SqlCase{"ClosingBeforeTwoBlanksAnd", "where tenant_code = 'O'NEIL'  and x = 1",
                "where tenant_code = 'O''NEIL'  and x = 1"},
        SqlCase{"ClosingBeforeOr", "where tenant_code = 'O'NEIL' or x = 1", "where tenant_code = 'O''NEIL' or x = 1"},
        SqlCase{"OpeningAfterLike", "where name like 'O'N%'", "where name like 'O''N%'"},
        SqlCase{"OpeningAfterNotEqual", "where x <> 'O'NEIL'", "where x <> 'O''NEIL'"},
        SqlCase{"OpeningAfterGreater", "where x > 'O'NEIL'", "where x > 'O''NEIL'"},
        // The look back of the second apostrophe still sees the ">".
        SqlCase{"ComparisonTwoBackIsStillEdge", "where x >'O'NEIL'", "where x >'O'NEIL'"},
        SqlCase{"UpperCaseKeywords", "WHERE NAME LIKE 'O'N' AND X = 'A' ORDER BY X",
                "WHERE NAME LIKE 'O''N' AND X = 'A' ORDER BY X"},
        SqlCase{"MixedCaseAhead", "where a = 'O'NEIL' Or x = 1", "where a = 'O''NEIL' Or x = 1"},
        SqlCase{"KeAnywhereInLookBack", "ske'abcdefg", "ske'abcdefg"},
        SqlCase{"KeSplitByApostropheIsNotEdge", "ab = k'e'cdefgh'", "ab = k'e''cdefgh'"},
        // Look-ahead needs five characters after the apostrophe.
        SqlCase{"FourCharactersAfterNotLookedAt", "xyzw' and", "xyzw'' and"},
        SqlCase{"FiveCharactersAfterLookedAt", "xyzw' and ", "xyzw' and "},
        // The look back needs three characters before the apostrophe.
        SqlCase{"PositionOneGoesToLookAhead", "' and x", "' and x"},
        SqlCase{"PositionOneDoubled", "'abcdef", "''abcdef"},
        SqlCase{"PositionThreeIgnoresComparison", "=a'bcdef", "=a''bcdef"},
        SqlCase{"PositionFourSeesComparison", "=ab'cdefg", "=ab'cdefg"},
        SqlCase{"LoneApostropheIsLastCharacter", "'", "'"}, SqlCase{"LastCharacterIsEdge", "abcdef'", "abcdef'"},
        // Every apostrophe is looked at once, even after the count turned even.
        SqlCase{"WalkGoesOnAfterCountIsEven", "x'y'z'w", "x''y''z''w"},
        SqlCase{"WalkResumesAfterThePair", "'abc'def'x", "''abc''def''x"},
        SqlCase{"InsertedApostropheCountsInNextLookBack", "ab'''cdefgh", "ab''''''cdefgh"},
        SqlCase{"ThreeApostropheReference", "where tenant_code = 'A'B'C'D' order by x",
                "where tenant_code = 'A''B''C''D' order by x"},
        // The edge tests know nothing of "in (...)" lists: a stray apostrophe
        // elsewhere gets the codes' quotes doubled too. Values are therefore
        // spliced through SqlQuote, which keeps the count even.
        SqlCase{"StrayApostropheDoublesInListQuotes",
                "select sum(amount)+0 as paid from revenues where [revenue group] in ('xcvdfgsdfs','410')  and "
                "[revenue group]  <> 'RENT' and tenant_code = 'O'NEIL'",
                "select sum(amount)+0 as paid from revenues where [revenue group] in (''xcvdfgsdfs'',''410'')  and "
                "[revenue group]  <> 'RENT' and tenant_code = 'O''NEIL'"}),
    [](const testing::TestParamInfo<SqlCase>& info) { return std::string(info.param.name); });

TEST(SqlQuote, DoublesEveryApostropheAndWrapsInQuotes) {
    const struct {
        std::string value;
        std::string expected;
    } cases[] = {
        {"", "''"},
        {"ABC", "'ABC'"},
        {"O'NEIL", "'O''NEIL'"},
        {"'", "''''"},
        {"D'A'R'CY", "'D''A''R''CY'"},
        {"x' or 'a'='a", "'x'' or ''a''=''a'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SqlQuote(c.value), c.expected) << c.value;
}

TEST(SqlDateLiteral, MonthDayYearBetweenHashes) {
    using engine::Date;
    EXPECT_EQ(SqlDateLiteral(Date::fromParts({2026, 12, 7, 0, 0, 0})), "#12/07/2026#");
    EXPECT_EQ(SqlDateLiteral(Date::fromParts({2026, 12, 7, 23, 59, 59})), "#12/07/2026#");
    EXPECT_EQ(SqlDateLiteral(Date(46363.0)), "#12/07/2026#");
    EXPECT_EQ(SqlDateLiteral(Date(46363.75)), "#12/07/2026#");
    EXPECT_EQ(SqlDateLiteral(Date(0.0)), "#12/30/1899#");
    EXPECT_EQ(SqlDateLiteral(Date::fromParts({2027, 1, 31, 12, 0, 0})), "#01/31/2027#");
    EXPECT_EQ(SqlDateLiteral(Date::fromParts({100, 1, 1, 0, 0, 0})), "#01/01/0100#");
    EXPECT_EQ(SqlDateLiteral(Date::fromParts({9999, 12, 31, 0, 0, 0})), "#12/31/9999#");
}

// --- Random texts --------------------------------------------------------------

bool wordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || u >= 0x80;
}

// Which characters lie inside a quoted value or bracketed name, delimiters
// included; worked out per character, independently of the code under test.
std::vector<bool> quotedMask(const std::string& s) {
    std::vector<bool> mask(s.size(), false);
    char closer = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (closer == 0) {
            if (s[i] == '\'' || s[i] == '"' || s[i] == '[') {
                closer = s[i] == '[' ? ']' : s[i];
                mask[i] = true;
            }
            continue;
        }
        mask[i] = true;
        if (s[i] != closer)
            continue;
        if (closer != ']' && i + 1 < s.size() && s[i + 1] == closer) {
            mask[++i] = true;
            continue;
        }
        closer = 0;
    }
    return mask;
}

std::string expectedRepair(std::string s);

// The mask of the text as it will read once repaired: only apostrophes are
// added, so the other characters keep their order.
std::vector<bool> quotedMaskAfterRepair(const std::string& s) {
    const std::string repaired = expectedRepair(s);
    if (repaired == s)
        return quotedMask(s);
    const std::vector<bool> repairedMask = quotedMask(repaired);
    std::vector<bool> mask(s.size(), false);
    std::size_t k = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\'')
            continue;
        while (repaired[k] == '\'')
            ++k;
        mask[i] = repairedMask[k++];
    }
    return mask;
}

std::string expectedTruthWords(const std::string& s) {
    const std::vector<bool> mask = quotedMaskAfterRepair(s);
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        if (mask[i] || !wordByte(s[i])) {
            out += s[i++];
            continue;
        }
        std::size_t end = i;
        while (end < s.size() && !mask[end] && wordByte(s[end]))
            ++end;
        const std::string word = s.substr(i, end - i);
        out += word == "true" ? "-1" : word == "false" ? "0" : word;
        i = end;
    }
    return out;
}

// The repair written out with 1-based positions, InStr and Mid style.
std::string mid(const std::string& s, long long start, long long count) {
    if (start > static_cast<long long>(s.size()))
        return {};
    return s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

long long inStr(long long start, const std::string& s, char c) {
    const auto at = s.find(c, static_cast<std::size_t>(start - 1));
    return at == std::string::npos ? 0 : static_cast<long long>(at) + 1;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string expectedRepair(std::string s) {
    long long count = 0;
    for (char c : s)
        count += c == '\'';
    if (count % 2 == 0)
        return s;
    long long j = inStr(1, s, '\'');
    while (j > 0) {
        const long long length = static_cast<long long>(s.size());
        bool edge = false;
        if (j >= 4) {
            const std::string back = lower(mid(s, j - 3, 3));
            edge = back.find_first_of("=<>") != std::string::npos || back.find("ke") != std::string::npos;
        }
        if (!edge && j < length - 4) {
            const std::string ahead = lower(mid(s, j + 1, 4));
            edge = ahead == " and" || ahead == "  an" || ahead == " or " || ahead == " ord";
        }
        if (!edge && j == length)
            edge = true;
        if (edge) {
            j = inStr(j + 1, s, '\'');
        } else {
            s = s.substr(0, static_cast<std::size_t>(j)) + "'" + s.substr(static_cast<std::size_t>(j));
            j = inStr(j + 2, s, '\'');
        }
    }
    return s;
}

// True when out is in with apostrophes added only directly after apostrophes
// of in, at most one after each: every run of n apostrophes has become a run
// of n to 2n, and everything else is the same.
bool onlyDoubledApostrophes(const std::string& in, const std::string& out) {
    std::size_t i = 0;
    std::size_t k = 0;
    while (i < in.size() && k < out.size()) {
        if (in[i] != '\'') {
            if (out[k] != in[i])
                return false;
            ++i;
            ++k;
            continue;
        }
        std::size_t n = 0;
        while (i < in.size() && in[i] == '\'')
            ++i, ++n;
        std::size_t m = 0;
        while (k < out.size() && out[k] == '\'')
            ++k, ++m;
        if (m < n || m > 2 * n)
            return false;
    }
    return i == in.size() && k == out.size();
}

TEST(NormaliseSqlRandom, HoldsItsPromisesOnRandomTexts) {
    static const std::string alphabet = "'''''====<<>>kkeeaannddoorr    ttrruuffllss_1x[]\"KEANDORTU";
    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::size_t> length(0, 40);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    static const char* words[] = {"true", "false", " and ", "  and", " or ", " order", "like ", "= ", "'"};
    std::uniform_int_distribution<std::size_t> pickWord(0, std::size(words) - 1);
    std::bernoulli_distribution wholeWord(0.15);

    int odd = 0;
    int doubled = 0;
    for (int n = 0; n < 200000; ++n) {
        std::string text;
        const std::size_t wanted = length(random);
        while (text.size() < wanted)
            text += wholeWord(random) ? std::string(words[pickWord(random)]) : std::string(1, alphabet[pick(random)]);

        std::string sql = text;
        const std::string result = NormaliseSql(sql);
        ASSERT_EQ(result, sql) << text;

        const std::string replaced = expectedTruthWords(text);
        long long apostrophes = 0;
        for (char c : text)
            apostrophes += c == '\'';
        if (apostrophes % 2 == 0) {
            ASSERT_EQ(result, replaced) << "even count: [" << text << "]";
        } else {
            ++odd;
            doubled += result.size() != replaced.size();
            ASSERT_TRUE(onlyDoubledApostrophes(replaced, result)) << "[" << text << "] -> [" << result << "]";
            ASSERT_EQ(result, expectedRepair(replaced)) << "[" << text << "]";
        }
    }
    // The alphabet must have reached both branches often.
    EXPECT_GT(odd, 50000);
    EXPECT_GT(doubled, 20000);
}

// --- Spliced values on a real SQLite database ------------------------------------

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

class SplicedValues : public testing::Test {
protected:
    void SetUp() override {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
        db_.reset(raw);
        exec(property_schema::createTables);
        for (const std::string& reference : references()) {
            exec("insert into tenancy (reference, name) values (" + SqlQuote(reference) + ", 'n')");
            exec("insert into revenues (tenant_code, [revenue group], amount) values (" + SqlQuote(reference) +
                 ", '410', " + std::to_string(amountOf(reference)) + ")");
            exec("insert into revenues (tenant_code, [revenue group], amount) values (" + SqlQuote(reference) +
                 ", 'RENT', 1000)");
        }
    }

    static std::vector<std::string> references() {
        return {"O'NEIL", "D'AR'CY", "'T'S'", "x' or 'a'='a", "' or '", "O", "NEIL", "ONEIL", "x", "a"};
    }
    static int amountOf(const std::string& reference) {
        int n = 1;
        for (const std::string& r : references()) {
            if (r == reference)
                return n;
            n *= 2;
        }
        return 0;
    }

    void exec(const std::string& sql) {
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "") << " in " << sql;
    }

    // The rows of the first column, as text.
    std::vector<std::string> rows(const std::string& sql) {
        sqlite3_stmt* raw = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db_.get()) << " in " << sql;
        std::unique_ptr<sqlite3_stmt, FinalizeStatement> statement(raw);
        std::vector<std::string> out;
        while (raw && sqlite3_step(raw) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(raw, 0);
            out.push_back(text ? reinterpret_cast<const char*>(text) : "<null>");
        }
        return out;
    }

    std::unique_ptr<sqlite3, CloseDb> db_;
};

TEST_F(SplicedValues, SelectExactlyTheTenantNamed) {
    for (const std::string& reference : references()) {
        std::string sql = "select reference from tenancy where reference= " + SqlQuote(reference);
        const std::string built = sql;
        NormaliseSql(sql);
        EXPECT_EQ(sql, built) << "a spliced statement has an even count and stays as built";
        EXPECT_EQ(rows(sql), std::vector<std::string>{reference}) << sql;
    }
}

TEST_F(SplicedValues, ExtraChargeTotalCountsOnlyThatTenant) {
    const std::string extraChargeCodes = "'xcvdfgsdfs','410'";
    for (const std::string& reference : references()) {
        std::string sql = "select sum(amount)+0 as paid from revenues where [revenue group] in (" + extraChargeCodes +
                          ")  and [revenue group]  <> " + SqlQuote("RENT") +
                          " and tenant_code = " + SqlQuote(reference);
        NormaliseSql(sql);
        EXPECT_EQ(rows(sql), std::vector<std::string>{std::to_string(amountOf(reference)) + ".0"}) << sql;
    }
}

TEST_F(SplicedValues, OrderedPassWithTruthWordInValue) {
    exec("insert into tenancy (reference, name) values ('it''s true', 'n')");
    std::string sql = "select reference from tenancy where reference = " + SqlQuote("it's true") +
                      " and reference <> 'false' order by reference";
    NormaliseSql(sql);
    EXPECT_EQ(rows(sql), std::vector<std::string>{"it's true"}) << sql;
}

} // namespace

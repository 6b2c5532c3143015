// The statements the tool sends, with sample values spliced in, against a
// small property database.

#include "EngineFixture.h"

#include "engine/Database.h"
#include "engine/NumberText.h"

#ifdef HABITORIUM_HAVE_SQLITE
#include <sqlite3.h>
#endif

#include <cstdio>

using namespace engine;

namespace {

constexpr const char* extraChargeCodes = "'xcvdfgsdfs','410','420','RENT'";

class Statements : public BackendTest {
protected:
    void SetUp() override {
        db.addTenancy("C3", "Third", "P3", "2023-03-01");
        db.addTenancy("A1", "First", "P1", "2024-12-15");
        db.addTenancy("b2", "Second", "P2", "2024-01-01");
        db.addTenancy("ABC", "Letters", "P1", "2024-01-01");
        db.addGlCode("410", true);
        db.addGlCode("420", true);
        db.addGlCode("500", false);
        db.addGlCode("RENT", true); // both the rent group and an extra-charge code

        db.addRevenue("A1", "RENT", 100, "2025-01-05", "P1");
        db.addRevenue("a1", "rent", 150, "2025-01-02", "P2"); // other property, other case
        db.addRevenue("A1", "410", 20, "2025-02-03", "P1");
        db.addRevenue("A1", "420", 10, "2025-02-04", "P1");
        db.addRevenue("A1", "500", 99, "2025-02-05", "P1");
        db.addRevenue("B2", "RENT", 1000, "2025-01-01", "P1");
        db.addRevenue("abc", "RENT", 75, "2025-03-01", "P1");

        db.addPeriod("A1", "2025-01-01", 100, 100, 0, 0);
        db.addPeriod("A1", "2025-02-01", -100, 50, 20, 5);
        db.addPeriod("A1", "2025-03-01", 100, 0, 0, 0);
        db.addPeriod("B2", "2025-01-01", 80, 80, 8, 8);

        db.addCharge("A1", "2025-02-01", 12.5);
        db.addCharge("A1", "2025-02-01", 7.5);
        db.addCharge("A1", "2025-04-01", 50); // no such period
        database = open();
    }

    std::shared_ptr<Database> database;

    std::shared_ptr<Recordset> readOnly(const std::string& sql) {
        return database->OpenRecordset(sql, dbOpenForwardOnly, dbReadOnly);
    }
    std::shared_ptr<Recordset> dynaset(const std::string& sql) {
        return database->OpenRecordset(sql, dbOpenDynaset, dbDenyWrite | dbDenyRead);
    }
    std::vector<std::string> column(const std::string& sql, const std::string& field) {
        std::vector<std::string> values;
        for (auto rs = readOnly(sql); !rs->Eof(); rs->MoveNext())
            values.push_back(rs->Fields(field).Value().text());
        return values;
    }
    // The text a caption would show for a total (Null shown as 0).
    std::string total(const std::string& sql, const std::string& field) {
        auto rs = readOnly(sql);
        if (rs->Eof())
            return "<no row>";
        const Variant v = rs->Fields(field).Value();
        if (v.isNull())
            return "0";
        return NumberText(v.toDouble());
    }
};

TEST_P(Statements, ReferenceData) {
    EXPECT_EQ(column("select reference from tenancy order by reference", "reference"),
              (std::vector<std::string>{"A1", "ABC", "b2", "C3"}));
    EXPECT_EQ(column("select * from options", "rent_group"), (std::vector<std::string>{"RENT"}));
    EXPECT_EQ(column("select * from glcodes where pay_extra_charges<>0", "gl_code"),
              (std::vector<std::string>{"410", "420", "RENT"}));
}

TEST_P(Statements, TenancyRowFoundWithoutRegardToCase) {
    auto rs = readOnly("select [when started], name, [property code] from tenancy where reference= 'abc'");
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Fields("name").Value(), Variant("Letters"));
    EXPECT_EQ(rs->Fields("property code").Value(), Variant("P1"));
    EXPECT_EQ(rs->Fields("when started").Value(), Variant(*Date::fromIso("2024-01-01")));
}

TEST_P(Statements, SevenTotals) {
    const std::string t = "A1";
    const std::string rentGroup = "RENT";
    struct Case {
        std::string sql;
        const char* field;
        const char* shown;
    } cases[] = {
        {"select sum(amount)+0 as paid from revenues where [revenue group] = '" + rentGroup + "' and tenant_code = '" +
             t + "'",
         "paid", "250"},
        {"select sum(amount)+0 as paid from revenues where [revenue group] in (" + std::string(extraChargeCodes) +
             ")  and [revenue group]  <> '" + rentGroup + "' and tenant_code = '" + t + "'",
         "paid", "30"},
        {"select sum(value)+0 as paid from rent_periods_charges where tenantcode = '" + t + "'", "paid", "70"},
        {"select sum(extra_charges) as amount from rent_periods where tenant_code = '" + t + "'", "amount", "20"},
        {"select sum(paid) as amount from rent_periods where tenant_code = '" + t + "'", "amount", "150"},
        {"select sum(extra_charges_paid) as amount from rent_periods where tenant_code = '" + t + "'", "amount", "5"},
        {"select sum(rent_due + extra_charges - paid - extra_charges_paid) as amount from rent_periods where "
         "tenant_code = '" +
             t + "'",
         "amount", "-35"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(total(c.sql, c.field), c.shown) << c.sql;
}

TEST_P(Statements, TotalsOfATenantWithNothingAreNull) {
    for (const char* sql : {
             "select sum(amount)+0 as paid from revenues where [revenue group] = 'RENT' and tenant_code = 'C3'",
             "select sum(amount)+0 as paid from revenues where [revenue group] in ('xcvdfgsdfs')  and [revenue "
             "group]  <> 'RENT' and tenant_code = 'C3'",
             "select sum(value)+0 as paid from rent_periods_charges where tenantcode = 'C3'",
             "select sum(paid) as paid from rent_periods where tenant_code = 'C3'",
         }) {
        auto rs = readOnly(sql);
        ASSERT_FALSE(rs->Eof()) << "an aggregate gives one row";
        EXPECT_TRUE(rs->Fields("paid").Value().isNull()) << sql;
    }
}

TEST_P(Statements, RevenueUnderOtherCaseCountsForTheTenant) {
    EXPECT_EQ(total("select sum(amount)+0 as paid from revenues where [revenue group] = 'RENT' and tenant_code = 'ABC'",
                    "paid"),
              "75");
}

TEST_P(Statements, FirstDateLookups) {
    auto first = dynaset("select min(date) as result from revenues where [revenue group] = 'RENT' and [property "
                         "code] = 'P1' and tenant_code = 'A1'");
    ASSERT_FALSE(first->Eof());
    EXPECT_EQ(first->Fields("result").Value(), Variant(*Date::fromIso("2025-01-05")))
        << "the rent on the other property is earlier but does not count";

    auto period = dynaset("select min(period_from) as result from rent_periods where tenant_code = 'A1'");
    EXPECT_EQ(period->Fields("result").Value(), Variant(*Date::fromIso("2025-01-01")));

    auto none = dynaset("select min(period_from) as result from rent_periods where tenant_code = 'C3'");
    ASSERT_FALSE(none->Eof());
    EXPECT_TRUE(none->Fields("result").Value().isNull());
    // A lookup with empty criteria ends with one blank after the table name.
    auto all = dynaset("select min(period_from) as result from rent_periods ");
    EXPECT_EQ(all->Fields("result").Value(), Variant(*Date::fromIso("2025-01-01")));
}

TEST_P(Statements, ResetTouchesOnlyTheTenant) {
    database->Execute("update rent_periods set rent_due = abs(rent_due), paid=0, extra_charges_paid=0 where "
                      "tenant_code = 'A1'");
    EXPECT_EQ(database->RecordsAffected(), 3);
    for (const PeriodRow& p : db.periods("A1")) {
        EXPECT_EQ(p.rentDue, 100);
        EXPECT_EQ(p.paid, 0);
        EXPECT_EQ(p.extraChargesPaid, 0);
    }
    EXPECT_EQ(db.periods("A1")[1].extraCharges, 20);
    const PeriodRow b2 = db.periods("B2")[0];
    EXPECT_EQ(b2.paid, 80);
    EXPECT_EQ(b2.extraChargesPaid, 8);
}

TEST_P(Statements, RentExtraChargeAndRemainderPasses) {
    database->Execute("update rent_periods set rent_due = abs(rent_due), paid=0, extra_charges_paid=0 where "
                      "tenant_code = 'A1'");
    // Rent pass: 250 against 100 / 100 / 100.
    Currency remaining = Currency::fromDouble(250);
    auto rs = dynaset("select * from rent_periods where tenant_code = 'A1' order by period_from");
    while (remaining != Currency() && !rs->Eof()) {
        rs->Edit();
        const Variant due = rs->Fields("rent_due").Value();
        if (remaining.toDouble() > due.toDouble()) {
            rs->Fields("paid").SetValue(due);
            remaining = remaining - due.toCurrency();
        } else {
            rs->Fields("paid").SetValue(remaining);
            remaining = Currency();
        }
        rs->Update();
        rs->MoveNext();
    }
    rs->Close();
    EXPECT_EQ(remaining, Currency());

    // Extra-charge pass: 30 against February's 20.
    remaining = Currency::fromDouble(30);
    rs = dynaset("select * from rent_periods where extra_charges<> 0 and tenant_code = 'A1' order by period_from");
    int visited = 0;
    while (remaining != Currency() && !rs->Eof()) {
        ++visited;
        rs->Edit();
        const Variant charges = rs->Fields("extra_charges").Value();
        rs->Fields("extra_charges_paid").SetValue(charges);
        remaining = remaining - charges.toCurrency();
        rs->Update();
        rs->MoveNext();
    }
    EXPECT_EQ(visited, 1);
    EXPECT_EQ(remaining.text(), "10");

    // Remainder onto the latest period.
    rs->Close();
    rs = dynaset("select top 1 * from rent_periods where tenant_code = 'A1' order by period_from desc");
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Fields("period_from").Value(), Variant(*Date::fromIso("2025-03-01")));
    rs->Edit();
    rs->Fields("paid").SetValue(Variant(rs->Fields("paid").Value().toDouble() + remaining.toDouble()));
    rs->Update();
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof()) << "top 1 gives one row";

    const auto periods = db.periods("A1");
    ASSERT_EQ(periods.size(), 3u);
    EXPECT_EQ(periods[0].paid, 100);
    EXPECT_EQ(periods[1].paid, 100);
    EXPECT_EQ(periods[2].paid, 60);
    EXPECT_EQ(periods[1].extraChargesPaid, 20);
    EXPECT_EQ(db.periods("B2")[0].paid, 80);
}

TEST_P(Statements, TenantReferenceWithApostrophe) {
    db.addPeriod("O'NEIL", "2025-01-01", 10);
    auto rs = dynaset("select * from rent_periods where tenant_code = 'O''NEIL' order by period_from");
    ASSERT_FALSE(rs->Eof());
    rs->Edit();
    rs->Fields("paid").SetValue(Variant(10.0));
    rs->Update();
    EXPECT_EQ(db.periods("O'NEIL")[0].paid, 10);
    auto top = dynaset("select top 1 * from rent_periods where tenant_code = 'O''NEIL' order by period_from desc");
    EXPECT_FALSE(top->Eof());
}

TEST_P(Statements, ExtraChargeRebuild) {
    database->Execute("update rent_periods set extra_charges = 0 where tenant_code = 'A1'");
    EXPECT_EQ(database->RecordsAffected(), 3);
    EXPECT_EQ(db.periods("B2")[0].extraCharges, 8);

    std::vector<long long> affected;
    auto charges = dynaset("select * from rent_periods_charges where tenantcode = 'A1'");
    for (; !charges->Eof(); charges->MoveNext()) {
        const Date from = charges->Fields("period_from").Value().toDate();
        const DateParts p = from.parts();
        char literal[16];
        std::snprintf(literal, sizeof literal, "#%02d/%02d/%04d#", p.month, p.day, p.year);
        database->Execute("update rent_periods set extra_charges = extra_charges + " +
                          NumberText(charges->Fields("Value").Value().toDouble()) +
                          " where tenant_code = 'A1' and "
                          "period_from = " +
                          literal);
        affected.push_back(database->RecordsAffected());
    }
    EXPECT_EQ(affected, (std::vector<long long>{1, 1, 0}));
    database->Execute("update rent_periods set extra_charges = extra_charges + -3 where tenant_code = 'A1' and "
                      "period_from = #01/01/2025#");

    const auto periods = db.periods("A1");
    EXPECT_EQ(periods[0].extraCharges, -3);
    EXPECT_EQ(periods[1].extraCharges, 20);
    EXPECT_EQ(periods[2].extraCharges, 0);
}

TEST_P(Statements, AChargeWithoutAmountIsRejectedAndChangesNothing) {
    const auto error = errorOf([&] {
        database->Execute("update rent_periods set extra_charges = extra_charges +  where tenant_code = 'A1' and "
                          "period_from = #02/01/2025#");
    });
    ASSERT_TRUE(error.has_value());
    if (traits().odbc) {
        // The driver's SQLSTATE first, then its message.
        EXPECT_EQ(error->source, "ODBC");
        EXPECT_EQ(error->description.rfind("[", 0), 0u) << error->description;
    } else {
#ifdef HABITORIUM_HAVE_SQLITE
        EXPECT_EQ(error->number, SQLITE_ERROR);
        EXPECT_EQ(error->source, sqliteSource);
#endif
    }
    EXPECT_NE(error->description.find("syntax error"), std::string::npos) << error->description;
    EXPECT_EQ(database->RecordsAffected(), 0);
    EXPECT_EQ(db.periods("A1")[1].extraCharges, 20);
}

// Execute runs exactly one statement on every backend; the SQLite backend's
// own cases, and its money, which it adds up and writes as currency itself.
class SqliteStatements : public Statements {};
class OdbcStatements : public Statements {};

TEST_P(OdbcStatements, ExecuteRefusesASecondStatementAndRunsNothing) {
    const auto error = errorOf([&] {
        database->Execute("update rent_periods set paid = 1 where tenant_code = 'A1'; "
                          "update rent_periods set paid = 2 where tenant_code = 'B2';");
    });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, errInvalidOperation);
    EXPECT_EQ(db.periods("A1")[2].paid, 0);
    EXPECT_EQ(db.periods("B2")[0].paid, 80);
    database->Execute("update rent_periods set paid = 3 where tenant_code = 'B2';");
    EXPECT_EQ(db.periods("B2")[0].paid, 3) << "a trailing semicolon is one statement";
}

TEST_P(SqliteStatements, ExecuteRunsExactlyOneStatement) {
    // A text that holds a second statement is refused whole: nothing of it runs.
    for (const char* sql :
         {"update rent_periods set paid = 1 where tenant_code = 'A1'; "
          "update rent_periods set paid = 2 where tenant_code = 'B2';",
          "update rent_periods set paid = 1 where tenant_code = 'A1'; select 1",
          "update rent_periods set paid = 1 where tenant_code = 'A1';; -- x\n; vacuum", "", " ; ", "/* nothing */"}) {
        const auto error = errorOf([&] { database->Execute(sql); });
        ASSERT_TRUE(error.has_value()) << sql;
        EXPECT_EQ(error->number, errInvalidOperation) << sql;
        EXPECT_EQ(database->RecordsAffected(), 0);
    }
    EXPECT_EQ(db.periods("A1")[2].paid, 0);
    EXPECT_EQ(db.periods("B2")[0].paid, 80);

    // A closing semicolon, a comment, or a semicolon inside a quoted value
    // leave one statement.
    database->Execute("update rent_periods set paid = 3 where tenant_code = 'B2'; -- the last one\n");
    EXPECT_EQ(database->RecordsAffected(), 1);
    database->Execute("update rent_periods set paid = 4 where tenant_code = 'B2;A1' /* ; */");
    EXPECT_EQ(database->RecordsAffected(), 0);
    EXPECT_EQ(db.periods("B2")[0].paid, 3);
}

// Money adds up as the original engine's currency does: each value to four
// places, summed exactly, where binary floating point leaves a residue.
TEST_P(SqliteStatements, MoneySumsAreExact) {
    struct Case {
        double amount;
        int rows;
        const char* total;
    } cases[] = {
        {0.10, 1000, "100"}, {0.29, 777, "225.33"},      {100.1, 333, "33333.3"},
        {20.2, 17, "343.4"}, {433.33, 999, "432896.67"}, {-0.07, 100, "-7"},
    };
    for (const Case& c : cases) {
        db.exec("delete from revenues where tenant_code = 'M1'");
        db.exec("begin");
        for (int i = 0; i < c.rows; ++i)
            db.addRevenue("M1", "RENT", c.amount);
        db.exec("commit");
        const std::string sql = "select sum(amount)+0 as paid from revenues where tenant_code = 'M1'";
        EXPECT_EQ(total(sql, "paid"), c.total) << c.amount << " x " << c.rows;
        EXPECT_EQ(scalar(*database, sql, "paid").toCurrency(), Variant(std::string(c.total)).toCurrency());
    }

    // Seventeen periods each paid in full: due exactly 0, not 6.0E-14.
    for (int month = 1; month <= 17; ++month) {
        char from[16];
        std::snprintf(from, sizeof from, "%04d-%02d-01", 2024 + (month - 1) / 12, (month - 1) % 12 + 1);
        db.addPeriod("S17", from, 100.1, 100.1, 20.2, 20.2);
    }
    const Variant due = scalar(*database,
                               "select sum(rent_due + extra_charges - paid - extra_charges_paid) as amount from "
                               "rent_periods where tenant_code = 'S17'",
                               "amount");
    EXPECT_EQ(NumberText(due.toDouble()), "0");
    EXPECT_EQ(total("select sum(paid) as amount from rent_periods where tenant_code = 'S17'", "amount"), "1701.7");
    // Sums of whole numbers stay whole numbers; sums over nothing stay Null.
    EXPECT_EQ(scalar(*database, "select sum(pay_extra_charges) as n from glcodes", "n"), Variant(-3));
    EXPECT_TRUE(
        scalar(*database, "select sum(paid) as n from rent_periods where tenant_code = 'nobody'", "n").isNull());
}

TEST_P(SqliteStatements, MoneyThatCannotBeAddedUpIsAnEngineError) {
    struct Case {
        const char* setUp;
        const char* sql;
        std::int32_t number;
        const char* says;
    } cases[] = {
        {"update rent_periods set paid = 'abc' where tenant_code = 'B2'",
         "select sum(paid) as amount from rent_periods", errTypeMismatch,
         "Type mismatch: sum(paid) met the value 'abc', which is not an amount of money."},
        {"update revenues set amount = 1e300 where tenant_code = 'B2'", "select sum(amount)+0 as paid from revenues",
         errOverflow, "Overflow: sum(amount) met the value 1E+300, which is outside the range of currency amounts."},
        {"update revenues set amount = 900000000000000 where tenant_code in ('A1', 'B2')",
         "select sum(amount)+0 as paid from revenues", errOverflow,
         "Overflow: the total of sum(amount) is outside the range of currency amounts."},
    };
    for (const Case& c : cases) {
        db.exec(c.setUp);
        const auto error = errorOf([&] { scalar(*database, c.sql, "amount"); });
        ASSERT_TRUE(error.has_value()) << c.sql;
        EXPECT_EQ(error->number, c.number);
        EXPECT_EQ(error->source, engineSource);
        EXPECT_EQ(error->description, c.says);
    }
}

TEST_P(SqliteStatements, MoneyIsWrittenAsCurrency) {
    // Many inexact charges added one by one come to their exact sum.
    for (int i = 0; i < 500; ++i)
        database->Execute("update rent_periods set extra_charges = extra_charges + 0.1 where tenant_code = 'B2'");
    for (int i = 0; i < 300; ++i)
        database->Execute("update rent_periods set extra_charges = extra_charges + 433.33 where tenant_code = 'B2'");
    EXPECT_EQ(db.periods("B2")[0].extraCharges, 8 + 50 + 129999.0);
    // A value through a recordset is taken to four places too.
    auto rs = dynaset("select * from rent_periods where tenant_code = 'B2'");
    rs->Edit();
    rs->Fields("paid").SetValue(Variant(0.1 + 0.2 + 0.00004));
    rs->Update();
    EXPECT_EQ(db.periods("B2")[0].paid, 0.3);
    EXPECT_EQ(rs->Fields("paid").Value(), Variant(0.3));
    // Not a number, or out of range: an engine error, and nothing written.
    const auto text =
        errorOf([&] { database->Execute("update rent_periods set paid = 'abc' where tenant_code = 'B2'"); });
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->number, errTypeMismatch);
    EXPECT_NE(text->description.find("'abc' cannot be written to the money column paid"), std::string::npos);
    EXPECT_EQ(errorNumberOf([&] { database->Execute("update rent_periods set [paid] = 1e300, rent_due = 1"); }),
              errOverflow);
    EXPECT_EQ(db.periods("B2")[0].paid, 0.3);
    EXPECT_EQ(db.periods("B2")[0].rentDue, 80);
}

INSTANTIATE_FOR_EVERY_BACKEND(Statements);
INSTANTIATE_TEST_SUITE_P(Backends, SqliteStatements, testing::Values(Backend::Sqlite),
                         [](const testing::TestParamInfo<Backend>& info) { return backendName(info.param); });
INSTANTIATE_TEST_SUITE_P(Backends, OdbcStatements, testing::Values(Backend::SqliteOdbc, Backend::Postgres),
                         [](const testing::TestParamInfo<Backend>& info) { return backendName(info.param); });

} // namespace

// What the ODBC backend adds: connection texts and their masked passwords,
// the dialect of each database, rows found by their values, exact money,
// wide text, and another user's locks.

#include "EngineFixture.h"
#include "OdbcSession.h"

#include "engine/ConnectionText.h"
#include "engine/Database.h"
#include "engine/JetDialect.h"
#include "engine/odbc/OdbcDialect.h"
#include "engine/odbc/SelectReadings.h"

#include <chrono>
#include <iterator>

using namespace engine;

namespace {

TEST(ConnectionText, PasswordsAreMaskedWhereverTheyStand) {
    struct Case {
        const char* location;
        const char* shown;
    } cases[] = {
        {"ODBC;DSN=property;UID=office;PWD=s3cret", "ODBC;DSN=property;UID=office;PWD=****"},
        {"odbc;Driver={PostgreSQL Unicode};Server=db;Password=s3cret;Database=p",
         "odbc;Driver={PostgreSQL Unicode};Server=db;Password=****;Database=p"},
        {"ODBC;pwd=a;PWD=b;", "ODBC;pwd=****;PWD=****;"},
        {"ODBC;DSN=x; Pwd ={a;b}}c};UID=u", "ODBC;DSN=x; Pwd =****;UID=u"},
        {"ODBC;DSN=x;PWD=", "ODBC;DSN=x;PWD=****"},
        {"ODBC;DSN=x;UID=pwd", "ODBC;DSN=x;UID=pwd"},
        {"ODBC;DSN=x;OldPWD=keep", "ODBC;DSN=x;OldPWD=keep"},
        {"/data/pwd=1/property.mdb", "/data/pwd=1/property.mdb"},
        {"C:\\Data\\property.mdb", "C:\\Data\\property.mdb"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MaskPassword(c.location), c.shown) << c.location;
}

TEST(ConnectionText, OnlyTheOdbcPrefixMakesOne) {
    EXPECT_TRUE(IsConnectionText("ODBC;DSN=x"));
    EXPECT_TRUE(IsConnectionText("  odbc;DSN=x"));
    EXPECT_FALSE(IsConnectionText("ODBC"));
    EXPECT_FALSE(IsConnectionText("/srv/ODBC;x/property.mdb"));
    EXPECT_FALSE(IsConnectionText("property.mdb"));
    EXPECT_EQ(OdbcConnectionString(" ODBC;DSN=x;PWD=y"), "DSN=x;PWD=y");
}

TEST(OdbcDialect, FromTheDbmsName) {
    EXPECT_EQ(odbc::DialectOf("ACCESS"), odbc::Dialect::Access);
    EXPECT_EQ(odbc::DialectOf("MS Access"), odbc::Dialect::Access);
    EXPECT_EQ(odbc::DialectOf("PostgreSQL"), odbc::Dialect::PostgreSql);
    EXPECT_EQ(odbc::DialectOf("SQLite"), odbc::Dialect::Sqlite);
    EXPECT_EQ(odbc::DialectOf("Microsoft SQL Server"), odbc::Dialect::Other);
    EXPECT_FALSE(odbc::HasSavepoints(odbc::Dialect::Access));
    EXPECT_TRUE(odbc::HasSavepoints(odbc::Dialect::PostgreSql));
}

// Every kind of statement the tool sends, as the window builds them.
const char* const toolStatements[] = {
    "select reference from tenancy order by reference",
    "select * from options",
    "select * from glcodes where pay_extra_charges<>0",
    "select [when started], name, [property code] from tenancy where reference= 'O''NEIL'",
    "select sum(amount)+0 as paid from revenues where [revenue group] = 'RENT' and tenant_code = 'A1'",
    "select sum(amount)+0 as paid from revenues where [revenue group] in ('xcvdfgsdfs','410')  and [revenue "
    "group]  <> 'RENT' and tenant_code = 'A1'",
    "select sum(value)+0 as paid from rent_periods_charges where tenantcode = 'A1'",
    "select sum(rent_due + extra_charges - paid - extra_charges_paid) as amount from rent_periods where "
    "tenant_code = 'A1'",
    "select min(date) as result from revenues where tenant_code = 'A1' and [revenue group] = 'RENT' and "
    "[property code] = 'P1'",
    "select min(period_from) as result from rent_periods ",
    "update rent_periods set rent_due = abs(rent_due), paid=0, extra_charges_paid=0 where tenant_code = 'A1'",
    "select * from rent_periods where tenant_code = 'A1' order by period_from",
    "select * from rent_periods where extra_charges<> 0 and tenant_code = 'A1' order by period_from",
    "select top 1 * from rent_periods where tenant_code = 'A1' order by period_from desc",
    "update rent_periods set extra_charges = 0 where tenant_code = 'A1'",
    "select * from rent_periods_charges where tenantcode = 'A1'",
    "update rent_periods set extra_charges = extra_charges + 12.5 where tenant_code = 'A1' and period_from = "
    "#02/01/2025#",
};

TEST(OdbcDialect, AccessTakesEveryStatementOfTheToolAsItIs) {
    for (const char* sql : toolStatements)
        EXPECT_EQ(odbc::Translate(odbc::Dialect::Access, sql), sql);
}

TEST(OdbcDialect, SqliteThroughOdbcIsTranslatedAsTheSqliteBackendDoes) {
    for (const char* sql : toolStatements)
        EXPECT_EQ(odbc::Translate(odbc::Dialect::Sqlite, sql), TranslateJetSql(sql));
}

TEST(OdbcDialect, PostgresqlGetsQuotedNamesLimitAndDateLiterals) {
    struct Case {
        const char* jet;
        const char* postgres;
    } cases[] = {
        {"select [when started], name from tenancy where reference= 'a[b]'",
         "select \"when started\", name from tenancy where reference= 'a[b]'"},
        {"select top 1 * from rent_periods where tenant_code = 'A1' order by period_from desc",
         "select * from rent_periods where tenant_code = 'A1' order by period_from desc limit 1"},
        {"update rent_periods set x = 1 where period_from = #2/1/2025#",
         "update rent_periods set x = 1 where period_from = DATE '2025-02-01'"},
        {"select * from t where d < #12/31/2024 17:30:00#",
         "select * from t where d < TIMESTAMP '2024-12-31 17:30:00'"},
        {"select [a \"q\"] from t", "select \"a \"\"q\"\"\" from t"},
        {"select * from t where name = \"O'Neil \"\"Jr\"\"\"", "select * from t where name = 'O''Neil \"Jr\"'"},
        {"select '#1/2/2025#' from t", "select '#1/2/2025#' from t"},
        {"select sum(IIf([a] = 'x, y', f(b, c), Null)) as s, iif (d, iif(e, 1, 2), 'iif(') from t",
         "select sum((CASE WHEN \"a\" = 'x, y' THEN f(b, c) ELSE Null END)) as s, "
         "(CASE WHEN d THEN (CASE WHEN e THEN 1 ELSE 2 END) ELSE 'iif(' END) from t"},
        {"select iif(a, b) as x, iif, myiif(a, b, c) from t", "select iif(a, b) as x, iif, myiif(a, b, c) from t"},
        {"select LCase ([a b]), lcase, 'lcase(x)', mylcase(y) from t group by lcase(c)",
         "select lower (\"a b\"), lcase, 'lcase(x)', mylcase(y) from t group by lower(c)"},
        {"select CStr ([a b]) as a, cstr, 'cstr(x)', mycstr(y), cstr(f(a, b)), cstr(a, b) from t group by cstr(c)",
         "select CAST(\"a b\" AS TEXT) as a, cstr, 'cstr(x)', mycstr(y), CAST(f(a, b) AS TEXT), cstr(a, b) from t "
         "group by CAST(c AS TEXT)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(odbc::Translate(odbc::Dialect::PostgreSql, c.jet), c.postgres) << c.jet;
}

// A select read from its pattern is the select read from the start: the
// texts in turn, each pattern met again with other values.
TEST(SelectReadings, APatternGivesWhatTheTextGives) {
    const char* texts[] = {
        "select sum(iif([revenue group] = 'RENT', amount, null))+0 as t0, (select sum(value)+0 as paid from c where "
        "tenantcode = 'A1') as t2 from revenues where tenant_code = 'A1' and [revenue group] in ('RENT', 'x','410')",
        "select sum(iif([revenue group] = 'RENT', amount, null))+0 as t0, (select sum(value)+0 as paid from c where "
        "tenantcode = 'O''NEIL') as t2 from revenues where tenant_code = 'O''NEIL' and [revenue group] in ('RENT', "
        "'x','410')",
        "select [when started], name from tenancy where reference= 'B2'",
        "select [when started], name from tenancy where reference= 'it''s \"q\" [b]'",
        "select count(*) from t where a = \"Dq\" and d = #2/1/2025# and b = 'B'",
        "select count(*) from t where a = \"Dq\" and d = #2/1/2025# and b = 'C'",
        "select g, count(*) from t where a = 'A' group by g having g <> 'k'",
        "select g, count(*) from t where a = 'Z' group by g having g <> 'k'",
        "select g, count(*) from t where a = 'Z' group by g having g <> 'm'",
        "select r.t0, (select iif(p is null, '', p) from tenancy where reference = 'A1') as t1 from r",
        "select r.t0, (select iif(p is null, '', p) from tenancy where reference = 'B2') as t1 from r",
        "select r.t0, (select iif(p is null, '-', p) from tenancy where reference = 'B2') as t1 from r",
        "select 'x' from t",
    };
    int readings = 0;
    odbc::SelectReadings kept([&](const std::string& text) {
        ++readings;
        return odbc::ReadPostgresSelect(text);
    });
    for (const char* text : texts) {
        const odbc::SelectReading afresh = odbc::ReadPostgresSelect(text);
        const odbc::SelectReading read = kept.read(text);
        EXPECT_EQ(read.text, afresh.text) << text;
        EXPECT_EQ(read.values, afresh.values) << text;
        EXPECT_EQ(read.tablesRead, afresh.tablesRead) << text;
    }
    EXPECT_LT(readings, static_cast<int>(std::size(texts)));
    // Each of them again: every one from a pattern, none read afresh.
    readings = 0;
    for (const char* text : texts)
        EXPECT_EQ(kept.read(text).text, odbc::ReadPostgresSelect(text).text);
    EXPECT_EQ(readings, 0);
    EXPECT_THROW(kept.read("select 1 from t where a = 'x'; select 2"), EngineError);
}

// ---- against the databases

class OdbcBackend : public BackendTest {};

TEST_P(OdbcBackend, WideTextRoundTrips) {
    db.addTenancy("Z1", "Zoë Müller", "P1");
    auto database = open();
    auto rs = database->OpenRecordset("select * from tenancy where reference = 'Z1'", dbOpenDynaset, 3);
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Fields("name").Value(), Variant("Zoë Müller"));
    rs->Edit();
    rs->Fields("name").SetValue("Zoë Müller-Ødegård 𝄞");
    rs->Update();
    EXPECT_EQ(db.scalarText("select name from tenancy where reference = 'Z1'"), "Zoë Müller-Ødegård 𝄞");
    EXPECT_EQ(rs->Fields("name").Value(), Variant("Zoë Müller-Ødegård 𝄞"));
    // In the statement's own text too; letters compare without regard to case.
    // (Outside the 16-bit range only as a bound value: the driver manager
    // hands a statement to a driver without wide functions as UCS-2.)
    database->Execute("update tenancy set name = 'Zoë Müller' where reference = 'Z1'");
    EXPECT_EQ(scalar(*database, "select reference from tenancy where name = 'ZOë MüLLER'", "reference"), Variant("Z1"));
}

TEST_P(OdbcBackend, ConnectionTextIsShownWithItsPasswordMasked) {
    auto database = open();
    EXPECT_EQ(database->Name(), MaskPassword(db.location()));
    const auto error = errorOf([&] { dbEngine.OpenDatabase("ODBC;Driver={No Such Driver};PWD=s3cret;UID=u"); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->source, "ODBC");
    EXPECT_NE(error->description.find("No Such Driver"), std::string::npos) << error->description;
    EXPECT_NE(error->description.find("PWD=****"), std::string::npos) << error->description;
    EXPECT_EQ(error->description.find("s3cret"), std::string::npos) << error->description;
}

TEST_P(OdbcBackend, MoneyIsReadExactly) {
    db.addPeriod("A1", "2025-01-01", 1234567.8901, 0.1);
    db.addPeriod("A1", "2025-02-01", 0.2, 0.2);
    auto database = open();
    const Variant due = scalar(*database, "select sum(rent_due) as due from rent_periods", "due");
    const Variant paid = scalar(*database, "select sum(paid) as paid from rent_periods", "paid");
    if (traits().exactDecimals) {
        EXPECT_EQ(due, Variant(Currency::fromScaled(12345680901)));
        EXPECT_EQ(paid, Variant(Currency::fromScaled(3000)));
    } else {
        EXPECT_EQ(due.toCurrency(), Currency::fromScaled(12345680901));
        EXPECT_EQ(paid.toCurrency(), Currency::fromScaled(3000));
    }
    // Written back as Currency, the stored amount is exactly the currency's.
    auto rs = database->OpenRecordset("select * from rent_periods order by period_from", dbOpenDynaset, 3);
    rs->Edit();
    rs->Fields("paid").SetValue(Currency::fromScaled(-98765432109876));
    rs->Update();
    EXPECT_EQ(rs->Fields("paid").Value().toCurrency(), Currency::fromScaled(-98765432109876));
}

TEST_P(OdbcBackend, DatesReadAndWriteAsDates) {
    db.addTenancy("A1", "Name", "P1", "2024-06-30");
    auto database = open();
    auto rs = database->OpenRecordset("select * from tenancy", dbOpenDynaset, 3);
    EXPECT_EQ(rs->Fields("when started").Value(), Variant(*Date::fromIso("2024-06-30")));
    rs->Edit();
    rs->Fields("when ended").SetValue(*Date::fromIso("2025-01-31 17:30:05"));
    rs->Update();
    EXPECT_EQ(rs->Fields("when ended").Value(), Variant(*Date::fromIso("2025-01-31 17:30:05")));
    EXPECT_EQ(scalar(*database, "select count(*) as n from tenancy where [when ended] > #01/31/2025#", "n").toDouble(),
              1);
}

INSTANTIATE_TEST_SUITE_P(Backends, OdbcBackend, testing::Values(Backend::SqliteOdbc, Backend::Postgres),
                         [](const testing::TestParamInfo<Backend>& info) { return backendName(info.param); });

// ---- PostgreSQL: rows found by their values, and another user's locks

class Postgres : public BackendTest {
protected:
    void SetUp() override {
        db.addTenancy("A1", "First", "P1", "2024-01-01");
        db.addTenancy("B2", "Second", "P2", "2024-01-01");
        db.addPeriod("A1", "2025-01-01", 100);
        db.addPeriod("A1", "2025-02-01", 100);
        database = open();
        database->SetBusyTimeout(200);
    }
    std::shared_ptr<Database> database;
};

TEST_P(Postgres, ATableWithoutKeyIsWrittenBackByItsOriginalValues) {
    auto rs = database->OpenRecordset("select name from tenancy where reference = 'B2'", dbOpenDynaset, 3);
    rs->Edit();
    rs->Fields("name").SetValue("Renamed");
    rs->Update();
    EXPECT_EQ(db.scalarText("select name from tenancy where reference = 'B2'"), "Renamed");
    // The recordset now knows the row by its new values: each next write
    // finds it, whatever the value before (a statement prepared once is
    // given values of other kinds and lengths than it was last given).
    const std::string longName(300, 'n');
    for (const Variant& name : {Variant("Renamed again"), Variant::null(), Variant(longName), Variant("R"),
                                Variant(Currency::fromScaled(12345)), Variant("Zoë")}) {
        rs->Edit();
        rs->Fields("name").SetValue(name);
        rs->Update();
        EXPECT_EQ(db.scalarText("select coalesce(name, '<null>') from tenancy where reference = 'B2'"),
                  name.isNull()                            ? "<null>"
                  : name.kind() == Variant::Kind::Currency ? "1.2345"
                                                           : name.text());
    }
    EXPECT_EQ(db.scalarText("select name from tenancy where reference = 'A1'"), "First");
}

TEST_P(Postgres, ARowChangedByAnotherUserAfterTheReadIsRefused) {
    auto rs = database->OpenRecordset("select * from tenancy where reference = 'B2'", dbOpenDynaset, 3);
    db.exec("update tenancy set \"property code\" = 'P9' where reference = 'B2'");
    rs->Edit();
    rs->Fields("name").SetValue("Mine");
    const auto error = errorOf([&] { rs->Update(); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, errRowChanged);
    EXPECT_NE(error->description.find("changed or deleted by another user"), std::string::npos);
    EXPECT_EQ(db.scalarText("select name from tenancy where reference = 'B2'"), "Second");
}

TEST_P(Postgres, MoreThanOneMatchingRowIsRefusedAndNothingWritten) {
    db.addTenancy("B2", "Second", "P2", "2024-01-01"); // the same row twice
    for (bool inTransaction : {false, true}) {
        auto rs = database->OpenRecordset("select * from tenancy where reference = 'B2'", dbOpenDynaset, 3);
        if (inTransaction)
            database->BeginTrans();
        rs->Edit();
        rs->Fields("name").SetValue("Mine");
        const auto error = errorOf([&] { rs->Update(); });
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->number, errRowChanged);
        EXPECT_NE(error->description.find("More than one row matches"), std::string::npos);
        if (inTransaction) {
            // The transaction goes on: the failed write left nothing of itself.
            database->Execute("update tenancy set name = 'Other' where reference = 'A1'");
            database->CommitTrans();
        }
        EXPECT_EQ(db.scalarText("select count(*) from tenancy where name = 'Second'"), "2");
    }
    EXPECT_EQ(db.scalarText("select name from tenancy where reference = 'A1'"), "Other");
}

TEST_P(Postgres, AFailedStatementInATransactionLeavesTheTransactionUsable) {
    database->BeginTrans();
    database->Execute("update rent_periods set paid = 5 where tenant_code = 'A1'");
    EXPECT_NE(errorNumberOf([&] { database->Execute("update rent_periods set paid = where x"); }), 0);
    EXPECT_NE(errorNumberOf([&] { database->OpenRecordset("select * from no_such_table", dbOpenDynaset, 3); }), 0);
    // A whole-or-nothing savepoint waits for its first write: one that only
    // reads costs no round trip of its own, and a read that fails under it
    // spoils it without undoing what the transaction wrote before.
    const std::uint64_t trips = database->RoundTrips();
    database->Savepoint("tenant_repair", true);
    database->ReleaseSavepoint("tenant_repair");
    EXPECT_EQ(database->RoundTrips(), trips);
    database->Savepoint("tenant_repair", true);
    EXPECT_NE(errorNumberOf([&] { database->OpenRecordset("select * from no_such_table", dbOpenDynaset, 3); }), 0);
    EXPECT_NE(errorNumberOf([&] { database->Execute("update rent_periods set paid = 9 where tenant_code = 'A1'"); }), 0)
        << "nothing is done inside the spoiled savepoint";
    database->RollbackToSavepoint("tenant_repair");
    database->Execute("update rent_periods set rent_due = 7 where tenant_code = 'A1'");
    database->CommitTrans();
    EXPECT_EQ(db.periods("A1")[0].paid, 5);
    EXPECT_EQ(db.periods("A1")[1].rentDue, 7);
}

TEST_P(Postgres, ALockHeldByAnotherUserFailsOnceAsTheBusyCaseAndChangesNothing) {
    OdbcSession other(db.connectionString());
    other.setAutocommit(false);
    other.rows("select * from rent_periods where tenant_code = 'A1' for update");

    const auto start = std::chrono::steady_clock::now();
    const auto error = errorOf([&] { database->Execute("update rent_periods set paid = 9 where tenant_code = 'A1'"); });
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, errLocked);
    EXPECT_EQ(error->source, "ODBC");
    EXPECT_EQ(error->description.rfind("[55P03]", 0), 0u) << error->description;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(3));

    // A write-back of a locked row waits and fails the same way; rows of
    // other tenants are not locked.
    auto rs = database->OpenRecordset("select * from rent_periods order by period_from", dbOpenDynaset, 3);
    rs->Edit();
    rs->Fields("paid").SetValue(Variant(3.0));
    EXPECT_EQ(errorNumberOf([&] { rs->Update(); }), errLocked);
    database->Execute("update tenancy set name = 'Free' where reference = 'B2'");
    other.rollback();
    EXPECT_EQ(db.periods("A1")[0].paid, 0);
    rs->Update();
    EXPECT_EQ(db.periods("A1")[0].paid, 3) << "the edit stays pending and is written once the lock is gone";
}

// Inside a savepoint the caller undoes whole on any failure, the rows a pass
// writes go to the server together: before anything reads the table again,
// and the rows then show what the table holds. A row gone meanwhile fails the
// savepoint, and every statement after it, until it is rolled back.
TEST_P(Postgres, RowsWrittenInAWholeOrNothingSavepointGoTogetherBeforeTheNextRead) {
    database->BeginTrans();
    database->Savepoint("tenant_repair", true);
    auto rs = database->OpenRecordset("select * from rent_periods where tenant_code = 'A1' order by period_from",
                                      dbOpenDynaset, 3);
    const std::uint64_t trips = database->RoundTrips();
    rs->Edit();
    rs->Fields("paid").SetValue(Variant(1.23456));
    rs->Update();
    rs->MoveNext();
    rs->Edit();
    rs->Fields("paid").SetValue(Variant(2.0));
    rs->Update();
    EXPECT_EQ(database->RoundTrips(), trips) << "the writes wait for the next statement";
    // Another user's change to a column not written here, before the writes go.
    db.exec("update rent_periods set rent_due = 111 where tenant_code = 'A1' and period_from = '2025-02-01'");
    EXPECT_EQ(scalar(*database, "select sum(paid) as paid from rent_periods where tenant_code = 'A1'", "paid"),
              Variant(Currency::fromScaled(32346)));
    // The savepoint (sent with the first write), one statement for both
    // rows, then the read: each executed, and each prepared the first time
    // its shape is met.
    EXPECT_LE(database->RoundTrips(), trips + 5);
    EXPECT_EQ(rs->Fields("rent_due").Value().toDouble(), 111.0);
    EXPECT_EQ(rs->Fields("paid").Value(), Variant(Currency::fromScaled(20000)));
    database->ReleaseSavepoint("tenant_repair");
    database->CommitTrans();
    EXPECT_EQ(db.periods("A1")[0].paid, 1.2346);

    database->Savepoint("tenant_repair", true);
    auto again = database->OpenRecordset("select * from rent_periods where tenant_code = 'A1' order by period_from",
                                         dbOpenDynaset, 3);
    again->Edit();
    again->Fields("paid").SetValue(Variant(5.0));
    again->Update();
    db.exec("delete from rent_periods where tenant_code = 'A1' and period_from = '2025-01-01'");
    EXPECT_EQ(errorNumberOf([&] { again->Close(); }), errRecordDeleted);
    EXPECT_EQ(errorNumberOf([&] { database->Execute("update rent_periods set paid = 7 where tenant_code = 'A1'"); }),
              errRecordDeleted)
        << "nothing more is done inside the spoiled savepoint";
    EXPECT_EQ(errorNumberOf([&] { database->ReleaseSavepoint("tenant_repair"); }), errRecordDeleted);
    EXPECT_FALSE(database->InTransaction()) << "a spoiled savepoint is rolled back, not kept";
    EXPECT_EQ(db.periods("A1")[0].paid, 2);
}

// Inside a transaction a read is not asked again while none of its tables,
// a subquery's included, has been written by this connection; a write to
// any of them makes it run again.
TEST_P(Postgres, AReadIsKeptUntilAnyTableItReadsIsWritten) {
    const std::string sql = "select (select count(*) from tenancy where reference = 'A1') as n, sum(paid) as paid "
                            "from rent_periods where tenant_code = 'A1'";
    const auto read = [&] {
        auto rs = database->OpenRecordset(sql, dbOpenForwardOnly, dbReadOnly);
        return std::make_pair(rs->Fields("n").Value().toDouble(), rs->Fields("paid").Value().toDouble());
    };
    database->BeginTrans();
    EXPECT_EQ(read(), std::make_pair(1.0, 0.0));
    const std::uint64_t trips = database->RoundTrips();
    EXPECT_EQ(read(), std::make_pair(1.0, 0.0));
    EXPECT_EQ(database->RoundTrips(), trips) << "kept";
    database->Execute("update rent_periods set paid = 1 where tenant_code = 'A1'");
    EXPECT_EQ(read(), std::make_pair(1.0, 2.0));
    database->Execute("delete from tenancy where reference = 'A1'");
    EXPECT_EQ(read(), std::make_pair(0.0, 2.0)) << "the subquery's table written";
    database->Rollback();
}

TEST_P(Postgres, SavepointsAskedOfADatabaseWithoutThemAreRefused) {
    EXPECT_TRUE(database->SupportsSavepoints());
    database->DisableSavepoints();
    EXPECT_FALSE(database->SupportsSavepoints());
    EXPECT_EQ(errorNumberOf([&] { database->Savepoint("s"); }), errInvalidOperation);
    database->BeginTrans();
    database->Execute("update rent_periods set paid = 1");
    database->Rollback();
    EXPECT_EQ(db.periods("A1")[0].paid, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, Postgres, testing::Values(Backend::Postgres),
                         [](const testing::TestParamInfo<Backend>& info) { return backendName(info.param); });

} // namespace

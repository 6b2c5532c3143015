// The SQLite backend's prepared statements: a statement's shape (its values as
// parameters), the bounded cache of prepared statements, and rows kept for a
// statement run again with the same values.

#include "EngineFixture.h"

#include "engine/Database.h"
#include "engine/sqlite/SqlShape.h"
#include "engine/sqlite/SqliteConnection.h"
#include "engine/sqlite/StatementTexts.h"

using namespace engine;

namespace {

TEST(SqlShape, ValuesBecomeParametersOnlyWhereTheyMeanTheSame) {
    struct Case {
        const char* sql;
        const char* shape;
        std::vector<Variant> values;
    } cases[] = {
        {"select sum(amount)+0 as paid from revenues where [revenue group] = 'RENT' and tenant_code = 'O''NEIL'",
         "select sum(amount)+0 as paid from revenues where [revenue group] = ?1 and tenant_code = ?2",
         {"RENT", "O'NEIL"}},
        {"update rent_periods set extra_charges = extra_charges + 12.5 where tenant_code = 'A1' and period_from = "
         "'2025-02-01'",
         "update rent_periods set extra_charges = extra_charges + ?1 where tenant_code = ?2 and period_from = ?3",
         {12.5, "A1", "2025-02-01"}},
        {"select * from rent_periods where tenant_code = 'A1' order by period_from desc limit 1",
         "select * from rent_periods where tenant_code = ?1 order by period_from desc limit ?2",
         {"A1", 1}},
        {"select a from t where b in ('x', 2.5e3, -7) -- 'note'",
         "select a from t where b in (?1, ?2, -?3) -- 'note'",
         {"x", 2500.0, 7}},
        // A result column's name is its text unless "as" names it; a number in
        // order by is a column's position; in a grouped select a result
        // column may have to read as a grouped expression.
        {"select 'x' as a, 1, b + 2 from t where c = 3 order by 1, 'k'",
         "select ?1 as a, 1, b + 2 from t where c = ?2 order by 1, 'k'",
         {"x", 3}},
        {"select sum(iif(g = 'R', a, null))+0 as p, (select 'y') as q from (select g = 'S' as s, 'z' from r) as d",
         "select sum(iif(g = ?1, a, null))+0 as p, (select 'y') as q from (select g = ?2 as s, 'z' from r) as d",
         {"R", "S"}},
        {"select (g = 'R') as r, sum(a) as s from t where c = 'w' group by (g = 'R')",
         "select (g = 'R') as r, sum(a) as s from t where c = ?1 group by (g = 'R')",
         {"w"}},
        {"select (select max(b) from t where c = 'in list') as m from t where d = 'w' group by 2 having e > 5",
         "select (select max(b) from t where c = 'in list') as m from t where d = ?1 group by 2 having e > ?2",
         {"w", 5}},
        {"select a from t as 'alias' where b = 'v'", "select a from t as 'alias' where b = ?1", {"v"}},
        // Left as SQLite reads them.
        {"select a from t where b = x'41' and c = 0x10 and d = 99999999999999999999",
         "select a from t where b = x'41' and c = 0x10 and d = 99999999999999999999",
         {}},
        {"select a from t where b = ? and c = 'x'", "select a from t where b = ? and c = 'x'", {}},
        {"select a from t where b = 12abc and c = 'x'", "select a from t where b = 12abc and c = ?1", {"x"}},
        {"pragma user_version = 5", "pragma user_version = 5", {}},
        {"", "", {}},
    };
    for (const Case& c : cases) {
        const SqlShape shape = ShapeOf(c.sql, TokeniseSql(c.sql));
        EXPECT_EQ(shape.text, c.shape) << c.sql;
        EXPECT_EQ(shape.values, c.values) << c.sql;
    }
}

// Texts that differ only in their quoted values share the reading of their
// pattern; each must be read exactly as if it were read afresh.
TEST(StatementTexts, ATextReadByItsPatternIsReadAsIfAfresh) {
    // $ stands for the content of quoted values, which each round fills in afresh.
    const char* patterns[] = {
        "select sum(amount)+0 as paid from revenues where [revenue group] = '$' and tenant_code = '$'",
        "update rent_periods set extra_charges = extra_charges + 12.5 where tenant_code = '$' and period_from = "
        "#02/01/2025#",
        "select top 1 * from rent_periods where tenant_code = '$' order by period_from desc",
        "select 'k$' as a, b from t where c = '$' order by 1",
        "select a from t as '$' where b = '$'",
        "select [it's], \"isn't\" from t where b = '$' -- don't",
        "select a from t where b = x'41' and c = '$'",
        "select a from t where b = '$'; select '$'",
        "select a from t where b like '$*' and c = #1/2/2025 10:11:12# and d = ''",
        "select a from t where b = '$",
        "pragma user_version = '$'",
    };
    const char* contents[] = {"A1", "O''N;--[x]\"", "", "$", "\x01"};
    StatementTexts texts;
    for (const char* pattern : patterns) {
        for (const char* content : contents) {
            std::string sql;
            for (const char* c = pattern; *c; ++c)
                sql += *c == '$' ? std::string(content) : std::string(1, *c);
            const StatementText expected = StatementTexts::readAfresh(sql);
            const StatementText& read = texts.read(sql);
            EXPECT_EQ(read.text, expected.text) << sql;
            EXPECT_EQ(read.statements, expected.statements) << sql;
            EXPECT_EQ(read.plainReadOrWrite, expected.plainReadOrWrite) << sql;
            EXPECT_EQ(read.shape.text, expected.shape.text) << sql;
            EXPECT_EQ(read.shape.values, expected.shape.values) << sql;
        }
    }
}

class Backend : public EngineTest {
protected:
    void SetUp() override {
        db.addPeriod("A1", "2025-01-01", 100, 10);
        db.addPeriod("A1", "2025-02-01", 100, 20);
        db.addPeriod("A1", "2025-03-01", 100, 30);
        db.addPeriod("B2", "2025-01-01", 80, 80);
        connection = std::make_shared<SqliteConnection>(db.path(), false, false);
        database = std::make_shared<Database>(connection);
    }
    Variant paidOf(const std::string& tenant) {
        return scalar(*database, "select sum(paid) as s from rent_periods where tenant_code = '" + tenant + "'", "s");
    }

    std::shared_ptr<SqliteConnection> connection;
    std::shared_ptr<Database> database;
};

// A cache of one statement still serves a repair, whose write-back and re-read
// of a row are in use at the same time: neither is finalised while in use.
TEST_F(Backend, ACacheOfOneStatementNeverFreesOneInUse) {
    connection->setStatementCapacity(1);
    for (int round = 0; round < 3; ++round) {
        const double amount = round + 0.5;
        database->Execute("update rent_periods set paid = 0 where tenant_code = 'A1'");
        auto rs = database->OpenRecordset("select * from rent_periods where tenant_code = 'A1' order by period_from",
                                          dbOpenDynaset, dbDenyWrite | dbDenyRead);
        for (; !rs->Eof(); rs->MoveNext()) {
            rs->Edit();
            rs->Fields("paid").SetValue(Variant(amount));
            rs->Update();
            EXPECT_EQ(rs->Fields("paid").Value(), Variant(amount));
        }
        EXPECT_EQ(paidOf("A1").toDouble(), 3 * amount);
        EXPECT_EQ(paidOf("B2"), Variant(80.0));
        EXPECT_LE(connection->cachedStatements(), 1u);
    }
    database->BeginTrans();
    database->Savepoint("s");
    database->ReleaseSavepoint("s");
    database->CommitTrans();
    EXPECT_LE(connection->cachedStatements(), 1u);
    for (const PeriodRow& row : db.periods("A1"))
        EXPECT_EQ(row.paid, 2.5);
}

// A whole table read inside a transaction that has changed more than SQLite's
// small page cache holds keeps the large one, which holds the changes until
// the commit: written to the file before it, they would keep every other user
// from reading meanwhile.
TEST_F(Backend, AWholeTableReadInsideATransactionLeavesOtherUsersReading) {
    // Some MB of income, not in this connection's cache.
    db.exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 50000) insert into revenues "
            "(tenant_code, [revenue group], amount, description) select 'A1', 'RENT', 1, printf('%080d', i) from n");
    database->BeginTrans();
    // Some MB of changed pages: the periods doubled, over and over.
    for (int i = 0; i < 15; ++i)
        database->Execute("insert into rent_periods (tenant_code, period_from, rent_due, paid) select tenant_code || "
                          "'-copy', period_from, rent_due, paid from rent_periods");
    long long rows = 0;
    database->ReadRows("select tenant_code, amount from revenues", [&](const auto&, const auto&) {
        ++rows;
        return true;
    });
    EXPECT_EQ(rows, 50000);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.path().c_str(), &other), SQLITE_OK);
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(other, "select count(*) from rent_periods", -1, &count, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(count), SQLITE_ROW) << sqlite3_errmsg(other);
    EXPECT_EQ(sqlite3_column_int(count, 0), 4);
    sqlite3_finalize(count);
    sqlite3_close(other);
    database->Rollback();
}

// Rows read again for the same statement are never those of before a write,
// whoever made it.
TEST_F(Backend, RowsReadAgainAreNeverStale) {
    EXPECT_EQ(paidOf("A1"), Variant(60.0));
    EXPECT_EQ(paidOf("A1"), Variant(60.0));
    // Another connection writes between two reads.
    db.exec("update rent_periods set paid = paid + 1 where tenant_code = 'A1'");
    EXPECT_EQ(paidOf("A1"), Variant(63.0));
    db.exec("insert into rent_periods (tenant_code, period_from, rent_due, paid) values ('A1', '2025-04-01', 1, 7)");
    EXPECT_EQ(paidOf("A1"), Variant(70.0));

    // This connection writes, by statement and through a recordset.
    database->Execute("update rent_periods set paid = 5 where tenant_code = 'A1'");
    EXPECT_EQ(paidOf("A1"), Variant(20.0));
    auto rs = database->OpenRecordset("select * from rent_periods where tenant_code = 'A1'", dbOpenDynaset,
                                      dbDenyWrite | dbDenyRead);
    rs->Edit();
    rs->Fields("paid").SetValue(Variant(9.0));
    rs->Update();
    EXPECT_EQ(paidOf("A1"), Variant(24.0));
    EXPECT_EQ(paidOf("B2"), Variant(80.0));

    // What is undone is undone for the reader too.
    database->BeginTrans();
    database->Execute("update rent_periods set paid = 1 where tenant_code = 'A1'");
    EXPECT_EQ(paidOf("A1"), Variant(4.0));
    database->Rollback();
    EXPECT_EQ(paidOf("A1"), Variant(24.0));
    database->Savepoint("repair");
    database->Execute("update rent_periods set paid = 2 where tenant_code = 'A1'");
    EXPECT_EQ(paidOf("A1"), Variant(8.0));
    database->RollbackToSavepoint("repair");
    EXPECT_EQ(paidOf("A1"), Variant(24.0));

    // A whole table emptied at once, and a change of schema.
    database->Execute("delete from rent_periods");
    EXPECT_TRUE(paidOf("A1").isNull());
    db.exec("insert into rent_periods (tenant_code, period_from, paid) values ('A1', '2025-01-01', 3)");
    EXPECT_EQ(paidOf("A1"), Variant(3.0));
    database->Execute("create view paid_view as select 1");
    EXPECT_EQ(paidOf("A1"), Variant(3.0));
}

// The same statement with other values, and values that only differ in kind,
// never share rows.
TEST_F(Backend, RowsAreKeptPerStatementAndValues) {
    db.addPeriod("1", "2025-01-01", 1, 1);
    EXPECT_EQ(paidOf("A1"), Variant(60.0));
    EXPECT_EQ(paidOf("B2"), Variant(80.0));
    EXPECT_EQ(scalar(*database, "select sum(paid) as s from rent_periods where tenant_code = 1", "s"), Variant(1.0));
    EXPECT_EQ(scalar(*database, "select sum(paid) as s from rent_periods where tenant_code = 1.0", "s").isNull(), true);
    EXPECT_EQ(scalar(*database, "select count(*) as n from rent_periods where paid > 15", "n"), Variant(3));
    EXPECT_EQ(scalar(*database, "select count(*) as n from rent_periods where paid > 25", "n"), Variant(2));
}

} // namespace

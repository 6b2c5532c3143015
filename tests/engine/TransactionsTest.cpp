#include "EngineFixture.h"

#include "engine/Database.h"

#ifdef HABITORIUM_HAVE_SQLITE
#include <sqlite3.h>
#endif

#include <chrono>

using namespace engine;

namespace {

class Transactions : public BackendTest {
protected:
    void SetUp() override {
        db.addPeriod("A1", "2025-01-01", 100);
        database = open();
    }
    double paid() { return db.periods("A1")[0].paid; }
    void setPaid(double value) {
        database->Execute("update rent_periods set paid = " + std::to_string(value) + " where tenant_code = 'A1'");
    }
    std::shared_ptr<Database> database;
};

TEST_P(Transactions, CommitKeepsAndRollbackUndoes) {
    EXPECT_FALSE(database->InTransaction());
    database->BeginTrans();
    EXPECT_TRUE(database->InTransaction());
    setPaid(1);
    database->CommitTrans();
    EXPECT_FALSE(database->InTransaction());
    EXPECT_EQ(paid(), 1);

    database->BeginTrans();
    setPaid(2);
    auto rs = database->OpenRecordset("select * from rent_periods", dbOpenDynaset, 3);
    rs->Edit();
    rs->Fields("rent_due").SetValue(Variant(5.0));
    rs->Update();
    database->Rollback();
    EXPECT_FALSE(database->InTransaction());
    EXPECT_EQ(paid(), 1);
    EXPECT_EQ(db.periods("A1")[0].rentDue, 100);
}

// A snapshot's reads all see the database as it stood at the first, whatever
// another user commits meanwhile (PostgreSQL); where the backend has none,
// nothing is begun.
TEST_P(Transactions, ASnapshotSeesTheDatabaseAsItStoodAtItsFirstRead) {
    const std::shared_ptr<Database> other = open();
    // Each a text of its own, so that none is a read the connection keeps.
    int reads = 0;
    const auto paidRead = [&] {
        return scalar(*database, "select paid, " + std::to_string(++reads) + " as n from rent_periods", "paid")
            .toDouble();
    };
    const bool begun = database->BeginSnapshot();
    EXPECT_EQ(begun, GetParam() == Backend::Postgres);
    EXPECT_EQ(database->InTransaction(), begun);
    if (!begun)
        return;
    EXPECT_EQ(paidRead(), 0);
    other->Execute("update rent_periods set paid = 7 where tenant_code = 'A1'");
    EXPECT_EQ(paidRead(), 0) << "another user's commit after the first read";
    EXPECT_NE(errorOf([&] { setPaid(3); }), std::nullopt) << "it only reads";
    database->Rollback();
    EXPECT_EQ(paidRead(), 7);
}

TEST_P(Transactions, SavepointOutsideATransactionStartsOne) {
    database->Savepoint("tenant_repair");
    EXPECT_TRUE(database->InTransaction());
    setPaid(3);
    database->ReleaseSavepoint("tenant_repair");
    EXPECT_FALSE(database->InTransaction());
    EXPECT_EQ(paid(), 3);

    database->Savepoint("tenant_repair");
    setPaid(4);
    database->RollbackToSavepoint("tenant_repair");
    EXPECT_FALSE(database->InTransaction()) << "undoing the outermost savepoint ends the transaction";
    EXPECT_EQ(paid(), 3);
}

TEST_P(Transactions, SavepointsInsideABatch) {
    database->BeginTrans();
    database->Savepoint("tenant_repair");
    setPaid(5);
    database->ReleaseSavepoint("tenant_repair");
    EXPECT_TRUE(database->InTransaction()) << "releasing an inner savepoint does not commit";
    database->Savepoint("tenant_repair");
    setPaid(6);
    database->RollbackToSavepoint("tenant_repair");
    EXPECT_TRUE(database->InTransaction());
    database->CommitTrans();
    EXPECT_EQ(paid(), 5);
}

TEST_P(Transactions, SavepointNamesAreQuoted) {
    const std::string name = "it's \"odd\"; drop table rent_periods";
    database->Savepoint(name);
    setPaid(7);
    database->ReleaseSavepoint(name);
    EXPECT_EQ(paid(), 7);
}

#ifdef HABITORIUM_HAVE_SQLITE
// What only the SQLite backend shows: its own error numbers, and another
// process's lock on the file.
class SqliteTransactions : public Transactions {};

TEST_P(SqliteTransactions, MisuseRaisesTheSqliteError) {
    EXPECT_EQ(errorNumberOf([&] { database->CommitTrans(); }), SQLITE_ERROR);
    EXPECT_EQ(errorNumberOf([&] { database->Rollback(); }), SQLITE_ERROR);
    EXPECT_EQ(errorNumberOf([&] { database->ReleaseSavepoint("none"); }), SQLITE_ERROR);
    database->BeginTrans();
    EXPECT_EQ(errorNumberOf([&] { database->BeginTrans(); }), SQLITE_ERROR);
    database->Rollback();
}

// Another user holding the write lock: a write waits for the busy timeout,
// then fails with SQLite's error, and nothing of it reaches the file.
class AnotherWriter : public Transactions {
protected:
    void SetUp() override {
        Transactions::SetUp();
        ASSERT_EQ(sqlite3_open(db.path().c_str(), &other), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(other, "begin immediate; update options set company_name = 'busy'", nullptr, nullptr, nullptr),
            SQLITE_OK);
        database->SetBusyTimeout(200);
    }
    void TearDown() override { releaseLock(); }
    void releaseLock() {
        if (!other)
            return;
        sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        other = nullptr;
    }
    sqlite3* other = nullptr;
};

TEST_P(AnotherWriter, ExecuteWaitsThenFails) {
    const auto start = std::chrono::steady_clock::now();
    const auto error = errorOf([&] { setPaid(9); });
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, SQLITE_BUSY);
    EXPECT_EQ(error->source, sqliteSource);
    EXPECT_EQ(error->description, "database is locked");
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(3));
    EXPECT_FALSE(database->InTransaction());
    releaseLock();
    EXPECT_EQ(paid(), 0);
}

TEST_P(AnotherWriter, ReadsGoOnAndUpdateFailsWithoutChangingTheRow) {
    auto rs = database->OpenRecordset("select * from rent_periods", dbOpenDynaset, 3);
    ASSERT_FALSE(rs->Eof());
    rs->Edit();
    rs->Fields("paid").SetValue(Variant(9.0));
    EXPECT_EQ(errorNumberOf([&] { rs->Update(); }), SQLITE_BUSY);
    EXPECT_EQ(errorNumberOf([&] { database->BeginTrans(); }), SQLITE_BUSY);
    EXPECT_FALSE(database->InTransaction());
    releaseLock();
    EXPECT_EQ(paid(), 0);
    // The edit is still pending and can be written once the lock is gone.
    rs->Update();
    EXPECT_EQ(paid(), 9);
    EXPECT_EQ(rs->Fields("paid").Value(), Variant(9.0));
}

} // namespace

namespace {

// The write-back statements are kept prepared between uses; they must not
// keep a lock on the file once a row has been written outside a transaction.
TEST_P(SqliteTransactions, AWrittenRowLeavesNoLockBehind) {
    for (int round = 0; round < 2; ++round) {
        auto rs = database->OpenRecordset("select * from rent_periods", dbOpenDynaset, 3);
        rs->Edit();
        rs->Fields("paid").SetValue(Variant(10.0 + round));
        rs->Update();
        EXPECT_FALSE(database->InTransaction());

        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(db.path().c_str(), &other), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(other, "begin exclusive; update options set company_name = 'x'; commit", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(other);
        sqlite3_close(other);
        EXPECT_EQ(paid(), 10.0 + round);
    }
}

#endif

} // namespace

namespace {

const auto name = [](const testing::TestParamInfo<Backend>& info) { return backendName(info.param); };
INSTANTIATE_FOR_EVERY_BACKEND(Transactions);
#ifdef HABITORIUM_HAVE_SQLITE
INSTANTIATE_TEST_SUITE_P(Backends, SqliteTransactions, testing::Values(Backend::Sqlite), name);
INSTANTIATE_TEST_SUITE_P(Backends, AnotherWriter, testing::Values(Backend::Sqlite), name);
#endif

} // namespace

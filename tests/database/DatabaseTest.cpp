#include "database/Database.h"

#include "PropertyDb.h"
#include "Recorders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using engine::dbDenyRead;
using engine::dbDenyWrite;
using engine::dbOpenDynaset;
using engine::dbOpenForwardOnly;
using engine::dbReadOnly;

constexpr const char* fileNotFound = "Unable to open Habitorium database - file not found";
constexpr std::int32_t errObjectNotSet = 91;

class DatabaseTest : public testing::Test {
protected:
    void SetUp() override {
        sample_ = std::make_unique<PropertyDb>(dir_.file("property.mdb"));
        sample_->addTenancy("ABC", "Alice");
        sample_->addTenancy("O'NEIL", "Owen");
        sample_->addGlCode("410", true);
        sample_->addGlCode("420", false);
        sample_->addPeriod("ABC", "2025-01-01", 500, 100);
        sample_->addPeriod("ABC", "2025-02-01", 500, 200);
        sample_->addPeriod("O'NEIL", "2025-03-01", 650, 0);
    }

    // Opens the sample file; every test that needs a database starts here.
    void open() {
        ASSERT_EQ(db_.OpenDatabaseFile(sample_->path()), -1);
        ASSERT_TRUE(reporter_.reports.empty());
    }

    RecordsetRef query(std::string sql, std::int16_t type = dbOpenForwardOnly, std::int16_t options = dbReadOnly) {
        RecordsetRef rs;
        db_.CreateRecordset(rs, sql, type, options);
        return rs;
    }

    std::vector<std::string> labels() const {
        std::vector<std::string> out;
        for (const auto& r : reporter_.reports)
            out.push_back(r.label);
        return out;
    }

    TempDir dir_;
    std::unique_ptr<PropertyDb> sample_;
    RecordingMessages messages_;
    TestFileSystem files_{dir_.path().string()};
    RecordingReporter reporter_;
    Database db_{messages_, files_, reporter_};
};

// --- OpenDatabaseFile -----------------------------------------------------------

TEST_F(DatabaseTest, OpenValidFileIsTrueAndSilent) {
    EXPECT_EQ(db_.OpenDatabaseFile(sample_->path()), -1);
    EXPECT_TRUE(messages_.texts.empty());
    EXPECT_TRUE(reporter_.reports.empty());
    ASSERT_NE(db_.CurrentDatabase, nullptr);
    ASSERT_NE(db_.CurrentWorkspace, nullptr);
    EXPECT_EQ(db_.CurrentWorkspace->index(), 0);
    EXPECT_EQ(db_.failureCount(), 0);
}

TEST_F(DatabaseTest, MissingFileWarnsThenReportsStartAdo) {
    EXPECT_EQ(db_.OpenDatabaseFile(dir_.file("nothere.mdb")), 0);

    EXPECT_EQ(messages_.texts, std::vector<std::string>{fileNotFound});
    EXPECT_EQ(labels(), std::vector<std::string>{"Start ADO"});
    EXPECT_EQ(reporter_.reports[0].error.number, engine::errNotFound);
    EXPECT_EQ(db_.CurrentDatabase, nullptr);
    EXPECT_NE(db_.CurrentWorkspace, nullptr) << "the workspace taken before the failure stays";
    EXPECT_EQ(db_.failureCount(), 1);
}

TEST_F(DatabaseTest, OpenFailuresOfFilesThatAreThere) {
    std::ofstream(dir_.file("notes.mdb")) << "just some text, not a database at all";
    std::filesystem::create_directory(dir_.file("folder.mdb"));
    const struct {
        std::string path;
        bool warned;
    } cases[] = {
        {dir_.file("notes.mdb"), false},
        {dir_.file("folder.mdb"), true},
    };
    for (const auto& c : cases) {
        messages_.texts.clear();
        reporter_.reports.clear();
        EXPECT_EQ(db_.OpenDatabaseFile(c.path), 0) << c.path;
        EXPECT_EQ(messages_.texts.size(), c.warned ? 1u : 0u) << c.path;
        EXPECT_EQ(labels(), std::vector<std::string>{"Start ADO"}) << c.path;
        EXPECT_EQ(db_.CurrentDatabase, nullptr);
    }
}

TEST_F(DatabaseTest, HiddenFileWarnsButStillOpens) {
    std::filesystem::copy_file(sample_->path(), dir_.file(".property.mdb"));
    EXPECT_EQ(db_.OpenDatabaseFile(dir_.file(".property.mdb")), -1);
    EXPECT_EQ(messages_.texts, std::vector<std::string>{fileNotFound});
    EXPECT_TRUE(reporter_.reports.empty());
    EXPECT_NE(db_.CurrentDatabase, nullptr);
}

TEST_F(DatabaseTest, FailedSecondOpenKeepsTheFirstDatabase) {
    open();
    const auto first = db_.CurrentDatabase;

    EXPECT_EQ(db_.OpenDatabaseFile(dir_.file("nothere.mdb")), 0);
    EXPECT_EQ(db_.CurrentDatabase, first);
    EXPECT_EQ(query("select reference from tenancy")->Eof(), false) << "the first database still answers";
}

TEST_F(DatabaseTest, SecondOpenReplacesTheDatabase) {
    open();
    const std::weak_ptr<engine::Database> first = db_.CurrentDatabase;
    PropertyDb other(dir_.file("other.mdb"));
    other.addTenancy("ZED");

    EXPECT_EQ(db_.OpenDatabaseFile(other.path()), -1);
    EXPECT_TRUE(first.expired()) << "the earlier database is released";
    RecordsetRef rs = query("select reference from tenancy");
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(rs->Fields("reference").Value(), engine::Variant("ZED"));
}

// --- CreateRecordset ------------------------------------------------------------

TEST_F(DatabaseTest, CreateRecordsetOpensTheNormalisedTextAndLeavesItWithTheCaller) {
    open();
    const struct {
        std::string sql;
        std::string normalised;
        std::string field;
        engine::Variant first;
    } cases[] = {
        {"select gl_code from glcodes where pay_extra_charges = true",
         "select gl_code from glcodes where pay_extra_charges = -1", "gl_code", "410"},
        {"select gl_code from glcodes where pay_extra_charges = false",
         "select gl_code from glcodes where pay_extra_charges = 0", "gl_code", "420"},
        {"select name from tenancy where reference= 'O'NEIL'", "select name from tenancy where reference= 'O''NEIL'",
         "name", "Owen"},
        {"select rent_due from rent_periods where tenant_code = 'O'NEIL' order by period_from",
         "select rent_due from rent_periods where tenant_code = 'O''NEIL' order by period_from", "rent_due", 650.0},
    };
    for (const auto& c : cases) {
        std::string sql = c.sql;
        RecordsetRef rs;
        db_.CreateRecordset(rs, sql, dbOpenForwardOnly, dbReadOnly);
        EXPECT_EQ(sql, c.normalised);
        ASSERT_NE(rs, nullptr) << c.sql;
        EXPECT_EQ(db_.IsRecordsetEmpty(rs), 0) << c.sql;
        EXPECT_EQ(rs->Fields(c.field).Value(), c.first) << c.sql;
    }
    EXPECT_TRUE(reporter_.reports.empty());
}

TEST_F(DatabaseTest, FailedCreateLeavesTheEarlierRecordset) {
    open();
    RecordsetRef rs = query("select reference from tenancy order by reference");
    ASSERT_NE(rs, nullptr);
    const auto earlier = rs;

    std::string sql = "select * from no_such_table where x = true";
    db_.CreateRecordset(rs, sql, dbOpenForwardOnly, dbReadOnly);

    EXPECT_EQ(rs, earlier);
    EXPECT_EQ(rs->Fields("reference").Value(), engine::Variant("ABC")) << "still usable, still on its row";
    EXPECT_EQ(sql, "select * from no_such_table where x = -1");
    ASSERT_EQ(labels(), std::vector<std::string>{"Data Create Set"});
    EXPECT_EQ(reporter_.reports[0].error.source, engine::sqliteSource);
    EXPECT_NE(reporter_.reports[0].error.description.find("no_such_table"), std::string::npos);
    EXPECT_TRUE(messages_.texts.empty()) << "reports go to the reporter only";
}

TEST_F(DatabaseTest, FailedCreateIntoNoneStaysNone) {
    open();
    RecordsetRef rs = query("selec reference from tenancy");
    EXPECT_EQ(rs, nullptr);
    EXPECT_EQ(labels(), std::vector<std::string>{"Data Create Set"});
    EXPECT_EQ(db_.IsRecordsetEmpty(rs), -1);
    EXPECT_EQ(db_.IsEof(rs), -1);
}

TEST_F(DatabaseTest, CreateReplacesAndReleasesTheEarlierRecordset) {
    open();
    RecordsetRef rs = query("select reference from tenancy");
    const std::weak_ptr<engine::Recordset> earlier = rs;
    std::string sql = "select gl_code from glcodes";
    db_.CreateRecordset(rs, sql, dbOpenForwardOnly, dbReadOnly);
    EXPECT_TRUE(earlier.expired());
    EXPECT_EQ(rs->Fields("gl_code").Value(), engine::Variant("410"));
}

TEST_F(DatabaseTest, WithoutADatabaseCreateAndExecuteFail) {
    std::string select = "select * from tenancy where x = true";
    RecordsetRef rs;
    db_.CreateRecordset(rs, select, dbOpenForwardOnly, dbReadOnly);
    std::string update = "update rent_periods set paid = 0 where false";

    EXPECT_EQ(db_.ExecuteSql(update), 0);

    EXPECT_EQ(rs, nullptr);
    EXPECT_EQ(select, "select * from tenancy where x = -1") << "the text is normalised before the open fails";
    EXPECT_EQ(labels(),
              (std::vector<std::string>{"Data Create Set", "Execute SQL\r\nupdate rent_periods set paid = 0 where 0"}));
    for (const auto& r : reporter_.reports)
        EXPECT_EQ(r.error.number, errObjectNotSet);
    EXPECT_EQ(db_.failureCount(), 2);
}

TEST_F(DatabaseTest, TypeAndOptionsReachTheEngine) {
    open();
    RecordsetRef readOnly =
        query("select * from rent_periods where tenant_code = 'ABC'", dbOpenForwardOnly, dbReadOnly);
    db_.EditRecord(readOnly);
    ASSERT_EQ(labels(), std::vector<std::string>{"Edit Record"});
    EXPECT_EQ(reporter_.reports[0].error.number, engine::errReadOnly);

    RecordsetRef dynaset = query("select * from rent_periods where tenant_code = 'ABC' order by period_from",
                                 dbOpenDynaset, dbDenyWrite | dbDenyRead);
    db_.EditRecord(dynaset);
    EXPECT_EQ(reporter_.reports.size(), 1u) << "a dynaset can be edited";
}

// --- ExecuteSql -----------------------------------------------------------------

TEST_F(DatabaseTest, ExecuteRunsTheNormalisedStatement) {
    open();
    std::string sql = "update rent_periods set paid = 0 where tenant_code = 'O'NEIL' or true = false";
    EXPECT_EQ(db_.ExecuteSql(sql), -1);
    EXPECT_EQ(sql, "update rent_periods set paid = 0 where tenant_code = 'O''NEIL' or -1 = 0");

    std::string reset = "update rent_periods set rent_due = abs(rent_due), paid=0 where tenant_code = 'ABC'";
    EXPECT_EQ(db_.ExecuteSql(reset), -1);
    EXPECT_TRUE(reporter_.reports.empty());
    EXPECT_EQ(sample_->scalarText("select sum(paid) from rent_periods where tenant_code = 'ABC'"), "0.0");
}

TEST_F(DatabaseTest, RejectedStatementReportsOnceWithItsText) {
    open();
    std::string sql = "update rent_periods set nosuch = true where tenant_code = 'ABC'";
    EXPECT_EQ(db_.ExecuteSql(sql), 0);
    ASSERT_EQ(reporter_.reports.size(), 1u);
    EXPECT_EQ(reporter_.reports[0].label,
              "Execute SQL\r\nupdate rent_periods set nosuch = -1 where tenant_code = 'ABC'");
    EXPECT_EQ(reporter_.reports[0].error.source, engine::sqliteSource);
    EXPECT_EQ(db_.failureCount(), 1);
}

// --- IsRecordsetEmpty and IsEof --------------------------------------------------

TEST_F(DatabaseTest, EmptinessAndEndOfRows) {
    open();
    RecordsetRef none;
    EXPECT_EQ(db_.IsRecordsetEmpty(none), -1);
    EXPECT_EQ(db_.IsEof(none), -1);

    RecordsetRef noRows = query("select * from tenancy where reference = 'NOBODY'");
    EXPECT_EQ(db_.IsRecordsetEmpty(noRows), -1);
    EXPECT_EQ(db_.IsEof(noRows), -1);

    RecordsetRef oneRow =
        query("select * from tenancy where reference = 'ABC'", dbOpenDynaset, dbDenyWrite | dbDenyRead);
    EXPECT_EQ(db_.IsRecordsetEmpty(oneRow), 0);
    EXPECT_EQ(db_.IsEof(oneRow), 0);
    db_.MoveNextRecord(oneRow);
    EXPECT_EQ(db_.IsEof(oneRow), -1);
    EXPECT_EQ(db_.IsRecordsetEmpty(oneRow), 0) << "past the last row only EOF is true";

    EXPECT_TRUE(reporter_.reports.empty());
}

TEST_F(DatabaseTest, ClosedRecordsetIsEmptyWithoutAReport) {
    open();
    RecordsetRef rs = query("select * from tenancy");
    rs->Close();
    EXPECT_EQ(db_.IsRecordsetEmpty(rs), -1);
    EXPECT_TRUE(reporter_.reports.empty());
    EXPECT_EQ(db_.failureCount(), 0);
}

TEST_F(DatabaseTest, ClosedRecordsetFailsIsEof) {
    open();
    RecordsetRef rs = query("select * from tenancy");
    rs->Close();
    EXPECT_EQ(db_.IsEof(rs), 0);
    ASSERT_EQ(labels(), std::vector<std::string>{"Data EOF"});
    EXPECT_EQ(reporter_.reports[0].error.number, engine::errObjectClosed);
}

// --- CloseRecordset -------------------------------------------------------------

TEST_F(DatabaseTest, CloseRecordset) {
    open();
    RecordsetRef none;
    db_.CloseRecordset(none);
    EXPECT_EQ(none, nullptr);

    RecordsetRef rs = query("select * from tenancy");
    const auto held = rs;
    db_.CloseRecordset(rs);
    EXPECT_EQ(rs, nullptr);
    EXPECT_THROW(held->Eof(), engine::EngineError) << "the recordset itself is closed";
    EXPECT_TRUE(reporter_.reports.empty());

    // Closing again through another variable fails and keeps that variable.
    RecordsetRef again = held;
    db_.CloseRecordset(again);
    EXPECT_EQ(again, held);
    EXPECT_EQ(labels(), std::vector<std::string>{"Data Close"});
}

// --- EditRecord and MoveNextRecord ----------------------------------------------

TEST_F(DatabaseTest, EditThenUpdateWritesTheRow) {
    open();
    RecordsetRef rs = query("select * from rent_periods where tenant_code = 'ABC' order by period_from", dbOpenDynaset,
                            dbDenyWrite | dbDenyRead);
    db_.EditRecord(rs);
    rs->Fields("paid").SetValue(engine::Variant(123.5));
    rs->Update();
    db_.MoveNextRecord(rs);
    EXPECT_EQ(rs->Fields("period_from").Value().toDate().toIso(), "2025-02-01");
    EXPECT_TRUE(reporter_.reports.empty());
    EXPECT_EQ(sample_->scalarText("select paid from rent_periods where period_from = '2025-01-01'"), "123.5");
}

TEST_F(DatabaseTest, EditAndMoveFailuresAreReportedAndReturn) {
    open();
    RecordsetRef none;
    db_.EditRecord(none);
    db_.MoveNextRecord(none);

    RecordsetRef rs = query("select * from tenancy where reference = 'ABC'", dbOpenDynaset, dbDenyWrite | dbDenyRead);
    db_.MoveNextRecord(rs);
    db_.MoveNextRecord(rs); // past the end
    db_.EditRecord(rs);     // no current row

    EXPECT_EQ(labels(), (std::vector<std::string>{"Edit Record", "Move Next", "Move Next", "Edit Record"}));
    const std::int32_t numbers[] = {errObjectNotSet, errObjectNotSet, engine::errNoCurrentRecord,
                                    engine::errNoCurrentRecord};
    for (std::size_t i = 0; i < reporter_.reports.size(); ++i)
        EXPECT_EQ(reporter_.reports[i].error.number, numbers[i]) << i;
    EXPECT_EQ(reporter_.reports[0].error.description, "Object variable or With block variable not set");
    EXPECT_EQ(db_.failureCount(), 4);
}

// --- Reporter -------------------------------------------------------------------

TEST_F(DatabaseTest, SetReporterRedirectsAndFailuresAreCounted) {
    open();
    RecordingReporter deferred;
    ErrorReporter& previous = db_.setReporter(deferred);
    EXPECT_EQ(&previous, &reporter_);

    RecordsetRef none;
    db_.MoveNextRecord(none);
    EXPECT_EQ(deferred.reports.size(), 1u);
    EXPECT_TRUE(reporter_.reports.empty());

    EXPECT_EQ(&db_.setReporter(previous), &deferred);
    db_.EditRecord(none);
    EXPECT_EQ(reporter_.reports.size(), 1u);
    EXPECT_EQ(db_.failureCount(), 2);
}

struct ThrowingReporter : ErrorReporter {
    int calls = 0;
    void ReportError(const std::string&, const engine::EngineError&) override {
        ++calls;
        throw std::runtime_error("the report itself failed");
    }
};

TEST_F(DatabaseTest, WrappersNeverRaiseEvenWhenTheReportFails) {
    ThrowingReporter throwing;
    db_.setReporter(throwing);
    RecordsetRef none;
    std::string sql = "selec";
    EXPECT_NO_THROW(db_.CreateRecordset(none, sql, dbOpenForwardOnly, dbReadOnly));
    EXPECT_NO_THROW(EXPECT_EQ(db_.ExecuteSql(sql), 0));
    EXPECT_NO_THROW(db_.EditRecord(none));
    EXPECT_NO_THROW(EXPECT_EQ(db_.OpenDatabaseFile(dir_.file("nothere.mdb")), 0));
    EXPECT_EQ(throwing.calls, 4);
}

} // namespace

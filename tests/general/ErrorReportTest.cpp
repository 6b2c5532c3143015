#include "general/ErrorReport.h"

#include "database/Database.h"

#include "Recorders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

using engine::EngineError;

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(ReportText, ByteForByte) {
    const struct {
        const char* why;
        std::string label;
        EngineError error;
        std::string expected;
    } cases[] = {
        {"general error", "Data Create Set", EngineError(1, "SQLite", "no such table: tenancyx"),
         "Data Create Set\r\nGeneral Errors...\r\n\r\n1 - no such table: tenancyx\r\n\r\n"},
        {"statement in the label", "Execute SQL\r\nupdate x set a = 1", EngineError(5, "SQLite", "database is locked"),
         "Execute SQL\r\nupdate x set a = 1\r\nGeneral Errors...\r\n\r\n5 - database is locked\r\n\r\n"},
        {"negative number", "Start ADO", EngineError(-2147467259, "DBEngine", "x"),
         "Start ADO\r\nGeneral Errors...\r\n\r\n-2147467259 - x\r\n\r\n"},
        {"empty description", "Data EOF", EngineError(3704, "DBEngine", ""),
         "Data EOF\r\nGeneral Errors...\r\n\r\n3704 - \r\n\r\n"},
        {"jet source", "Data Close", EngineError(3021, "Microsoft JET Database Engine", "No current record."),
         "Data Close"},
        {"jet source compared with case", "Data Close",
         EngineError(3021, "Microsoft Jet Database Engine", "No current record."),
         "Data Close\r\nGeneral Errors...\r\n\r\n3021 - No current record.\r\n\r\n"},
        {"jet source with a blank more", "Move Next", EngineError(7, "Microsoft JET Database Engine ", "d"),
         "Move Next\r\nGeneral Errors...\r\n\r\n7 - d\r\n\r\n"},
        {"number zero", "Edit Record", EngineError(0, "SQLite", "not an error"), "Edit Record"},
        {"empty label", "", EngineError(2, "s", "d"), "\r\nGeneral Errors...\r\n\r\n2 - d\r\n\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReportText(c.label, c.error), c.expected) << c.why;
}

class ErrorReportTest : public testing::Test {
protected:
    void SetUp() override { files_.folder = dir_.path().string(); }

    std::string log(const std::string& name) const { return dir_.file(name); }

    TempDir dir_;
    RecordingMessages messages_;
    FixedClock clock_; // 7 December 2026, 14:05:09
    TestFileSystem files_;
    BritishLocale locale_;
    ErrorReport report_{messages_, clock_, files_, locale_};
};

TEST_F(ErrorReportTest, ShowsTheBoxThenAppendsTheSameText) {
    report_.ReportError("Data Create Set", EngineError(1, "SQLite", "near \"selec\": syntax error"));

    const std::string text = "Data Create Set\r\nGeneral Errors...\r\n\r\n1 - near \"selec\": syntax error\r\n\r\n";
    EXPECT_EQ(messages_.texts, std::vector<std::string>{text});
    EXPECT_EQ(readBytes(log("errDec26.log")), "07/12/26 14:05:09 " + text + "\r\n");
}

TEST_F(ErrorReportTest, LogErrorWritesTheSameEntryWithoutABox) {
    report_.LogError("Execute SQL\r\nupdate rent_periods set paid=0",
                     EngineError(8, "SQLite", "attempt to write a readonly database"));

    EXPECT_TRUE(messages_.texts.empty());
    EXPECT_EQ(readBytes(log("errDec26.log")), "07/12/26 14:05:09 Execute SQL\r\nupdate rent_periods set paid=0\r\n"
                                              "General Errors...\r\n\r\n8 - attempt to write a readonly database"
                                              "\r\n\r\n\r\n");
}

TEST_F(ErrorReportTest, JetSourceStillGivesBoxAndEntry) {
    report_.ReportError("Data Is Empty", EngineError(3021, "Microsoft JET Database Engine", "No current record."));

    EXPECT_EQ(messages_.texts, std::vector<std::string>{"Data Is Empty"});
    EXPECT_EQ(readBytes(log("errDec26.log")), "07/12/26 14:05:09 Data Is Empty\r\n");
}

TEST_F(ErrorReportTest, FileNameAndEntryPadToTwoDigits) {
    clock_.time = {2027, 3, 4, 5, 6, 7};
    EXPECT_EQ(report_.logPath(), log("errMar27.log"));
    report_.WriteErrorLog("m");
    EXPECT_EQ(readBytes(log("errMar27.log")), "04/03/27 05:06:07 m\r\n");

    clock_.time = {2000, 1, 1, 0, 0, 0};
    EXPECT_EQ(report_.logPath(), log("errJan00.log"));
    clock_.time = {2026, 12, 31, 23, 59, 59};
    report_.WriteErrorLog("late");
    EXPECT_EQ(readBytes(log("errDec26.log")), "31/12/26 23:59:59 late\r\n");
}

TEST_F(ErrorReportTest, NewMonthStartsANewFileAndLeavesTheOldOne) {
    report_.ReportError("Data EOF", EngineError(0, "", ""));
    const std::string december = readBytes(log("errDec26.log"));

    clock_.time = {2027, 1, 2, 9, 0, 0};
    report_.ReportError("Move Next", EngineError(0, "", ""));

    EXPECT_EQ(readBytes(log("errDec26.log")), december);
    EXPECT_EQ(december, "07/12/26 14:05:09 Data EOF\r\n");
    EXPECT_EQ(readBytes(log("errJan27.log")), "02/01/27 09:00:00 Move Next\r\n");
}

TEST_F(ErrorReportTest, ReportsInOneSecondKeepTheirOrder) {
    report_.ReportError("first", EngineError(0, "", ""));
    report_.ReportError("second", EngineError(4, "SQLite", "x"));
    report_.ReportError("third", EngineError(0, "", ""));

    EXPECT_EQ(readBytes(log("errDec26.log")), "07/12/26 14:05:09 first\r\n"
                                              "07/12/26 14:05:09 second\r\nGeneral Errors...\r\n\r\n4 - x\r\n\r\n\r\n"
                                              "07/12/26 14:05:09 third\r\n");
}

TEST_F(ErrorReportTest, AppendsToAnExistingFile) {
    std::ofstream(log("errDec26.log"), std::ios::binary) << "earlier\r\n";
    report_.WriteErrorLog("now");
    EXPECT_EQ(readBytes(log("errDec26.log")), "earlier\r\n07/12/26 14:05:09 now\r\n");
}

TEST_F(ErrorReportTest, EightBitBytesGoOutAsTheyAre) {
    const std::string message = std::string("caf\xe9 \xc3\xa9\t") + '\0' + "end";
    report_.WriteErrorLog(message);
    EXPECT_EQ(readBytes(log("errDec26.log")), "07/12/26 14:05:09 " + message + "\r\n");
}

// The file name uses the time read first; the entry reads the clock again.
struct SteppingClock : platform::Clock {
    std::vector<platform::LocalTime> times;
    std::size_t next = 0;
    platform::LocalTime now() override { return times[std::min(next++, times.size() - 1)]; }
};

TEST_F(ErrorReportTest, EntryTimeIsTakenAgain) {
    SteppingClock clock;
    clock.times = {{2026, 12, 31, 23, 59, 59}, {2027, 1, 1, 0, 0, 0}};
    ErrorReport report(messages_, clock, files_, locale_);
    report.WriteErrorLog("turn of the year");
    EXPECT_EQ(readBytes(log("errDec26.log")), "01/01/27 00:00:00 turn of the year\r\n");
}

TEST_F(ErrorReportTest, FolderInThePlaceOfTheFileShowsBoxOnly) {
    std::filesystem::create_directory(log("errDec26.log"));

    EXPECT_NO_THROW(report_.ReportError("Start ADO", EngineError(3024, "DBEngine", "not found")));

    EXPECT_EQ(messages_.texts.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(log("errDec26.log")));
    EXPECT_TRUE(std::filesystem::is_empty(log("errDec26.log")));
}

TEST_F(ErrorReportTest, MissingProgramFolderShowsBoxOnly) {
    files_.folder = dir_.file("gone");

    EXPECT_NO_THROW(report_.ReportError("Start ADO", EngineError(3024, "DBEngine", "not found")));

    EXPECT_EQ(messages_.texts.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("gone")));
}

TEST_F(ErrorReportTest, ReadOnlyFolderShowsBoxOnly) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser from writing";
    std::filesystem::permissions(dir_.path(), std::filesystem::perms(0555));

    EXPECT_NO_THROW(report_.ReportError("Data Close", EngineError(3704, "DBEngine", "closed")));

    std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(messages_.texts.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(log("errDec26.log")));
}

// The wrappers' failures reach the box and the log through the report; the
// file-not-found warning is a plain box and stays out of the log.
TEST_F(ErrorReportTest, MissingDatabaseFileGivesTwoBoxesAndOneEntry) {
    Database db(messages_, files_, report_);
    EXPECT_EQ(db.OpenDatabaseFile(dir_.file("property.mdb")), 0);

    ASSERT_EQ(messages_.texts.size(), 2u);
    EXPECT_EQ(messages_.texts[0], "Unable to open Habitorium database - file not found");
    const std::string& report = messages_.texts[1];
    EXPECT_EQ(report.rfind("Start ADO\r\nGeneral Errors...\r\n\r\n3024 - ", 0), 0u) << report;
    EXPECT_EQ(readBytes(log("errDec26.log")), "07/12/26 14:05:09 " + report + "\r\n");
}

} // namespace

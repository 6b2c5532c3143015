#include "general/ErrorReport.h"

#include "database/Database.h"
#include "platform/LocalSystem.h"

#include "Recorders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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
    // The user's folder takes only what the program's folder cannot.
    ErrorReport report_{messages_, clock_, files_, locale_, dir_.file("state")};
};

TEST_F(ErrorReportTest, ShowsTheBoxThenAppendsTheSameText) {
    report_.ReportError("Data Create Set", EngineError(1, "SQLite", "near \"selec\": syntax error"));

    const std::string text = "Data Create Set\r\nGeneral Errors...\r\n\r\n1 - near \"selec\": syntax error\r\n\r\n";
    EXPECT_EQ(messages_.texts, std::vector<std::string>{text});
    EXPECT_EQ(readBytes(log("errDec26.log")), "07/12/26 14:05:09 " + text + "\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir_.file("state")));
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

// A program folder without write rights (Program Files): the entry goes to
// the user's state folder, made for it, and the log's path names it there;
// once the program's folder may be written again, the entries are back in it.
TEST_F(ErrorReportTest, ReadOnlyFolderLogsToTheUsersFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser from writing";
    const std::filesystem::path program = dir_.path() / "program";
    std::filesystem::create_directory(program);
    std::filesystem::permissions(program, std::filesystem::perms(0555));
    files_.folder = program.string();
    ASSERT_EQ(::setenv("XDG_STATE_HOME", dir_.file("xdg state").c_str(), 1), 0);
    const std::string state = platform::xdgStateFolder("habitorium-rent-analysis");
    ::unsetenv("XDG_STATE_HOME");
    ASSERT_EQ(state, dir_.file("xdg state") + "/habitorium-rent-analysis");
    ErrorReport report(messages_, clock_, files_, locale_, state);

    EXPECT_NO_THROW(report.ReportError("Data Close", EngineError(3704, "DBEngine", "closed")));

    const std::string entry = "07/12/26 14:05:09 Data Close\r\nGeneral Errors...\r\n\r\n3704 - closed\r\n\r\n\r\n";
    EXPECT_EQ(messages_.texts.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(program / "errDec26.log"));
    EXPECT_EQ(readBytes(state + "/errDec26.log"), entry);
    EXPECT_EQ(report.logPath(), state + "/errDec26.log");

    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    report.WriteErrorLog("writable again");
    EXPECT_EQ(readBytes((program / "errDec26.log").string()), "07/12/26 14:05:09 writable again\r\n");
    EXPECT_EQ(readBytes(state + "/errDec26.log"), entry);
    EXPECT_EQ(report.logPath(), (program / "errDec26.log").string());
}

// Where a Linux user's state lives when the program's folder cannot take the log.
TEST(XdgStateFolder, StateHomeWhenAbsoluteElseHome) {
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const std::string keptState = savedState ? savedState : "";
    const std::string keptHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const struct {
        const char* state; // nullptr: unset
        const char* home;
        const char* expected;
    } cases[] = {
        {"/srv/state", "/home/ann", "/srv/state/app"},
        {nullptr, "/home/ann", "/home/ann/.local/state/app"},
        {"", "/home/ann/", "/home/ann/.local/state/app"},
        {"relative/state", "/home/ann", "/home/ann/.local/state/app"},
        {nullptr, "/", "/.local/state/app"},
    };
    for (const auto& c : cases) {
        if (c.state)
            ::setenv("XDG_STATE_HOME", c.state, 1);
        else
            ::unsetenv("XDG_STATE_HOME");
        ::setenv("HOME", c.home, 1);
        EXPECT_EQ(platform::xdgStateFolder("app"), c.expected) << (c.state ? c.state : "(unset)") << " " << c.home;
    }
    if (savedState)
        ::setenv("XDG_STATE_HOME", keptState.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", keptHome.c_str(), 1);
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

// The account of a "Fix All" batch on its own: what counts as repaired, when
// it stops early, and the closing text in the cases the window tests do not reach.

#include "Recorders.h"

#include "batch/BatchSummary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <functional>
#include <string>

namespace {

using engine::EngineError;

const EngineError readOnly(8, "SQLite", "attempt to write a readonly database");
const EngineError busy(5, "SQLite", "database is locked");

// A batch's summary over an error log in a folder of its own.
class BatchSummaryTest : public testing::Test {
protected:
    TempDir dir;
    RecordingMessages messages;
    FixedClock clock;
    TestFileSystem files{dir.path().string()};
    BritishLocale locale;
    ErrorReport log{messages, clock, files, locale};
};

TEST_F(BatchSummaryTest, CountsAndClosingTexts) {
    const std::string logPath = dir.file("errDec26.log");

    // Entry i is named T<i>; fail() reports an error for the tenant in hand.
    struct Case {
        const char* what;
        int tenants;
        std::function<void(BatchSummary&)> run;
        BatchSummary::End end;
        std::string expected;
        bool stops = false;
    };
    auto done = [](BatchSummary& s, int index, bool kept, const EngineError* error = nullptr) {
        s.beginTenant();
        if (error)
            s.ReportError("Execute SQL\r\nupdate rent_periods", *error);
        s.tenantDone(index, "T" + std::to_string(index), kept);
    };
    const Case cases[] = {
        {"kept repairs count once committed", 2,
         [&](BatchSummary& s) {
             done(s, 0, true);
             done(s, 1, true);
             s.groupCommitted();
         },
         BatchSummary::End::EndOfList, "Fix All repaired 2 of 2 tenants."},
        {"a group whose commit failed is not repaired", 3,
         [&](BatchSummary& s) {
             done(s, 0, true);
             s.groupCommitted();
             done(s, 1, true);
             done(s, 2, true);
             s.groupLost(busy);
         },
         BatchSummary::End::EndOfList,
         "Fix All repaired 1 of 3 tenants. 2 could not be repaired and were left exactly as they were: T1, T2. What "
         "went wrong is written in the error log " +
             logPath + "."},
        {"a repair still waiting for its commit is not counted", 1, [&](BatchSummary& s) { done(s, 0, true); },
         BatchSummary::End::EndOfList,
         "Fix All repaired 0 of 1 tenant. 1 could not be repaired and was left exactly as it was: T0. What went wrong "
         "is written in the error log " +
             logPath + "."},
        {"ten names, then the log", 14,
         [&](BatchSummary& s) {
             done(s, 0, true);
             for (int i = 1; i < 14; ++i)
                 done(s, i, false, i % 2 ? &busy : &readOnly);
             s.groupCommitted();
         },
         BatchSummary::End::EndOfList,
         "Fix All repaired 1 of 14 tenants. 13 could not be repaired and were left exactly as they were: T1, T2, T3, "
         "T4, T5, T6, T7, T8, T9, T10 and 3 more; see " +
             logPath + "."},
        {"the window closed", 5,
         [&](BatchSummary& s) {
             done(s, 0, true);
             s.groupCommitted();
         },
         BatchSummary::End::WindowClosed,
         "Fix All repaired 1 of 5 tenants. It ended before the end of the list because the window was closed: 4 "
         "tenants were not reached."},
        {"a tenant done twice counts once, as it ended last", 2,
         [&](BatchSummary& s) {
             done(s, 0, false, &busy);
             done(s, 1, true);
             done(s, 0, true);
             s.groupCommitted();
         },
         BatchSummary::End::EndOfList, "Fix All repaired 2 of 2 tenants."},
        {"the first ten failing alike stop it", 40,
         [&](BatchSummary& s) {
             for (int i = 0; i < 10; ++i)
                 done(s, i, false, &readOnly);
         },
         BatchSummary::End::Stopped,
         "Fix All stopped: the database cannot be written to (attempt to write a readonly database). No tenant was "
         "changed. The first 10 tenants all failed with this error, so the other 30 were not tried. Each failure is "
         "written in full in the error log " +
             logPath + ".",
         true},
        {"an error without plain words is quoted as it is", 11,
         [&](BatchSummary& s) {
             static const EngineError noTable(1, "SQLite", "no such table: rent_periods");
             for (int i = 0; i < 10; ++i)
                 done(s, i, false, &noTable);
         },
         BatchSummary::End::Stopped,
         "Fix All stopped: every tenant failed with the same error (no such table: rent_periods). No tenant was "
         "changed. The first 10 tenants all failed with this error, so the last one was not tried. Each failure is "
         "written in full in the error log " +
             logPath + ".",
         true},
        {"a lost connection: the group it took and the tenant in hand were not kept", 2000,
         [&](BatchSummary& s) {
             static EngineError lost(35, "ODBC", "[08S01] server closed the connection unexpectedly\r\n\tdetails");
             lost.connectionLost = true;
             done(s, 0, true);
             done(s, 1, false, &busy);
             s.groupCommitted();
             s.beginTenant();
             s.tenantDone(2, "T2", true, true); // already agreed: nothing to commit, nothing lost
             done(s, 3, true);
             done(s, 4, true);
             done(s, 5, false, &lost);
             s.groupLost(lost);
         },
         BatchSummary::End::ConnectionLost,
         "Fix All stopped: the connection to the database server was lost (server closed the connection "
         "unexpectedly). 1 tenant was repaired; 1 already agreed and was left as it was; the 2 repaired since the "
         "last commit and the tenant being repaired were left as they were; 1,994 were not tried. 1 more could not "
         "be repaired and was left exactly as it was: "
         "T1. What went wrong is written in the error log " +
             logPath + "."},
        {"a connection lost before the first tenant: none was in hand", 40,
         [&](BatchSummary& s) {
             static EngineError silent(3151, "ODBC",
                                       "[08S01] The database server did not answer for 25 seconds; the connection to "
                                       "it was closed.");
             silent.connectionLost = true;
             s.beginTenant();
             s.ReportError("Fix All", silent);
         },
         BatchSummary::End::ConnectionLost,
         "Fix All stopped: the connection to the database server was lost (The database server did not answer for 25 "
         "seconds; the connection to it was closed). 0 tenants were repaired; 40 were not tried. What went wrong is "
         "written in the error log " +
             logPath + "."},
        {"two errors among the first ten do not stop it", 12,
         [&](BatchSummary& s) {
             for (int i = 0; i < 10; ++i)
                 done(s, i, false, i == 9 ? &busy : &readOnly);
         },
         BatchSummary::End::EndOfList, ""},
        {"a refusal without an engine error does not stop it", 12,
         [&](BatchSummary& s) {
             for (int i = 0; i < 10; ++i)
                 done(s, i, false, i == 4 ? nullptr : &readOnly);
         },
         BatchSummary::End::EndOfList, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BatchSummary summary(log, c.tenants);
        c.run(summary);
        EXPECT_EQ(summary.shouldStop(), c.stops);
        if (!c.expected.empty()) {
            EXPECT_EQ(summary.text(c.end), c.expected);
        }
    }
    EXPECT_TRUE(messages.texts.empty()); // the batch's reports go to the log alone
}

TEST_F(BatchSummaryTest, TheLogHoldsTheFirstReportsInFullThenOneLineCountingTheRest) {
    {
        BatchSummary summary(log, 100);
        for (int i = 0; i < 25; ++i)
            summary.ReportError("Data Create Set", EngineError(3146, "ODBC", "failure " + std::to_string(i)));
    }
    std::ifstream in(dir.file("errDec26.log"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("failure 19"), std::string::npos);
    EXPECT_EQ(text.find("failure 20"), std::string::npos);
    EXPECT_NE(text.find("Fix All: 5 more failures were not written out; the first 20 are above."), std::string::npos)
        << text;
}

} // namespace

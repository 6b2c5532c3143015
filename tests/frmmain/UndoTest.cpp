// Undo through the real window's handlers: every repair can be put back from
// the journal, only where the tenant's rows are still as the repair left them,
// and nothing is repaired that the journal could not record. Then the History
// window as a user meets it: the list, an action's periods, Undo this action,
// the note.

#include "Programs.h"
#include "PropertyDb.h"
#include "WindowHarness.h"

#include "frmmain/frmHistory.h"
#include "journal/RepairJournal.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

namespace {

constexpr const char* nothingToUndo = "There is no repair to undo on this database.";

class Undo : public ::testing::Test {
protected:
    TempDir dir;
    PropertyDb db{dir.file("property.mdb")};
    WindowHarness h{dir.path().string()};

    void SetUp() override {
        db.addGlCode("RENT", false);
        db.addGlCode("410", true);
        // Three monthly periods of 100, February with extra charges of 20; the
        // money received does not agree with what they record.
        for (const char* tenant : {"A1", "B2", "C3", "ZZZ"}) {
            db.addTenancy(tenant);
            db.addPeriod(tenant, "2025-01-01", -100, 7, 0, 1.5);
            db.addPeriod(tenant, "2025-02-01", 100, 0, 20, 0);
            db.addPeriod(tenant, "2025-03-01", 100, 33.3333);
            db.addRevenue(tenant, "RENT", 250);
            db.addRevenue(tenant, "410", 30);
        }
        db.addCharge("B2", "2025-01-01", 12.5);
    }

    std::vector<std::string> rows() { return TableRows(db.path(), "rent_periods"); }
    frmMain& select(const std::string& reference) { return h.select(db.path(), reference); }
    std::string journalPath() { return platform::joinPath(h.user.folder, journal::RepairJournal::fileName); }
};

TEST_F(Undo, OneRepairAndThenTwoAreUndoneNewestFirst) {
    const auto original = rows();
    frmMain& form = select("A1");
    form.cmdFix_Click();
    const auto afterA1 = rows();
    ASSERT_NE(afterA1, original);

    form.mnuUndo_Click();
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0], "Undo the repair of tenant A1 of 07/12/2026 14:05?");
    EXPECT_EQ(rows(), original);
    // The window shows the figures after the undo: 7 + 0 + 33.3333 paid.
    EXPECT_EQ(form.Label7->caption(), "40.3333");

    // Two repairs, at different times: the newer is offered first. Cancel changes nothing.
    form.cmdFix_Click();
    h.clock.time.minute = 9;
    select("B2").Command1_Click();
    const auto afterBoth = rows();
    h.messages.texts.clear();
    h.messages.confirmAnswer = false;
    form.mnuUndo_Click();
    EXPECT_EQ(rows(), afterBoth);
    h.messages.confirmAnswer = true;
    form.mnuUndo_Click();
    EXPECT_EQ(rows(), afterA1);
    form.mnuUndo_Click();
    EXPECT_EQ(rows(), original);
    form.mnuUndo_Click();
    EXPECT_EQ(h.messages.texts,
              (std::vector<std::string>{"Undo the repair of tenant B2 of 07/12/2026 14:09?",
                                        "Undo the repair of tenant B2 of 07/12/2026 14:09?",
                                        "Undo the repair of tenant A1 of 07/12/2026 14:05?", nothingToUndo}));

    // What the journal says of each action, beside the user's data.
    sqlite3* journal = nullptr;
    ASSERT_EQ(sqlite3_open_v2(journalPath().c_str(), &journal, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(journal,
                                 "select group_concat(kind || ' ' || coalesce(tenant, '') || ' ' || login || ' ' || "
                                 "made_at || ' ' || (database_name = ?1) || ' ' || (undone_by is not null), '; ') "
                                 "from (select * from actions order by id)",
                                 -1, &stmt, nullptr),
              SQLITE_OK);
    sqlite3_bind_text(stmt, 1, db.path().c_str(), -1, SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))),
              "repair A1 tester 2026-12-07 14:05:09 1 1; undo A1 tester 2026-12-07 14:05:09 1 0; "
              "repair A1 tester 2026-12-07 14:05:09 1 1; rebuild B2 tester 2026-12-07 14:09:09 1 1; "
              "undo B2 tester 2026-12-07 14:09:09 1 0; undo A1 tester 2026-12-07 14:09:09 1 0");
    sqlite3_finalize(stmt);
    sqlite3_close(journal);
}

TEST_F(Undo, FixAllIsUndoneExceptWhereAnotherUserChangedTheRowsSince) {
    const auto original = rows();
    frmMain& form = select("A1");
    form.cmdFixAll_Click();
    ASSERT_EQ(h.messages.texts, std::vector<std::string>{"Fix All repaired 4 of 4 tenants."});
    h.messages.texts.clear();
    // Another connection changes two tenants after "Fix All".
    db.exec("update rent_periods set paid = paid + 1 where tenant_code = 'B2' and period_from = '2025-03-01'");
    db.exec("update rent_periods set extra_charges = 21 where tenant_code = 'zzz' and period_from = '2025-02-01'");
    auto changed = db.allPeriods();

    form.mnuUndo_Click();
    ASSERT_EQ(h.messages.texts.size(), 2u);
    EXPECT_EQ(h.messages.texts[0], "Undo Fix All of 07/12/2026 14:05 (4 tenants)? Their rental periods go back to "
                                   "what they were before it.");
    EXPECT_EQ(h.messages.texts[1],
              "2 tenants were not undone because their periods have changed since: B2, ZZZ by another user.");
    const auto now = rows();
    const auto all = db.allPeriods();
    ASSERT_EQ(now.size(), original.size());
    for (std::size_t i = 0; i < now.size(); ++i) {
        SCOPED_TRACE(all[i].tenant + " " + all[i].periodFrom);
        if (all[i].tenant == "B2" || all[i].tenant == "ZZZ") {
            EXPECT_EQ(all[i].paid, changed[i].paid);
            EXPECT_EQ(all[i].extraCharges, changed[i].extraCharges);
        } else {
            EXPECT_EQ(now[i], original[i]);
        }
    }
    form.mnuUndo_Click();
    EXPECT_EQ(h.messages.texts.back(), nothingToUndo);
}

// Any action can be undone, not only the newest: its tenants still as it left
// them go back; the others stay as they are, named with what changed them.
// The undo is an action too: undone, its tenants are repaired again, and
// Ctrl+Z goes on undoing the newest repair in force.
TEST_F(Undo, AnOlderActionIsUndoneAndTheTenantsChangedSinceAreNamed) {
    const auto original = rows();
    frmMain& form = select("A1");
    form.cmdFix_Click();
    h.clock.time.minute = 9;
    form.cmdFixAll_Click(); // B2, C3 and ZZZ: A1 agrees already
    const auto afterFixAll = rows();
    h.clock.time.minute = 12;
    select("C3").Command1_Click(); // C3's extra charges have no charges behind them
    ASSERT_NE(rows(), afterFixAll);
    db.exec("update rent_periods set paid = paid + 1 where tenant_code = 'ZZZ' and period_from = '2025-03-01'");
    auto expected = rows();
    h.messages.texts.clear();

    journal::RepairJournal journal(h.user.folder);
    const std::string database = form.database().CurrentDatabase->Name();
    auto actions = journal.Actions(database); // newest first
    ASSERT_EQ(actions.size(), 3u);
    ASSERT_EQ(actions[1].kind, journal::kindFixAll);
    EXPECT_EQ(actions[1].tenants, 3);
    ASSERT_TRUE(form.UndoAction(actions[1]));
    EXPECT_EQ(h.messages.texts, std::vector<std::string>{"2 tenants were not undone because their periods have "
                                                         "changed since: C3 by the rebuild of 07/12/2026 14:12 "
                                                         "(tester); ZZZ by another user."});
    for (std::size_t row = 3; row < 6; ++row)
        expected[row] = original[row]; // B2
    EXPECT_EQ(rows(), expected);

    h.messages.texts.clear();
    form.mnuUndo_Click();
    EXPECT_EQ(h.messages.texts, std::vector<std::string>{"Undo the repair of tenant C3 of 07/12/2026 14:12?"});
    for (std::size_t row = 6; row < 9; ++row)
        expected[row] = afterFixAll[row];
    EXPECT_EQ(rows(), expected);

    // The undo of Fix All undone: B2 as Fix All left it, and Fix All in force again.
    actions = journal.Actions(database);
    ASSERT_EQ(actions.size(), 5u);
    ASSERT_EQ(actions[1].kind, journal::kindUndo);
    EXPECT_EQ(actions[1].undoes, actions[3].id);
    EXPECT_EQ(actions[3].undoneBy, actions[1].id);
    ASSERT_TRUE(form.UndoAction(actions[1]));
    for (std::size_t row = 3; row < 6; ++row)
        expected[row] = afterFixAll[row];
    EXPECT_EQ(rows(), expected);
    actions = journal.Actions(database);
    ASSERT_EQ(actions.size(), 6u);
    EXPECT_EQ(actions[2].undoneBy, actions[0].id);
    EXPECT_EQ(actions[4].undoneBy, 0);
    h.messages.texts.clear();
    h.messages.confirmAnswer = false;
    form.mnuUndo_Click();
    EXPECT_EQ(h.messages.texts, std::vector<std::string>{"Undo Fix All of 07/12/2026 14:09 (3 tenants)? Their rental "
                                                         "periods go back to what they were before it."});
}

TEST_F(Undo, ATenantRepairedTwiceInOneFixAllGoesBackToWhereItStarted) {
    const auto original = rows();
    frmMain& form = select("A1");
    bool jumped = false;
    h.program.whileEventsRun = [&] {
        if (!std::exchange(jumped, true))
            form.SetListIndex(0); // the user goes back to A1 while the batch runs
    };
    form.cmdFixAll_Click();
    h.messages.texts.clear(); // the summary
    form.mnuUndo_Click();
    ASSERT_EQ(h.messages.texts.size(), 1u) << h.messages.texts.back();
    // The second repair of A1 found it as the first left it: nothing to record.
    EXPECT_EQ(h.messages.texts[0], "Undo Fix All of 07/12/2026 14:05 (4 tenants)? Their rental periods go back to "
                                   "what they were before it.");
    EXPECT_EQ(rows(), original);
}

TEST_F(Undo, NothingIsRepairedThatTheJournalCouldNotRecord) {
    frmMain& form = select("ZZZ");
    form.cmdFix_Click();
    const auto afterZZZ = rows();
    // The journal fails for C3 as a full disk does.
    sqlite3* journal = nullptr;
    ASSERT_EQ(sqlite3_open(journalPath().c_str(), &journal), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(journal,
                           "create trigger full before insert on tenants when new.tenant = 'C3' begin "
                           "select raise(fail, 'database or disk is full'); end",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(journal);

    form.cmdFixAll_Click();
    // C3 and ZZZ as they were; B2, in C3's group, lost its record with C3's.
    const auto afterFixAll = rows();
    for (std::size_t row = 6; row < afterZZZ.size(); ++row)
        EXPECT_EQ(afterFixAll[row], afterZZZ[row]) << row;
    // One box: the batch's summary, and why it stopped.
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0].rfind("Fix All repaired ", 0), 0u) << h.messages.texts[0];
    const std::string why = " It ended before the end of the list because the repair journal could not be written: "
                            "1 tenant was not reached. The repair journal cannot be written in the folder \"" +
                            h.user.folder +
                            "\" (database or disk is full), so the repairs it could not record were not kept; the "
                            "others can be undone.";
    ASSERT_GE(h.messages.texts[0].size(), why.size());
    EXPECT_EQ(h.messages.texts[0].substr(h.messages.texts[0].size() - why.size()), why);
    EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
    EXPECT_FALSE(form.batchRunning());

    // A single repair that the journal cannot take is rolled back.
    h.messages.texts.clear();
    select("C3").cmdFix_Click();
    EXPECT_EQ(rows(), afterFixAll);
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_NE(h.messages.texts[0].find("so the repair was not made. Nothing was changed."), std::string::npos);

    // Every repair that was kept has its way back: the undo of "Fix All"
    // leaves the rows exactly as before it; then the repair before it is next.
    h.messages.texts.clear();
    form.mnuUndo_Click();
    EXPECT_EQ(h.messages.texts.at(0).rfind("Undo Fix All of 07/12/2026 14:05 (", 0), 0u) << h.messages.texts.at(0);
    EXPECT_EQ(rows(), afterZZZ);
    form.mnuUndo_Click();
    EXPECT_EQ(h.messages.texts.back(), "Undo the repair of tenant ZZZ of 07/12/2026 14:05?");
}

// Selects the row alone, as a click on it does.
void pick(QTreeWidget* list, int row) {
    list->setCurrentItem(list->topLevelItem(row), 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::vector<std::vector<std::string>> listed(QTreeWidget* list) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        std::vector<std::string> cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells.push_back(list->topLevelItem(i)->text(c).toStdString());
        rows.push_back(cells);
    }
    return rows;
}

// The window's History, opened by its key: every action newest first, the
// periods of the one selected, and Undo this action for any of them: an undo
// undone repairs again except a tenant a later action changed, which is named;
// an older repair undone while later actions changed other tenants.
TEST_F(Undo, TheHistoryWindowListsEveryActionAndUndoesAnyOfThem) {
    const auto original = rows();
    frmMain& form = select("A1");
    form.cmdFix_Click();
    h.clock.time.minute = 9;
    form.cmdFixAll_Click(); // B2, C3 and ZZZ
    const auto afterFixAll = rows();
    h.clock.time.minute = 12;
    form.mnuUndo_Click(); // Fix All
    h.clock.time.minute = 15;
    select("B2").Command1_Click(); // its charge of 12.5 goes into January
    const auto afterRebuild = rows();
    h.messages.texts.clear();

    h.window->findChild<QAction*>("mnuHistory")->trigger();
    auto* actions = h.window->findChild<QTreeWidget*>("lstActions");
    auto* periods = h.window->findChild<QTreeWidget*>("lstPeriods");
    ASSERT_TRUE(actions && periods);
    EXPECT_TRUE(actions->window()->isVisible());
    EXPECT_EQ(actions->window()->windowTitle(), "History - Habitorium Rent Analysis");
    EXPECT_EQ(actions->window()->findChild<QLabel*>("lblReach")->text(),
              "The repair journal reaches back to 07/12/2026 14:05: 4 actions on this database. It keeps the last 200 "
              "actions (fewer when they would take more than 256 MB); older ones are no longer kept.");
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(listed(actions),
              (Rows{{"07/12/2026 14:15", "tester", "Rebuild of B2", "1", "3", "", ""},
                    {"07/12/2026 14:12", "tester", "Undo of Fix All of 07/12/2026 14:09 (tester)", "3", "9", "", ""},
                    {"07/12/2026 14:09", "tester", "Fix All", "3", "9", "07/12/2026 14:12", ""},
                    {"07/12/2026 14:05", "tester", "Repair of A1", "1", "3", "", ""}}));
    // The repair of A1: its three periods, the amounts it changed named.
    pick(actions, 3);
    EXPECT_EQ(listed(periods), (Rows{{"A1", "01/01/2025", "-100.00", "100.00", "7.00", "100.00", "0.00", "0.00", "1.50",
                                      "0.00", "rent due, paid, extra charges paid"},
                                     {"A1", "01/02/2025", "100.00", "100.00", "0.00", "100.00", "20.00", "20.00",
                                      "0.00", "20.00", "paid, extra charges paid"},
                                     {"A1", "01/03/2025", "100.00", "100.00", "33.33", "60.00", "0.00", "0.00", "0.00",
                                      "0.00", "paid"}}));
    auto* undo = actions->window()->findChild<QPushButton*>("cmdUndoAction");
    ASSERT_NE(undo, nullptr);
    pick(actions, 2);
    EXPECT_FALSE(undo->isEnabled()) << "Fix All is undone already";

    // The undo of Fix All, undone: C3 and ZZZ as Fix All left them; B2, which
    // the rebuild changed since, as the rebuild left it.
    h.clock.time.minute = 18;
    pick(actions, 1);
    ASSERT_TRUE(undo->isEnabled());
    undo->click();
    EXPECT_EQ(h.messages.texts,
              (std::vector<std::string>{"Undo the undo of 07/12/2026 14:12 (3 tenants)? Their rental periods go back "
                                        "to what they were before it.",
                                        "1 tenant was not undone because its periods have changed since: B2 by the "
                                        "rebuild of 07/12/2026 14:15 (tester)."}));
    auto expected = afterRebuild;
    for (std::size_t row = 6; row < 12; ++row)
        expected[row] = afterFixAll[row];
    EXPECT_EQ(rows(), expected);
    // Listed again at once: the undo's own row, and Fix All in force again.
    ASSERT_EQ(actions->topLevelItemCount(), 5);
    EXPECT_EQ(listed(actions)[0],
              (std::vector<std::string>{"07/12/2026 14:18", "tester", "Undo of the undo of 07/12/2026 14:12 (tester)",
                                        "2", "6", "", ""}));
    EXPECT_EQ(listed(actions)[2][frmHistory::actUndone], "07/12/2026 14:18");
    EXPECT_EQ(listed(actions)[3][frmHistory::actUndone], "");

    // The oldest, while later actions changed the other tenants.
    h.messages.texts.clear();
    pick(actions, 4);
    undo->click();
    EXPECT_EQ(h.messages.texts, std::vector<std::string>{"Undo the repair of tenant A1 of 07/12/2026 14:05?"});
    for (std::size_t row = 0; row < 3; ++row)
        expected[row] = original[row];
    EXPECT_EQ(rows(), expected);
    EXPECT_EQ(listed(actions)[5][frmHistory::actUndone], "07/12/2026 14:18");
}

// A note typed for an action is kept in the journal: it is there when the tool
// starts again, in the list and in the file Save as CSV... writes.
TEST_F(Undo, TheNoteOfAnActionIsKeptAcrossARestart) {
    select("A1").cmdFix_Click();
    qobject_cast<QPushButton*>(h.window->control("cmdHistory"))->click();
    auto* note = h.window->findChild<QLineEdit*>("txtNote");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), "");
    note->setText("Asked by the landlord, \"end of year\"");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(note, &enter);
    EXPECT_EQ(h.window->findChild<QTreeWidget*>("lstActions")->topLevelItem(0)->text(frmHistory::actNote),
              "Asked by the landlord, \"end of year\"");

    h.window.reset();
    h.form = nullptr;
    h.open(db.path());
    EXPECT_EQ(h.window->findChild<QTreeWidget*>("lstActions"), nullptr);
    h.window->findChild<QAction*>("mnuHistory")->trigger();
    auto* actions = h.window->findChild<QTreeWidget*>("lstActions");
    ASSERT_NE(actions, nullptr);
    ASSERT_EQ(actions->topLevelItemCount(), 1);
    EXPECT_EQ(actions->topLevelItem(0)->text(frmHistory::actNote), "Asked by the landlord, \"end of year\"");
    EXPECT_EQ(h.window->findChild<QLineEdit*>("txtNote")->text(), "Asked by the landlord, \"end of year\"");

    h.fileDialog.path = dir.file("history.csv");
    h.window->findChild<QPushButton*>("cmdSaveCsv")->click();
    EXPECT_EQ(h.fileDialog.suggested, std::vector<std::string>{"repair-history-2026-12-07.csv"});
    std::ifstream in(h.fileDialog.path, std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFwhen,who,what,note,tenant,period_from,", 0), 0u) << csv.substr(0, 60);
    EXPECT_NE(csv.find("\r\n2026-12-07 14:05:09,tester,Repair,\"Asked by the landlord, \"\"end of year\"\"\",A1,"
                       "2025-01-01,-100,7,0,1.5,100,100,0,0\r\n"),
              std::string::npos)
        << csv;
    EXPECT_TRUE(h.messages.texts.empty()) << h.messages.texts.front();
}

TEST(UndoOnSample, FixAllThenUndoPutsEveryRowBackExactly) {
    TempDir dir;
    const std::string path = dir.file("property.mdb");
    const std::string generate = ProgramCommand(HABITORIUM_SAMPLE_DB) + " \"" + path + "\" --tenants 60 >/dev/null";
    ASSERT_EQ(std::system(generate.c_str()), 0) << generate;
    const auto original = TableRows(path, "rent_periods");

    WindowHarness h(dir.path().string());
    frmMain& form = h.open(path);
    form.cmdFixAll_Click();
    const auto repaired = TableRows(path, "rent_periods");
    ASSERT_EQ(repaired.size(), original.size());
    std::size_t rewritten = 0;
    for (std::size_t i = 0; i < original.size(); ++i)
        rewritten += repaired[i] != original[i];
    EXPECT_GT(rewritten, 0u);
    // A second Fix All finds every tenant agreeing: it writes nothing, and
    // leaves nothing to undo in place of the first.
    form.cmdFixAll_Click();
    EXPECT_EQ(TableRows(path, "rent_periods"), repaired);
    EXPECT_EQ(h.messages.texts.back(),
              "Fix All repaired 0 of 60 tenants; 60 already agreed and were left as they were.");

    const std::size_t boxes = h.messages.texts.size(); // the sample's bad tenancies report themselves
    form.mnuUndo_Click();
    ASSERT_GT(h.messages.texts.size(), boxes);
    EXPECT_EQ(h.messages.texts[boxes].rfind("Undo Fix All of 07/12/2026 14:05 (", 0), 0u) << h.messages.texts[boxes];
    EXPECT_EQ(TableRows(path, "rent_periods"), original);
    EXPECT_EQ(h.messages.texts.size(), boxes + 1);
    form.mnuUndo_Click();
    EXPECT_EQ(h.messages.texts.back(), nothingToUndo);
}

} // namespace

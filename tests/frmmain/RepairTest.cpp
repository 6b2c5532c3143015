// The repairs, through the real window's handlers on small databases: the
// rows of rent_periods afterwards, and that no other tenant's rows changed.

#include "PropertyDb.h"
#include "WindowHarness.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <utility>

namespace {

struct Expected {
    double paid;
    double extraChargesPaid;
    double rentDue = NAN; // unchecked unless given
    double extraCharges = NAN;
};

class Repair : public ::testing::Test {
protected:
    TempDir dir;
    PropertyDb db{dir.file("property.mdb")};
    WindowHarness h{dir.path().string()};

    void SetUp() override {
        db.addGlCode("RENT", false);
        db.addGlCode("410", true);
        db.addGlCode("420", true);
        // A neighbour whose rows must never change.
        db.addTenancy("ZZZ");
        db.addPeriod("ZZZ", "2025-01-01", 100, 13, 5, 1);
        db.addRevenue("ZZZ", "RENT", 1000);
    }

    frmMain& select(const std::string& reference) { return h.select(db.path(), reference); }

    void expectPeriods(const std::string& tenant, const std::vector<Expected>& expected) {
        auto rows = db.periods(tenant);
        ASSERT_EQ(rows.size(), expected.size()) << tenant;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(tenant + " " + rows[i].periodFrom);
            EXPECT_NEAR(rows[i].paid, expected[i].paid, 0.00005);
            EXPECT_NEAR(rows[i].extraChargesPaid, expected[i].extraChargesPaid, 0.00005);
            if (!std::isnan(expected[i].rentDue)) {
                EXPECT_NEAR(rows[i].rentDue, expected[i].rentDue, 0.00005);
            }
            if (!std::isnan(expected[i].extraCharges)) {
                EXPECT_NEAR(rows[i].extraCharges, expected[i].extraCharges, 0.00005);
            }
        }
    }

    void expectNeighbourUntouched() { expectPeriods("ZZZ", {{13, 1, 100, 5}}); }

    // Three monthly periods of 100, February with extra charges of 20.
    void workedExampleTenant(const std::string& tenant) {
        db.addTenancy(tenant);
        db.addPeriod(tenant, "2025-01-01", 100, 0);
        db.addPeriod(tenant, "2025-02-01", 100, 0, 20, 0);
        db.addPeriod(tenant, "2025-03-01", 100, 0);
    }
};

TEST_F(Repair, WorkedExample) {
    workedExampleTenant("A1");
    db.addRevenue("A1", "RENT", 250);
    db.addRevenue("A1", "410", 30);
    frmMain& form = select("A1");
    ASSERT_EQ(form.Label6->caption(), "250");
    ASSERT_EQ(form.Label20->caption(), "30");
    form.cmdFix_Click();
    expectPeriods("A1", {{100, 0}, {100, 20}, {60, 0}});
    expectNeighbourUntouched();
    // The window shows the repaired totals.
    EXPECT_EQ(form.Label7->caption(), "260");
    EXPECT_EQ(form.Label19->caption(), "20");
    EXPECT_EQ(form.Label14->caption(), "40");
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(Repair, AllocationRules) {
    struct Case {
        const char* name;
        std::vector<PeriodRow> periods;
        double rentIncome;
        double extraIncome;
        std::vector<Expected> expected;
    };
    const std::vector<Case> cases = {
        {"an amount equal to the due stops the rent pass",
         {{"T", "2025-01-01", 100, 7, 0, 0}, {"T", "2025-02-01", 100, 7, 10, 3}},
         100,
         4,
         {{100, 0}, {0, 4}}},
        {"a negative income goes whole to the earliest period",
         {{"T", "2025-01-01", 100, 50}, {"T", "2025-02-01", 100, 50}},
         -40,
         0,
         {{-40, 0}, {0, 0}}},
        {"no income leaves every period unpaid",
         {{"T", "2025-01-01", 100, 50, 5, 5}, {"T", "2025-02-01", 100, 50}},
         0,
         0,
         {{0, 0}, {0, 0}}},
        {"a period with nothing due takes nothing",
         {{"T", "2025-01-01", 0, 9}, {"T", "2025-02-01", 100, 0}},
         60,
         0,
         {{0, 0}, {60, 0}}},
        {"a negative rent due is made positive first",
         {{"T", "2025-01-01", -100, 0}, {"T", "2025-02-01", 100, 0}},
         150,
         0,
         {{100, 0, 100}, {50, 0, 100}}},
        {"negative extra charges are paid as they stand and give money back",
         {{"T", "2025-01-01", 100, 0, -10, 0}, {"T", "2025-02-01", 100, 0, 30, 0}},
         200,
         20,
         {{100, -10}, {100, 30}}},
        {"a surplus is rent paid on the latest period",
         {{"T", "2025-03-01", 100, 0, 10, 0}, {"T", "2025-01-01", 100, 0}, {"T", "2025-02-01", 100, 0}},
         320,
         15,
         {{100, 0}, {100, 0}, {125, 10}}},
        {"without extra charges the rest goes to the latest period",
         {{"T", "2025-01-01", 100, 0}, {"T", "2025-02-01", 100, 0}},
         150,
         25,
         {{100, 0}, {75, 0}}},
        {"amounts keep four decimal places",
         {{"T", "2025-01-01", 33.3333, 0}, {"T", "2025-02-01", 33.3333, 0}},
         50.12,
         0,
         {{33.3333, 0}, {16.7867, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseDir;
        PropertyDb caseDb(caseDir.file("property.mdb"));
        caseDb.addGlCode("410", true);
        caseDb.addTenancy("T");
        for (const PeriodRow& p : c.periods)
            caseDb.addPeriod(p);
        if (c.rentIncome != 0)
            caseDb.addRevenue("T", "RENT", c.rentIncome);
        if (c.extraIncome != 0)
            caseDb.addRevenue("T", "410", c.extraIncome);
        WindowHarness caseWindow(caseDir.path().string());
        frmMain& form = caseWindow.open(caseDb.path());
        form.SetListIndex(0);
        form.cmdFix_Click();
        auto rows = caseDb.periods("T");
        ASSERT_EQ(rows.size(), c.expected.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(rows[i].periodFrom);
            EXPECT_NEAR(rows[i].paid, c.expected[i].paid, 0.00005);
            EXPECT_NEAR(rows[i].extraChargesPaid, c.expected[i].extraChargesPaid, 0.00005);
            if (!std::isnan(c.expected[i].rentDue)) {
                EXPECT_NEAR(rows[i].rentDue, c.expected[i].rentDue, 0.00005);
            }
        }
        EXPECT_TRUE(caseWindow.messages.texts.empty());
    }
}

TEST_F(Repair, ATenantWithoutPeriodsWritesNothing) {
    db.addTenancy("A1");
    db.addRevenue("A1", "RENT", 100);
    frmMain& form = select("A1");
    form.cmdFix_Click();
    expectNeighbourUntouched();
    EXPECT_EQ(form.Label6->caption(), "100");
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(Repair, NoTenantSelectedWritesNothingAndSaysSo) {
    db.addTenancy("A1");
    h.open(db.path());
    h.form->cmdFix_Click();
    expectNeighbourUntouched();
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0], "No tenant is selected. Nothing was changed.");
}

TEST_F(Repair, ReferencesThatLookLikeSqlTouchOnlyTheirOwnRows) {
    for (const std::string tenant : {"O'NEIL", "X' or '1'='1", "O''BRIEN", "ZZZ' or tenant_code <> '"}) {
        SCOPED_TRACE(tenant);
        workedExampleTenant(tenant);
        db.addRevenue(tenant, "RENT", 250);
        db.addRevenue(tenant, "410", 30);
        frmMain& form = select(tenant);
        form.cmdFix_Click();
        expectPeriods(tenant, {{100, 0}, {100, 20}, {60, 0}});
        expectNeighbourUntouched();
        // Without period charges the 20 of extra charges go; the 30 lands on the latest period.
        form.Command1_Click();
        expectPeriods(tenant, {{100, 0}, {100, 0, 100, 0}, {80, 0}});
        expectNeighbourUntouched();
        EXPECT_TRUE(h.messages.texts.empty()) << h.messages.texts.front();
    }
}

TEST_F(Repair, StaleFiguresAreNeverWritten) {
    workedExampleTenant("A1");
    workedExampleTenant("B2");
    db.addRevenue("A1", "RENT", 250);
    frmMain& form = select("A1");
    // The income statement fails for B2, so the captions still hold A1's money.
    db.exec("alter table revenues rename to revenues_gone");
    select("B2");
    ASSERT_EQ(form.Label6->caption(), ""); // never A1's figure beside B2
    h.messages.texts.clear();
    auto before = db.allPeriods();
    form.cmdFix_Click();
    form.Command1_Click();
    auto after = db.allPeriods();
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i].paid, before[i].paid);
    ASSERT_GE(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0], "The income totals shown were not worked out for tenant B2, so they cannot be "
                                   "allocated. Select the tenant again. Nothing was changed.");
}

TEST_F(Repair, AnAmountOutsideTheCurrencyRangeIsRefused) {
    workedExampleTenant("A1");
    db.addRevenue("A1", "RENT", 1e300);
    frmMain& form = select("A1");
    auto before = db.periods("A1");
    form.cmdFix_Click();
    // The analysis cannot add it up as money and says so; the repair then
    // refuses to allocate figures it was not given.
    ASSERT_EQ(h.messages.texts.size(), 2u);
    EXPECT_EQ(h.messages.texts[0].rfind("Data Create Set", 0), 0u) << h.messages.texts[0];
    EXPECT_NE(h.messages.texts[0].find("sum(amount) met the value 1E+300, which is outside the range of currency"),
              std::string::npos)
        << h.messages.texts[0];
    EXPECT_NE(h.messages.texts[1].find("not worked out for tenant A1"), std::string::npos);
    auto after = db.periods("A1");
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i].rentDue, before[i].rentDue);
}

TEST_F(Repair, MoneyRecordedSinceTheFiguresWereShownIsNotAllocatedBlind) {
    workedExampleTenant("A1");
    db.addRevenue("A1", "RENT", 1250);
    frmMain& form = select("A1");
    const auto before = db.allPeriods();
    db.addRevenue("A1", "RENT", 625); // another user records a payment
    form.cmdFix_Click();
    EXPECT_EQ(h.messages.texts, std::vector<std::string>{"The money received by tenant A1 has changed since it was "
                                                         "shown: rent 1,250 is now 1,875. The window shows the new "
                                                         "figures; press Fix this value again to allocate them. "
                                                         "Nothing was changed."});
    const auto after = db.allPeriods();
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i].paid, before[i].paid);
    EXPECT_EQ(form.Label6->caption(), "1875");
    // Pressed again, the new figures are allocated.
    form.cmdFix_Click();
    EXPECT_EQ(form.Label7->caption(), "1855"); // 20 of it went to the extra charges
}

TEST_F(Repair, AnotherUsersLockLeavesTheRowsAsTheyWereAfterOneReport) {
    workedExampleTenant("A1");
    db.exec("update rent_periods set paid = 33, rent_due = -100 where tenant_code = 'A1'");
    db.addRevenue("A1", "RENT", 250);
    frmMain& form = select("A1");
    form.database().CurrentDatabase->SetBusyTimeout(100);
    auto before = db.allPeriods();

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(other, "begin immediate; update options set company_name = 'busy'", nullptr, nullptr, nullptr),
        SQLITE_OK);
    form.cmdFix_Click();
    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0].rfind("Fix this value\r\nGeneral Errors...\r\n\r\n5 - database is locked", 0), 0u)
        << h.messages.texts[0];
    auto after = db.allPeriods();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].paid, before[i].paid);
        EXPECT_EQ(after[i].rentDue, before[i].rentDue);
    }
    // The window was refreshed and shows the unchanged figures; a retry works.
    EXPECT_EQ(form.Label7->caption(), "99");
    form.cmdFix_Click();
    expectPeriods("A1", {{100, 0, 100}, {100, 0, 100}, {50, 0, 100}});
}

TEST_F(Repair, ACommitThatAnotherReaderBlocksLeavesTheRowsAsTheyWere) {
    workedExampleTenant("A1");
    db.addRevenue("A1", "RENT", 250);
    frmMain& form = select("A1");
    form.database().CurrentDatabase->SetBusyTimeout(100);
    auto before = db.allPeriods();

    // Another user in the middle of reading: the repair may write, but not commit.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "begin; select count(*) from rent_periods", nullptr, nullptr, nullptr), SQLITE_OK);
    form.cmdFix_Click();
    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0].rfind("Commit Repair", 0), 0u) << h.messages.texts[0];
    EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
    auto after = db.allPeriods();
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i].paid, before[i].paid);
    // The journal does not keep a repair that was not kept.
    form.mnuUndo_Click();
    EXPECT_EQ(h.messages.texts.back(), "There is no repair to undo on this database.");
}

TEST_F(Repair, AFailureAfterTheResetRollsTheTenantBack) {
    workedExampleTenant("A1");
    db.exec("update rent_periods set paid = 33, rent_due = -100 where tenant_code = 'A1'");
    db.addRevenue("A1", "RENT", 250);
    // The second row written by the rent pass fails, after the reset and one row.
    db.exec("create trigger injected before update of paid on rent_periods when new.paid > 0 and "
            "(select count(*) from rent_periods where paid > 0 and tenant_code = 'A1') >= 1 "
            "begin select raise(abort, 'injected failure'); end");
    frmMain& form = select("A1");
    auto before = db.allPeriods();
    form.cmdFix_Click();
    auto after = db.allPeriods();
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].paid, before[i].paid);
        EXPECT_EQ(after[i].rentDue, before[i].rentDue);
    }
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_NE(h.messages.texts[0].find("injected failure"), std::string::npos) << h.messages.texts[0];
    EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
}

TEST_F(Repair, RebuildOfExtraCharges) {
    db.addTenancy("A1");
    db.addPeriod("A1", "2025-01-01", 100, 0, 99, 0);
    db.addPeriod("A1", "2025-02-01", 100, 0, 99, 0);
    db.addPeriod("A1", "2025-03-01", 100, 0, 0, 0);
    db.addCharge("A1", "2025-01-01", 12.5);
    db.addCharge("A1", "2025-01-01", 7.25);
    db.addCharge("A1", "2025-03-01", -3);
    db.addCharge("A1", "2025-04-01", 50); // no such period: changes nothing
    db.addCharge("ZZZ", "2025-01-01", 1000);
    db.addRevenue("A1", "RENT", 300);
    db.addRevenue("A1", "410", 30);
    frmMain& form = select("A1");
    form.Command1_Click();
    expectPeriods("A1", {{100, 19.75, 100, 19.75}, {100, 0, 100, 0}, {113.25, -3, 100, -3}});
    expectNeighbourUntouched();
    EXPECT_EQ(form.Combo1->text(), "A1");
    EXPECT_EQ(form.Label22->caption(), "16.75");
    EXPECT_EQ(form.Label19->caption(), "16.75");
    EXPECT_TRUE(h.messages.texts.empty());
}

// Amounts that binary floating point cannot hold come out as exact money:
// the charges add up to their sum, and the rent paid to the rent received.
TEST_F(Repair, InexactAmountsComeOutExact) {
    db.addTenancy("A1");
    for (int month = 1; month <= 12; ++month)
        db.addPeriod("A1", "2025-" + std::string(month < 10 ? "0" : "") + std::to_string(month) + "-01", 433.33);
    db.exec("begin");
    for (int i = 0; i < 200; ++i) {
        db.addCharge("A1", "2025-01-01", 0.1);
        db.addCharge("A1", "2025-01-01", 0.29);
        db.addCharge("A1", "2025-02-01", 20.2);
        db.addRevenue("A1", "RENT", 20.2 + (i % 3 == 0 ? 0.01 : 0));
    }
    db.exec("commit");
    frmMain& form = select("A1");
    ASSERT_EQ(form.Label6->caption(), "4040.67");
    form.Command1_Click();
    const auto periods = db.periods("A1");
    EXPECT_EQ(periods[0].extraCharges, 78);
    EXPECT_EQ(periods[1].extraCharges, 4040);
    EXPECT_EQ(form.Label22->caption(), "4118");
    // Nothing but rent was received, and less than is due: all of it is rent paid.
    EXPECT_EQ(form.Label7->caption(), form.Label6->caption());
    EXPECT_EQ(form.Label19->caption(), "0");
    EXPECT_EQ(form.Label14->caption(), "5277.29");
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(Repair, RebuildWithoutChargesClearsTheExtraCharges) {
    workedExampleTenant("A1");
    db.addRevenue("A1", "410", 30);
    frmMain& form = select("A1");
    form.Command1_Click();
    expectPeriods("A1", {{0, 0, 100, 0}, {0, 0, 100, 0}, {30, 0, 100, 0}});
}

TEST_F(Repair, ChargesWithoutAnAmountOrADateAreLeftOutWithAWordAndTheOthersAdded) {
    db.addTenancy("A1");
    db.addPeriod("A1", "2025-01-01", 100, 0, 99, 0);
    db.addPeriod("A1", "2025-02-01", 100, 0, 99, 0);
    db.addPeriod("A1", "2025-03-01", 100, 0, 99, 0);
    db.exec("insert into rent_periods_charges (tenantcode, period_from, value) values "
            "('A1', '2025-01-01', null), ('A1', '2025-02-30', 10), ('A1', '2025-02-01', 20), "
            "('A1', '2025-03-01', 'abc'), ('A1', '', 40), ('A1', '2025-01-01', 5)");
    db.addRevenue("A1", "RENT", 300);
    db.addRevenue("A1", "410", 25);
    frmMain& form = select("A1");
    form.Command1_Click();
    // One word for each, in the order the charges are read (which is not fixed);
    // and the analysis, before and after, cannot add up charges of which one
    // is not an amount of money, and says so rather than count it as 0.
    std::vector<std::string> said = h.messages.texts;
    std::sort(said.begin(), said.end());
    const std::string notMoney = "Data Create Set\r\nGeneral Errors...\r\n\r\n13 - Type mismatch: sum(value) met the "
                                 "value 'abc', which is not an amount of money.\r\n\r\n";
    EXPECT_EQ(said, (std::vector<std::string>{
                        "A charge of tenant A1 for the period from 01/01/2025 has no amount; it was left out.",
                        "A charge of tenant A1 for the period from 01/03/2025 has an amount that is not a number: "
                        "abc; it was left out.",
                        "A charge of tenant A1 has a period_from that is not a date: 2025-02-30; it was left out.",
                        "A charge of tenant A1 has no period_from date; it was left out.",
                        notMoney,
                        notMoney,
                    }));
    // The other charges are added and the tenant reallocated, in one go.
    expectPeriods("A1", {{100, 5, 100, 5}, {100, 20, 100, 20}, {100, 0, 100, 0}});
    expectNeighbourUntouched();
    EXPECT_EQ(form.Label22->caption(), "25");
    EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
}

class FixAll : public Repair {
protected:
    void SetUp() override {
        Repair::SetUp();
        for (const char* tenant : {"A1", "B2", "C3"}) {
            workedExampleTenant(tenant);
            db.addRevenue(tenant, "RENT", 250);
            db.addRevenue(tenant, "410", 30);
        }
    }
    std::string logPath() const { return dir.file("errDec26.log"); }
    std::string logText() const {
        std::ifstream in(logPath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::size_t occurrences(const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }
};

TEST_F(FixAll, ReallocatesEveryEntryTheLastIncluded) {
    frmMain& form = select("A1");
    std::vector<std::string> titles;
    // While the window's events run, the tool holds no lock: another user
    // writes at once, without waiting.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.path().c_str(), &other), SQLITE_OK);
    std::vector<int> otherWrites;
    h.program.whileEventsRun = [&] {
        titles.push_back(form.Me->caption());
        EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
        otherWrites.push_back(sqlite3_exec(other, "begin immediate; update options set company_name = 'x'; commit",
                                           nullptr, nullptr, nullptr));
    };
    form.cmdFixAll_Click();
    sqlite3_close(other);
    EXPECT_EQ(otherWrites, std::vector<int>(1, SQLITE_OK));
    for (const char* tenant : {"A1", "B2", "C3"})
        expectPeriods(tenant, {{100, 0}, {100, 20}, {60, 0}});
    // ZZZ is the last entry: 1000 of rent over one period of 100 and 5 of extra charges.
    expectPeriods("ZZZ", {{995, 5, 100, 5}});
    EXPECT_EQ(form.Combo1->text(), "ZZZ");
    EXPECT_EQ(h.window->windowTitle(), "Habitorium Rent Analysis");
    EXPECT_FALSE(form.batchRunning());
    EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
    EXPECT_EQ(titles.front(), "Fix All: A1 (1 of 4) - Habitorium Rent Analysis");
    EXPECT_EQ(h.messages.texts, std::vector<std::string>{"Fix All repaired 4 of 4 tenants."});
}

TEST_F(FixAll, MoneyAnotherUserRecordsDuringTheBatchIsAllocated) {
    // Dated, so that the batch reads every tenant's figures before the first.
    db.exec("update revenues set date = '2025-01-15'");
    frmMain& form = select("A1");
    bool recorded = false;
    h.program.whileEventsRun = [&] {
        if (!std::exchange(recorded, true))
            db.addRevenue("C3", "RENT", 50);
    };
    form.cmdFixAll_Click();
    ASSERT_TRUE(recorded);
    expectPeriods("B2", {{100, 0}, {100, 20}, {60, 0}});
    expectPeriods("C3", {{100, 0}, {100, 20}, {110, 0}});
    EXPECT_EQ(h.messages.texts, std::vector<std::string>{"Fix All repaired 4 of 4 tenants."});
}

TEST_F(FixAll, AnEmptyListDoesNothingAndSaysNothing) {
    db.exec("delete from tenancy");
    h.open(db.path());
    auto before = db.allPeriods();
    h.form->cmdFixAll_Click();
    EXPECT_TRUE(h.messages.texts.empty());
    EXPECT_EQ(db.allPeriods().size(), before.size());
    expectNeighbourUntouched();
}

TEST_F(FixAll, ASecondPressWhileRunningIsIgnoredAndTheUserMayMoveTheSelection) {
    frmMain& form = select("A1");
    int presses = 0;
    h.program.whileEventsRun = [&] {
        if (presses++ == 0) {
            form.cmdFixAll_Click(); // ignored
            form.mnuUndo_Click();   // ignored too: no box, nothing undone
            form.SetListIndex(2);   // the user jumps to C3; the batch goes on from there
        }
    };
    form.cmdFixAll_Click();
    ASSERT_EQ(h.messages.texts.size(), 1u); // the summary alone
    EXPECT_EQ(h.messages.texts[0].rfind("Fix All repaired", 0), 0u) << h.messages.texts[0];
    expectPeriods("A1", {{100, 0}, {100, 20}, {60, 0}});
    expectPeriods("B2", {{0, 0}, {0, 0}, {0, 0}});
    expectPeriods("C3", {{100, 0}, {100, 20}, {60, 0}});
    expectPeriods("ZZZ", {{995, 5, 100, 5}});
}

TEST_F(FixAll, ATenantWhoseFiguresCannotBeWorkedOutIsReportedAndTheBatchGoesOn) {
    frmMain& form = select("A1");
    db.addRevenue("B2", "RENT", 1e300); // beyond any amount that can be allocated
    form.cmdFixAll_Click();
    for (const char* tenant : {"A1", "C3"})
        expectPeriods(tenant, {{100, 0}, {100, 20}, {60, 0}});
    expectPeriods("B2", {{0, 0}, {0, 0}, {0, 0}});
    expectPeriods("ZZZ", {{995, 5, 100, 5}});
    EXPECT_EQ(h.messages.texts,
              std::vector<std::string>{"Fix All repaired 3 of 4 tenants. 1 could not be repaired and was left exactly "
                                       "as it was: B2. What went wrong is written in the error log " +
                                       logPath() + "."});
    // The analysis's report of the total it cannot add up, then the refusal.
    const std::string log = logText();
    EXPECT_EQ(occurrences(log, "Overflow: sum(amount) met the value 1E+300"), 1u);
    EXPECT_EQ(occurrences(log, "not worked out for tenant B2"), 1u);
}

TEST_F(FixAll, StaleFiguresAreLoggedPerTenantAndSummedUpInOneBox) {
    frmMain& form = select("A1");
    // A broken code list makes the extra-charge income statement fail for everyone.
    form.extraChargeCodes = "'xcvdfgsdfs',";
    h.messages.texts.clear();
    form.cmdFixAll_Click();
    for (const char* tenant : {"A1", "B2", "C3"})
        expectPeriods(tenant, {{0, 0}, {0, 0}, {0, 0}});
    expectNeighbourUntouched();
    EXPECT_EQ(h.messages.texts,
              std::vector<std::string>{"Fix All repaired 0 of 4 tenants. 4 could not be repaired and were left "
                                       "exactly as they were: A1, B2, C3, ZZZ. What went wrong is written in the "
                                       "error log " +
                                       logPath() + "."});
    // For each of the four tenants: the failed statement's report, then the refusal.
    const std::string log = logText();
    EXPECT_EQ(occurrences(log, "14:05:09 Data Create Set\r\nGeneral Errors...\r\n\r\n1 - "), 4u);
    EXPECT_EQ(occurrences(log, "14:05:09 The income totals shown were not worked out for tenant "), 4u);
    EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
}

TEST_F(FixAll, AReadOnlyDatabaseStopsAfterTheFirstTenantsWithOneBoxAndChangesNothing) {
    for (int i = 1; i <= 8; ++i) {
        const std::string tenant = "D" + std::to_string(i);
        workedExampleTenant(tenant);
        db.addRevenue(tenant, "RENT", 250);
    }
    frmMain& form = h.open(db.path());
    // The same file, opened so that it cannot be written.
    form.database().CurrentDatabase = engine::DBEngine().OpenDatabase(db.path(), false, true);
    const auto before = db.allPeriods();
    form.cmdFixAll_Click();

    EXPECT_EQ(h.messages.texts,
              std::vector<std::string>{"Fix All stopped: the database cannot be written to (attempt to write a "
                                       "readonly database). No tenant was changed. The first 10 tenants all failed "
                                       "with this error, so the other 2 were not tried. Each failure is written in "
                                       "full in the error log " +
                                       logPath() + "."});
    const auto after = db.allPeriods();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].paid, before[i].paid);
        EXPECT_EQ(after[i].extraChargesPaid, before[i].extraChargesPaid);
    }
    // Every failure in the log in full, as its box would have shown it.
    EXPECT_EQ(occurrences(logText(), " Fix this value\r\nGeneral Errors..."), 10u);
    EXPECT_EQ(occurrences(logText(), "\r\nGeneral Errors...\r\n\r\n8 - attempt to write a readonly database\r\n"
                                     "\r\n\r\n"),
              10u);
    EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
    EXPECT_FALSE(form.batchRunning());
}

TEST_F(FixAll, TheLastTenantSelectedDuringTheFirstPauseEndsItWithASummaryThatSaysSo) {
    frmMain& form = select("A1");
    h.messages.texts.clear();
    h.program.whileEventsRun = [&] {
        if (h.program.eventRuns == 1)
            form.SetListIndex(form.Combo1->listCount() - 1);
    };
    form.cmdFixAll_Click();
    expectPeriods("A1", {{100, 0}, {100, 20}, {60, 0}});
    expectPeriods("B2", {{0, 0}, {0, 0}, {0, 0}});
    expectPeriods("C3", {{0, 0}, {0, 0}, {0, 0}});
    expectPeriods("ZZZ", {{995, 5, 100, 5}});
    EXPECT_EQ(h.messages.texts,
              std::vector<std::string>{"Fix All repaired 2 of 4 tenants. It ended before the end of the list "
                                       "because the last tenant was selected during the batch: 2 tenants were not "
                                       "reached."});
}

TEST_F(FixAll, EndingTheProgramDuringTheBatchKeepsWhatWasDone) {
    frmMain& form = select("A1");
    h.program.whileEventsRun = [&] { form.cmdExit_Click(); };
    form.cmdFixAll_Click();
    expectPeriods("A1", {{100, 0}, {100, 20}, {60, 0}});
    expectPeriods("B2", {{0, 0}, {0, 0}, {0, 0}});
    EXPECT_FALSE(form.database().CurrentDatabase->InTransaction());
    // The batch says what it did, then the program ends.
    EXPECT_EQ(h.messages.texts,
              std::vector<std::string>{"Fix All repaired 1 of 4 tenants. It ended before the end of the list "
                                       "because Exit was pressed: 3 tenants were not reached."});
    EXPECT_EQ(h.program.endRequests, 1);
    EXPECT_EQ(h.program.lastExitStatus, 0);
}

} // namespace

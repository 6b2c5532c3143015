// The tenant list, the ledger settings and the figures of a tenant, through
// the real window's handlers on small databases.

#include "PropertyDb.h"
#include "WindowHarness.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> entries(const controls::ComboBox* combo) {
    std::vector<std::string> list;
    for (int i = 0; i < combo->listCount(); ++i)
        list.push_back(combo->list(i));
    return list;
}

class ReferenceData : public ::testing::Test {
protected:
    TempDir dir;
    PropertyDb db{dir.file("property.mdb")};
    WindowHarness h{dir.path().string()};
};

TEST_F(ReferenceData, TenantsInTheDatabaseOrderWithoutRegardToCase) {
    for (const char* reference : {"B2", "A1", "C3", "b1"})
        db.addTenancy(reference);
    frmMain& form = h.open(db.path());
    EXPECT_EQ(entries(form.Combo1), (std::vector<std::string>{"A1", "b1", "B2", "C3"}));
    EXPECT_EQ(form.Combo1->listIndex(), -1);
    EXPECT_TRUE(h.messages.texts.empty());
    EXPECT_EQ(h.program.endRequests, 0);
}

TEST_F(ReferenceData, AnEmptyTenancyTableGivesAnEmptyListAndTheWindowStaysOpen) {
    frmMain& form = h.open(db.path());
    EXPECT_EQ(form.Combo1->listCount(), 0);
    EXPECT_EQ(h.program.endRequests, 0);
}

TEST_F(ReferenceData, RentGroupFromTheFirstOptionsRow) {
    db.exec("insert into options (rent_group) values ('SECOND')");
    frmMain& form = h.open(db.path());
    EXPECT_EQ(form.rentGroup, "RENT");
}

TEST_F(ReferenceData, ExtraChargeCodesBeginWithThePlaceholder) {
    frmMain& form = h.open(db.path());
    EXPECT_EQ(form.extraChargeCodes, "'xcvdfgsdfs'");

    db.addGlCode("410", true);
    db.addGlCode("DEP", false);
    db.addGlCode("420", true);
    form.LoadReferenceData();
    EXPECT_EQ(form.extraChargeCodes, "'xcvdfgsdfs','410','420'");
}

TEST_F(ReferenceData, ACodeWithAnApostropheIsQuotedSafely) {
    db.addGlCode("O'X", true);
    frmMain& form = h.open(db.path());
    EXPECT_EQ(form.extraChargeCodes, "'xcvdfgsdfs','O''X'");
}

TEST_F(ReferenceData, LoadingTwiceGivesTheSameListAndCodes) {
    db.addTenancy("A1");
    db.addTenancy("B2");
    db.addGlCode("410", true);
    frmMain& form = h.open(db.path());
    form.SetListIndex(1);
    form.LoadReferenceData();
    EXPECT_EQ(entries(form.Combo1), (std::vector<std::string>{"A1", "B2"}));
    EXPECT_EQ(form.Combo1->listIndex(), -1);
    EXPECT_EQ(form.extraChargeCodes, "'xcvdfgsdfs','410'");
}

TEST_F(ReferenceData, NullReferenceIsSkippedAndNullRentGroupIsEmpty) {
    db.exec("create table t as select * from tenancy; drop table tenancy;"
            "create table tenancy (reference text collate nocase, name text, [property code] text,"
            " [when started] datetime)");
    db.exec("insert into tenancy (reference) values (null), ('A1')");
    db.exec("update options set rent_group = null");
    frmMain& form = h.open(db.path());
    EXPECT_EQ(entries(form.Combo1), (std::vector<std::string>{"A1"}));
    EXPECT_EQ(form.rentGroup, "");
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(ReferenceData, AFailedLedgerQueryLeavesThePlaceholderAloneAfterOneReport) {
    db.exec("drop table glcodes");
    frmMain& form = h.open(db.path());
    EXPECT_EQ(form.extraChargeCodes, "'xcvdfgsdfs'");
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0].rfind("Data Create Set", 0), 0u) << h.messages.texts[0];
}

TEST_F(ReferenceData, ADatabaseThatCannotBeOpenedEndsTheProgram) {
    WindowHarness nowhere(dir.file("no-program-folder"));
    nowhere.registry.setting("APPPath", dir.file("no-application"));
    frmMain& form = nowhere.create();
    form.Form_Activate();
    ASSERT_EQ(nowhere.messages.texts.size(), 3u);
    EXPECT_EQ(nowhere.messages.texts[0], "Unable to open Habitorium database - file not found");
    EXPECT_EQ(nowhere.messages.texts[1].rfind("Start ADO", 0), 0u);
    EXPECT_EQ(nowhere.messages.texts[2], "Unable to start habitorium database.");
    EXPECT_EQ(nowhere.program.endRequests, 1);
    EXPECT_EQ(nowhere.program.lastExitStatus, 1);
    EXPECT_EQ(form.Combo1->listCount(), 0);
}

class Analysis : public ::testing::Test {
protected:
    TempDir dir;
    PropertyDb db{dir.file("property.mdb")};
    WindowHarness h{dir.path().string()};

    void SetUp() override {
        db.addGlCode("RENT", false);
        db.addGlCode("410", true);
    }
    frmMain& select(const std::string& reference) { return h.select(db.path(), reference); }
    static std::string text(const controls::Label* label) { return label->caption(); }
};

TEST_F(Analysis, EveryFigureOfATenant) {
    db.addTenancy("SMI001", "Jane Smith", "P1", "2025-01-03");
    db.addRevenue("SMI001", "RENT", 650, "2025-01-05");
    db.addRevenue("SMI001", "RENT", 650.5, "2025-02-05");
    db.addRevenue("SMI001", "410", 25, "2025-02-06");
    db.addRevenue("OTHER", "RENT", 999, "2024-01-01");
    db.addPeriod("SMI001", "2025-01-03", 650, 600, 25, 0);
    db.addPeriod("SMI001", "2025-02-03", 650, 650, 0, 10);
    db.addCharge("SMI001", "2025-01-03", 20);
    db.addCharge("SMI001", "2025-01-03", 5.25);

    frmMain& form = select("SMI001");
    EXPECT_EQ(text(form.Label2), "Jane Smith");
    EXPECT_EQ(text(form.Label13), "03/01/2025");
    EXPECT_EQ(text(form.Label11), "05/01/2025");
    EXPECT_EQ(text(form.Label10), "03/01/2025");
    EXPECT_EQ(text(form.Label6), "1300.5");
    EXPECT_EQ(text(form.Label20), "25");
    EXPECT_EQ(text(form.Label21), "25.25");
    EXPECT_EQ(text(form.Label22), "25");
    EXPECT_EQ(text(form.Label7), "1250");
    EXPECT_EQ(text(form.Label19), "10");
    EXPECT_EQ(text(form.Label14), "65");
    EXPECT_EQ(text(form.Label18), "");
    EXPECT_EQ(form.propertyCode, "P1");
    EXPECT_TRUE(form.cmdFix->enabled());
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(Analysis, ATenantWithoutIncomeOrPeriodsShowsZerosAndNoDates) {
    db.addTenancy("NEW001", "New Tenant", "P2", "2026-03-01");
    frmMain& form = select("NEW001");
    for (const char* name : {"Label6", "Label20", "Label21", "Label22", "Label7", "Label19", "Label14"})
        EXPECT_EQ(h.window->control(name)->property("text").toString(), "0") << name;
    EXPECT_EQ(text(form.Label11), "");
    EXPECT_EQ(text(form.Label10), "");
    EXPECT_EQ(text(form.Label2), "New Tenant");
    EXPECT_EQ(text(form.Label13), "01/03/2026");
}

TEST_F(Analysis, MorePaidThanDueShowsANegativeBalance) {
    db.addTenancy("A1");
    db.addPeriod("A1", "2025-01-01", 100, 150.75);
    EXPECT_EQ(text(select("A1").Label14), "-50.75");
}

TEST_F(Analysis, IncomeCountsInOneColumnOnly) {
    // The rent code flagged as paying extra charges as well still counts as rent only.
    db.exec("update glcodes set pay_extra_charges = -1 where gl_code = 'RENT'");
    db.addTenancy("A1");
    db.addRevenue("A1", "RENT", 100);
    db.addRevenue("A1", "410", 7);
    db.addRevenue("A1", "DEPOSIT", 500);
    frmMain& form = select("A1");
    EXPECT_EQ(text(form.Label6), "100");
    EXPECT_EQ(text(form.Label20), "7");
}

TEST_F(Analysis, RentOfAnotherPropertyCountsInTheTotalButNotTheFirstTransactionDate) {
    db.addTenancy("A1", "A", "P1");
    db.addRevenue("A1", "RENT", 100, "2024-06-01", "P9");
    db.addRevenue("A1", "RENT", 100, "2024-07-01", "P1");
    frmMain& form = select("A1");
    EXPECT_EQ(text(form.Label6), "200");
    EXPECT_EQ(text(form.Label11), "01/07/2024");
}

TEST_F(Analysis, TextMatchesWithoutRegardToCase) {
    db.addTenancy("ABC");
    db.addRevenue("abc", "rent", 40);
    EXPECT_EQ(text(select("ABC").Label6), "40");
}

TEST_F(Analysis, InexactBinarySumsShowAsTheMoneyTheyAre) {
    db.addTenancy("A1");
    db.addRevenue("A1", "RENT", 0.1);
    db.addRevenue("A1", "RENT", 0.2);
    db.addPeriod("A1", "2025-01-01", 0.7, 0.1);
    db.addPeriod("A1", "2025-02-01", 0.2, 0.2);
    frmMain& form = select("A1");
    EXPECT_EQ(text(form.Label6), "0.3");
    EXPECT_EQ(text(form.Label7), "0.3");
    EXPECT_EQ(text(form.Label14), "0.6");

    // Seventeen periods paid in full, and rents with pence over many rows:
    // exact money, never a residue such as 6.03961325396085E-14.
    db.addTenancy("S17");
    for (int month = 1; month <= 17; ++month) {
        const std::string from = std::to_string(2024 + (month - 1) / 12) + "-" +
                                 ((month - 1) % 12 + 1 < 10 ? "0" : "") + std::to_string((month - 1) % 12 + 1) + "-01";
        db.addPeriod("S17", from, 100.1, 100.1, 20.2, 20.2);
    }
    db.exec("begin");
    for (int i = 0; i < 300; ++i) {
        db.addRevenue("S17", "RENT", 433.33);
        db.addRevenue("S17", "410", 0.29);
        db.addRevenue("S17", "410", 0.1);
    }
    db.exec("commit");
    select("S17");
    EXPECT_EQ(text(form.Label14), "0");
    EXPECT_EQ(text(form.Label7), "1701.7");
    EXPECT_EQ(text(form.Label19), "343.4");
    EXPECT_EQ(text(form.Label6), "129999");
    EXPECT_EQ(text(form.Label20), "117");
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(Analysis, AReferenceWithoutATenancyRowShowsNoNameButComputesItsTotals) {
    db.addTenancy("A1", "First Tenant", "P1", "2025-01-01");
    db.addRevenue("A1", "RENT", 10);
    db.addRevenue("GHOST", "RENT", 30);
    frmMain& form = select("A1");
    db.exec("delete from tenancy");
    form.SetListIndex(0); // the list still offers A1
    db.exec("insert into tenancy (reference) values ('A1')");
    EXPECT_EQ(text(form.Label6), "10");

    form.Combo1->addItem("GHOST");
    form.SetListIndex(form.Combo1->listCount() - 1);
    // Never the name and start date of the tenant shown before.
    EXPECT_EQ(text(form.Label2), "");
    EXPECT_EQ(text(form.Label13), "");
    EXPECT_EQ(form.propertyCode, "");
    EXPECT_EQ(text(form.Label6), "30");
}

TEST_F(Analysis, ReferencesWithApostrophes) {
    db.addTenancy("O'NEIL", "Mr O'Neil");
    db.addTenancy("O''BRIEN", "Ms O'Brien");
    db.addRevenue("O'NEIL", "RENT", 11);
    db.addRevenue("O''BRIEN", "RENT", 22);
    db.addRevenue("O'BRIEN", "RENT", 1000);
    db.addPeriod("O'NEIL", "2025-01-01", 11);
    frmMain& form = select("O'NEIL");
    EXPECT_EQ(text(form.Label2), "Mr O'Neil");
    EXPECT_EQ(text(form.Label6), "11");
    EXPECT_EQ(text(form.Label10), "01/01/2025");
    select("O''BRIEN");
    EXPECT_EQ(text(form.Label2), "Ms O'Brien");
    EXPECT_EQ(text(form.Label6), "22");
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(Analysis, ATenancyRowWithEmptyFieldsShowsEmptyCaptions) {
    db.exec("insert into tenancy (reference) values ('A1')");
    frmMain& form = select("A1");
    EXPECT_EQ(text(form.Label2), "");
    EXPECT_EQ(text(form.Label13), "");
    EXPECT_TRUE(h.messages.texts.empty());
}

TEST_F(Analysis, SelectingTheSameTenantTwiceChangesNothing) {
    db.addTenancy("A1");
    db.addRevenue("A1", "RENT", 10);
    db.addPeriod("A1", "2025-01-01", 100, 5);
    auto before = db.allPeriods();
    frmMain& form = select("A1");
    std::string first = form.Label14->caption();
    select("A1");
    EXPECT_EQ(form.Label14->caption(), first);
    auto after = db.allPeriods();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0].paid, before[0].paid);
}

TEST_F(Analysis, AStatementThatFailsLeavesItsLabelEmptyAndNeverShowsAnotherStatementsRow) {
    db.addTenancy("A1");
    db.addTenancy("B2");
    db.addCharge("A1", "2025-01-01", 25);
    db.addRevenue("B2", "410", 7);
    frmMain& form = select("A1");
    EXPECT_EQ(text(form.Label21), "25");
    db.exec("alter table rent_periods_charges rename to charges_gone");
    select("B2");
    // The extra-charge income statement before it also has a field "paid" (7);
    // the failed statement's label shows neither that nor A1's figure.
    EXPECT_EQ(text(form.Label20), "7");
    EXPECT_EQ(text(form.Label21), "");
    ASSERT_EQ(h.messages.texts.size(), 1u);
    EXPECT_EQ(h.messages.texts[0].rfind("Data Create Set", 0), 0u);
}

TEST_F(Analysis, AnImpossibleStartDateIsSaidOnceAndTheRestOfTheTenantIsShownAndRepaired) {
    db.addTenancy("ALI001", "Alice Ali", "P1", "2024-05-01");
    db.addRevenue("ALI001", "RENT", 999);
    db.addPeriod("ALI001", "2024-05-01", 999);
    db.addTenancy("COS001", "Cosmo Cos", "P1", "2025-02-30");
    db.addRevenue("COS001", "RENT", 150, "2025-03-05");
    db.addPeriod("COS001", "2025-03-01", 100);
    db.addPeriod("COS001", "2025-04-01", 100);
    frmMain& form = select("ALI001");
    ASSERT_EQ(text(form.Label13), "01/05/2024");

    select("COS001");
    ASSERT_EQ(h.messages.texts,
              std::vector<std::string>{"The tenancy COS001 has a start date that is not a date: 2025-02-30."});
    EXPECT_EQ(text(form.Label2), "Cosmo Cos");
    EXPECT_EQ(text(form.Label13), "");
    EXPECT_EQ(text(form.Label11), "05/03/2025");
    EXPECT_EQ(text(form.Label10), "01/03/2025");
    EXPECT_EQ(text(form.Label6), "150");
    EXPECT_EQ(text(form.Label7), "0");
    EXPECT_EQ(text(form.Label14), "200");

    // The start date plays no part in the repair; it is not said again.
    form.cmdFix_Click();
    auto rows = db.periods("COS001");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].paid, 100);
    EXPECT_EQ(rows[1].paid, 50);
    EXPECT_EQ(text(form.Label14), "50");
    EXPECT_EQ(h.messages.texts.size(), 1u);
}

} // namespace

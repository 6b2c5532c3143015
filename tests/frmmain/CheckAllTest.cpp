// "Check All" against the real repair, on every tenant of the sample: the
// tenants it lists are exactly those whose rows the repair their figures call
// for changes, and every figure it gives is the caption the window shows.

#include "PropertyDb.h"
#include "WindowHarness.h"

#include "rent/CheckAll.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

namespace {

TEST(CheckAll, AgreesWithTheRealRepairOnEveryTenantOfTheSample) {
    TempDir dir;
    const std::string path = dir.file("property.mdb");
    const std::string generate = std::string("\"") + HABITORIUM_SAMPLE_DB + "\" \"" + path + "\" >/dev/null";
    ASSERT_EQ(std::system(generate.c_str()), 0) << generate;
    const auto original = TableRows(path, "rent_periods");

    WindowHarness h(dir.path().string());
    frmMain& form = h.open(path);
    std::vector<std::string> tenants;
    for (int i = 0; i < form.Combo1->listCount(); ++i)
        tenants.push_back(form.Combo1->list(i));
    ASSERT_GE(tenants.size(), 17u);
    const rent::CheckResult result = rent::CheckAll(*form.database().CurrentDatabase, tenants,
                                                    {form.rentGroup, form.extraChargeCodes}, h.locale);
    // Nothing was written by the check.
    EXPECT_EQ(TableRows(path, "rent_periods"), original);
    EXPECT_EQ(result.tenants, static_cast<int>(tenants.size()));
    EXPECT_FALSE(result.stopped);
    std::map<std::string, rent::TenantCheck> listed;
    for (const rent::TenantCheck& c : result.listed)
        listed[c.tenant] = c;

    std::set<std::string> changedByRepair;
    int periodsChanged = 0;
    for (int i = 0; i < static_cast<int>(tenants.size()); ++i) {
        const std::string tenant = tenants[static_cast<std::size_t>(i)];
        SCOPED_TRACE(tenant);
        form.SetListIndex(i);
        const std::vector<std::string> shown = {form.Label6->caption(),  form.Label7->caption(),
                                                form.Label20->caption(), form.Label19->caption(),
                                                form.Label21->caption(), form.Label22->caption(),
                                                form.Label14->caption()};
        const bool rebuild = shown[4] != shown[5];
        const auto before = TableRows(path, "rent_periods");
        if (rebuild)
            form.Command1_Click();
        else
            form.cmdFix_Click();
        const auto after = TableRows(path, "rent_periods");
        ASSERT_EQ(after.size(), before.size());
        int changed = 0;
        for (std::size_t r = 0; r < before.size(); ++r)
            changed += before[r] != after[r];
        if (changed > 0 || rebuild)
            changedByRepair.insert(tenant);
        periodsChanged += changed;

        auto found = listed.find(tenant);
        ASSERT_EQ(found != listed.end(), changed > 0 || rebuild) << changed << " rows changed";
        if (found == listed.end())
            continue;
        const rent::TenantCheck& c = found->second;
        EXPECT_TRUE(c.checked()) << c.problem;
        EXPECT_EQ((std::vector<std::string>{c.rentReceived, c.rentPaid, c.extraReceived, c.extraPaid, c.charges,
                                            c.chargesInPeriods, c.dueNow}),
                  shown);
        EXPECT_EQ(c.rebuild, rebuild);
        EXPECT_EQ(c.periodsChanged, changed);
        EXPECT_EQ(c.dueAfter, form.Label14->caption());
        EXPECT_EQ(c.name, form.Label2->caption());
    }
    EXPECT_EQ(result.periodsChanged(), periodsChanged);
    // Totals that agree with money on the wrong periods are listed; tenants
    // that agree are not.
    for (const char* tenant : {"HAR001", "LEE001", "EVA001", "MOR001", "O'NEIL01"})
        EXPECT_TRUE(listed.count(tenant)) << tenant;
    for (const char* tenant : {"BRO001", "DAV001", "ROB001", "CLA001"})
        EXPECT_FALSE(listed.count(tenant)) << tenant;
    EXPECT_EQ(result.summary(), std::to_string(result.disagreeing()) + " of " + std::to_string(tenants.size()) +
                                    " tenants disagree with the money received; a repair would change " +
                                    std::to_string(periodsChanged) + " of their periods.");
}

} // namespace

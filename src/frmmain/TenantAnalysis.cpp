// The figures of the selected tenant: what the income transactions say was
// paid against what the tenant's rental periods record as paid and due.

#include "batch/Guarded.h"
#include "frmmain/frmMain.h"

#include "database/Schema.h"
#include "database/SqlText.h"
#include "general/Lookup.h"
#include "general/TextForm.h"
#include "rent/TenantFigures.h"

#include <iterator>
#include <optional>

void frmMain::notifyOnce(const std::string& text) {
    if (told_.insert(text).second)
        notify(text);
}

void frmMain::Combo1_Click() {
    const std::string tenant = tenantReference();
    const std::string quotedTenant = SqlQuote(tenant);
    incomeTotalsTenant_.reset();
    if (tenant != analysedTenant_) {
        analysedTenant_ = tenant;
        told_.clear();
    }

    propertyCode.clear();
    tenancyStart = engine::Date::fromParts(platform_.clock.now()).dateOnly();

    const rent::Ledger ledger{rentGroup, extraChargeCodes};
    // On a database server the tenancy's row comes with the totals, in one
    // round trip; when that reading gives nothing, each is read on its own.
    std::optional<rent::AnalysisTotals> together;
    // In "Fix All" both may have been read with every other tenant's before the first.
    if (database_.CurrentDatabase && !database_.CurrentDatabase->ConnectionLost()) {
        const rent::AnalysisTotals* known =
            listFigures_ ? listFigures_->Find(*database_.CurrentDatabase, tenant) : nullptr;
        if (known)
            together = *known;
        else
            runGuarded(database_, "Tenant Analysis", [&] {
                database_.ReadDirectly(
                    [&](engine::Database& db) { together = rent::ReadTenancyAndTotals(db, ledger, tenant); });
            });
    }

    // Every caption shows a figure of this tenant or nothing: a step that
    // cannot be worked out (already reported) leaves its caption empty, never
    // the figure of the tenant shown before, and the next step still runs.
    std::string name;
    std::string started;
    runGuarded(database_, "Tenant Analysis", [&] {
        std::optional<rent::TenancyFields> tenancy;
        if (together) {
            tenancy = together->tenancy;
        } else {
            RecordsetRef rs = openReadOnly(
                "select [when started], name, [property code] from tenancy where reference= " + quotedTenant);
            if (!hasRow(rs))
                return;
            tenancy = rent::TenancyFields{rs->Fields(schema::tenancyWhenStarted).Value(),
                                          rs->Fields(schema::tenancyName).Value(),
                                          rs->Fields(schema::tenancyPropertyCode).Value()};
        }
        // A tenancy row with empty fields shows empty captions.
        name = TextForm(ValueOrDefault(tenancy->name, std::string()), platform_.locale);
        propertyCode = TextForm(ValueOrDefault(tenancy->propertyCode, std::string()), platform_.locale);
        const engine::Variant& value = tenancy->whenStarted;
        if (value.isNull() || value.isEmpty())
            return;
        try {
            tenancyStart = value.toDate();
            started = ShortDate(tenancyStart, platform_.locale);
        } catch (const engine::EngineError&) {
            // The start date plays no part in a repair: said in plain words,
            // its caption stays empty and the analysis goes on.
            notifyOnce("The tenancy " + tenant +
                       " has a start date that is not a date: " + TextForm(value, platform_.locale) + ".");
        }
    });
    Label2->setCaption(name);
    Label13->setCaption(started);

    struct Total {
        std::string sql;
        const char* field;
        controls::Label* label;
        bool* shown;
    };
    bool rentIncomeShown = false;
    bool extraChargeIncomeShown = false;
    const Total totals[] = {
        {rent::RentIncomeSql(ledger, tenant), "paid", Label6, &rentIncomeShown},
        {rent::ExtraChargeIncomeSql(ledger, tenant), "paid", Label20, &extraChargeIncomeShown},
        {rent::PeriodChargesSql(tenant), "paid", Label21, nullptr},
        {rent::PeriodSumSql(rent::periodSums[0], tenant), "amount", Label22, nullptr},
        {rent::PeriodSumSql(rent::periodSums[1], tenant), "amount", Label7, nullptr},
        {rent::PeriodSumSql(rent::periodSums[2], tenant), "amount", Label19, nullptr},
        {rent::PeriodSumSql(rent::periodSums[3], tenant), "amount", Label14, nullptr},
    };
    // The totals and both first dates together when the database gives
    // them in one statement; else each statement on its own.
    if (!together && database_.CurrentDatabase && !database_.CurrentDatabase->ConnectionLost())
        runGuarded(database_, "Tenant Analysis", [&] {
            together = rent::ReadAnalysisTotals(*database_.CurrentDatabase, ledger, tenant, propertyCode);
        });
    for (std::size_t i = 0; i < std::size(totals); ++i) {
        const Total& total = totals[i];
        std::string shown;
        const bool done = runGuarded(database_, "Tenant Analysis", [&] {
            if (together) {
                shown = TextForm(ValueOrDefault(together->totals[i], 0), platform_.locale);
                return;
            }
            RecordsetRef rs = openReadOnly(total.sql);
            if (hasRow(rs))
                shown = TextForm(ValueOrDefault(rs->Fields(total.field).Value(), 0), platform_.locale);
            else
                shown.clear();
        });
        total.label->setCaption(shown);
        if (total.shown)
            *total.shown = done && !shown.empty();
    }

    std::string firstTransaction;
    runGuarded(database_, "Tenant Analysis", [&] {
        if (together)
            firstTransaction =
                TextForm(ValueOrDefault(together->firstTransaction, engine::Variant("")), platform_.locale);
        else
            firstTransaction =
                LookupValue(database_, "min(date)", "revenues",
                            rent::FirstRentTransactionWhere(ledger, propertyCode, tenant), platform_.locale);
    });
    Label11->setCaption(firstTransaction);
    std::string firstPeriod;
    runGuarded(database_, "Tenant Analysis", [&] {
        if (together)
            firstPeriod = TextForm(ValueOrDefault(together->firstPeriod, engine::Variant("")), platform_.locale);
        else
            firstPeriod = LookupValue(database_, "min(period_from)", "rent_periods",
                                      "where tenant_code = " + quotedTenant, platform_.locale);
    });
    Label10->setCaption(firstPeriod);

    cmdFix->setEnabled(true);
    if (rentIncomeShown && extraChargeIncomeShown)
        incomeTotalsTenant_ = tenant;
}

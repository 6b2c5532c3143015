// "Fix this value" beside the paid rows: the money received, as the analysis
// shows it, handed out again across the tenant's rental periods, oldest first.

#include "frmmain/Guarded.h"
#include "frmmain/RepairScope.h"
#include "frmmain/frmMain.h"

#include "database/Schema.h"
#include "database/SqlText.h"
#include "engine/NumberText.h"
#include "journal/RepairJournal.h"

#include <utility>

namespace {

constexpr std::int16_t dynasetOptions = engine::dbDenyWrite | engine::dbDenyRead;

} // namespace

void frmMain::cmdFix_Click() {
    repairSelectedTenant(false);
}

void frmMain::notify(const std::string& text) {
    if (batchSummary_)
        batchSummary_->log(text);
    else if (heldMessages_)
        heldMessages_->push_back(text);
    else
        showMessage(text);
}

bool frmMain::repairSelectedTenant(bool rebuildExtraChargesFirst) {
    const std::string tenant = tenantReference();
    // The repair writes the figures the window shows; they must be the
    // analysis of the tenant selected now, or another tenant's money would be
    // written into this tenant's periods.
    if (!incomeTotalsTenant_ || *incomeTotalsTenant_ != tenant) {
        notify(tenant.empty() ? std::string("No tenant is selected. Nothing was changed.")
                              : "The income totals shown were not worked out for tenant " + tenant +
                                    ", so they cannot be allocated. Select the tenant again. Nothing was changed.");
        return false;
    }
    // The captions are read back as the platform reads a leading number.
    engine::Currency rentIncome;
    engine::Currency extraChargeIncome;
    try {
        rentIncome = engine::Currency::fromDouble(engine::LeadingNumber(Label6->caption()));
        extraChargeIncome = engine::Currency::fromDouble(engine::LeadingNumber(Label20->caption()));
    } catch (const engine::EngineError&) {
        notify("The income totals of tenant " + tenant + " (" + Label6->caption() + " and " + Label20->caption() +
               ") are outside the range of amounts that can be allocated. " + "Nothing was changed.");
        return false;
    }

    // Outside "Fix All" each press is an action of the journal of its own.
    long long action = batchAction_;
    if (journal_ && !batch_) {
        action = beginJournalAction(rebuildExtraChargesFirst ? journal::kindRebuild : journal::kindRepair, tenant);
        if (action == 0)
            return false;
    }
    bool kept = false;
    heldMessages_.emplace();
    {
        if (batch_)
            batch_->beginGroup();
        RepairScope scope(database_);
        bool syncedAlone = false; // the tenant's entry went to disk ahead of its own commit
        runGuarded(database_, "Fix this value", [&] {
            if (!scope.ok())
                return;
            // The rows as they are, read before the first write.
            journal::PeriodRows before;
            if (journal_)
                before = journal::ReadPeriods(*database_.CurrentDatabase, tenant);
            if ((!rebuildExtraChargesFirst || rebuildExtraCharges(scope)) &&
                reallocate(rentIncome, extraChargeIncome, scope) && journal_)
                syncedAlone = recordRepair(scope, action, tenant, before);
        });
        kept = scope.finish();
        if (!kept && syncedAlone)
            journal_->ForgetLastSync();
    }
    if (journal_ && !batch_) {
        journal_->EndAction(action);
        if (!journalFailure_.empty())
            heldMessages_->push_back(
                journalProblem(std::exchange(journalFailure_, {}), "so the repair was not made. Nothing was changed."));
    }
    // The transaction has ended: what was said inside it may wait for the user now.
    std::vector<std::string> messages = std::move(*heldMessages_);
    heldMessages_.reset();
    for (const std::string& text : messages)
        notify(text);
    Combo1_Click();
    return kept;
}

bool frmMain::allocatePass(RecordsetRef& rs, engine::Currency& remaining, const char* dueField, const char* paidField,
                           const RepairScope& scope) {
    // Money goes to the earliest period first; the pass stops as soon as
    // nothing remains, and a negative amount is still handed out.
    while (remaining != engine::Currency() && database_.IsEof(rs) == 0) {
        database_.EditRecord(rs);
        if (!scope.ok())
            return false;
        engine::Variant due = rs->Fields(dueField).Value();
        if (remaining.toDouble() > due.toDouble()) {
            rs->Fields(paidField).SetValue(due);
            remaining = engine::Currency::fromDouble(remaining.toDouble() - rs->Fields(dueField).Value().toDouble());
        } else {
            rs->Fields(paidField).SetValue(remaining);
            remaining = engine::Currency();
        }
        rs->Update();
        database_.MoveNextRecord(rs);
        if (!scope.ok())
            return false;
    }
    return scope.ok();
}

bool frmMain::reallocate(engine::Currency rentIncome, engine::Currency extraChargeIncome, const RepairScope& scope) {
    const std::string tenant = SqlQuote(tenantReference());
    engine::Currency remaining = rentIncome;

    std::string sql = "update rent_periods set rent_due = abs(rent_due), paid=0, extra_charges_paid=0 where "
                      "tenant_code = " +
                      tenant;
    if (database_.ExecuteSql(sql) != -1)
        return false;

    RecordsetRef rs;
    sql = "select * from rent_periods where tenant_code = " + tenant + " order by period_from";
    database_.CreateRecordset(rs, sql, engine::dbOpenDynaset, dynasetOptions);
    if (!scope.ok() || !allocatePass(rs, remaining, schema::rentPeriodsRentDue, schema::rentPeriodsPaid, scope))
        return false;
    database_.CloseRecordset(rs);

    // What the rent did not take goes, with the extra-charge income, to the
    // extra charges.
    remaining = remaining + extraChargeIncome;
    sql = "select * from rent_periods where extra_charges<> 0 and tenant_code = " + tenant + " order by period_from";
    database_.CreateRecordset(rs, sql, engine::dbOpenDynaset, dynasetOptions);
    if (!scope.ok() ||
        !allocatePass(rs, remaining, schema::rentPeriodsExtraCharges, schema::rentPeriodsExtraChargesPaid, scope))
        return false;

    // Any surplus is rent paid on the latest period.
    if (remaining != engine::Currency()) {
        database_.CloseRecordset(rs);
        sql = "select top 1 * from rent_periods where tenant_code = " + tenant + " order by period_from desc";
        database_.CreateRecordset(rs, sql, engine::dbOpenDynaset, dynasetOptions);
        if (!scope.ok())
            return false;
        if (database_.IsRecordsetEmpty(rs) == 0) {
            database_.EditRecord(rs);
            if (!scope.ok())
                return false;
            rs->Fields(schema::rentPeriodsPaid)
                .SetValue(rs->Fields(schema::rentPeriodsPaid).Value().toDouble() + remaining.toDouble());
            rs->Update();
        }
    }
    return scope.ok();
}

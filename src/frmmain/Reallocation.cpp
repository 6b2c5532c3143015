// "Fix this value" beside the paid rows: the money received, as the analysis
// shows it, handed out again across the tenant's rental periods, oldest first.
// The repair is worked out in memory by the same function the check of every
// tenant uses; only the rows it changes are written, and a tenant whose rows
// already agree is not written at all.

#include "frmmain/Guarded.h"
#include "frmmain/RepairScope.h"
#include "frmmain/frmMain.h"

#include "database/Schema.h"
#include "journal/RepairJournal.h"
#include "rent/Allocation.h"
#include "rent/TenantFigures.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::int16_t dynasetOptions = engine::dbDenyWrite | engine::dbDenyRead;

journal::PeriodRows readRows(engine::Recordset& rs) {
    journal::PeriodRows rows;
    rs.MoveFirst();
    for (; !rs.Eof(); rs.MoveNext())
        rows.push_back({rs.Fields(schema::rentPeriodsPeriodFrom).Value(), rs.Fields(schema::rentPeriodsRentDue).Value(),
                        rs.Fields(schema::rentPeriodsPaid).Value(), rs.Fields(schema::rentPeriodsExtraCharges).Value(),
                        rs.Fields(schema::rentPeriodsExtraChargesPaid).Value()});
    return rows;
}

// An amount as a caption shows it, with thousands separators: 1250.5 gives 1,250.5.
std::string groupedAmount(const std::string& caption) {
    const std::size_t sign = !caption.empty() && caption[0] == '-' ? 1 : 0;
    const std::size_t point = std::min(caption.find('.'), caption.size());
    std::string text = caption.substr(0, sign);
    for (std::size_t i = sign; i < point; ++i) {
        if (i > sign && (point - i) % 3 == 0)
            text += ',';
        text += caption[i];
    }
    return text + caption.substr(point);
}

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

frmMain::RepairOutcome frmMain::repairSelectedTenant(bool rebuildExtraChargesFirst) {
    const std::string tenant = tenantReference();
    // The repair writes the figures the window shows; they must be the
    // analysis of the tenant selected now, or another tenant's money would be
    // written into this tenant's periods.
    if (!incomeTotalsTenant_ || *incomeTotalsTenant_ != tenant) {
        notify(tenant.empty() ? std::string("No tenant is selected. Nothing was changed.")
                              : "The income totals shown were not worked out for tenant " + tenant +
                                    ", so they cannot be allocated. Select the tenant again. Nothing was changed.");
        return RepairOutcome::Failed;
    }
    // The captions are read back as the platform reads a leading number.
    const std::string rentShown = Label6->caption();
    const std::string extraShown = Label20->caption();
    engine::Currency rentIncome;
    engine::Currency extraChargeIncome;
    try {
        rentIncome = rent::CaptionAmount(rentShown);
        extraChargeIncome = rent::CaptionAmount(extraShown);
    } catch (const engine::EngineError&) {
        notify("The income totals of tenant " + tenant + " (" + rentShown + " and " + extraShown +
               ") are outside the range of amounts that can be allocated. " + "Nothing was changed.");
        return RepairOutcome::Failed;
    }

    // The batch's figures read ahead may be those of a tenant that the
    // repair of the money shown leaves as it is (on a file, of the database
    // as it still is): it is passed over, as read, and nothing is written.
    // Any other repair reads the tenant's rows at its turn.
    if (listFigures_ && database_.CurrentDatabase && listFigures_->Current(*database_.CurrentDatabase)) {
        if (const rent::ListFigures::AgreedRepair* agreed = listFigures_->Agreed(tenant)) {
            if (!rebuildExtraChargesFirst && agreed->shown.rent == rentShown &&
                agreed->shown.extraCharges == extraShown) {
                for (const std::string& text : agreed->leftOut)
                    notify(text);
                return RepairOutcome::AlreadyAgreed;
            }
            listFigures_->Written(*database_.CurrentDatabase, tenant);
        }
    }

    // Outside "Fix All" each press is an action of the journal of its own.
    long long action = batchAction_;
    if (journal_ && !batch_) {
        action = beginJournalAction(rebuildExtraChargesFirst ? journal::kindRebuild : journal::kindRepair, tenant);
        if (action == 0)
            return RepairOutcome::Failed;
    }
    // What the database holds now is what the figures read ahead were read
    // from, or they are let go: the writing below is then all that has
    // changed when they are told of it.
    if (listFigures_ && database_.CurrentDatabase)
        listFigures_->Current(*database_.CurrentDatabase);
    bool kept = false;
    bool agreed = false;
    std::string moneyChanged; // what the money received is now, when it is not what the window shows
    heldMessages_.emplace();
    {
        if (batch_)
            batch_->beginGroup();
        RepairScope scope(database_);
        bool syncedAlone = false; // the tenant's entry went to disk ahead of its own commit
        runGuarded(database_, "Fix this value", [&] {
            if (!scope.ok())
                return;
            engine::Database& db = *database_.CurrentDatabase;
            // Inside the transaction: the money received must still be the
            // money shown, or yesterday's figures would be written.
            const rent::AnalysisTotals* known = listFigures_ ? listFigures_->Find(db, tenant) : nullptr;
            const rent::IncomeTotals now =
                known ? rent::IncomeTotalsOf(*known, platform_.locale)
                      : rent::ReadIncomeTotals(db, ledger(), tenant, propertyCode, platform_.locale);
            if (now.rent != rentShown || now.extraCharges != extraShown) {
                if (now.rent != rentShown)
                    moneyChanged = "rent " + groupedAmount(rentShown) + " is now " + groupedAmount(now.rent);
                if (now.extraCharges != extraShown) {
                    if (!moneyChanged.empty())
                        moneyChanged += " and ";
                    moneyChanged +=
                        "extra charges " + groupedAmount(extraShown) + " is now " + groupedAmount(now.extraCharges);
                }
                return;
            }
            RecordsetRef rs;
            std::string sql = rent::PeriodsForRepairSql(tenant);
            database_.CreateRecordset(rs, sql, engine::dbOpenDynaset, dynasetOptions);
            if (!scope.ok())
                return;
            const journal::PeriodRows before = readRows(*rs);
            std::vector<rent::Charge> charges;
            if (rebuildExtraChargesFirst)
                charges = rent::ReadCharges(db, tenant);
            const rent::RepairResult repair =
                rent::ComputeRepair(tenant, before, rentIncome, extraChargeIncome,
                                    rebuildExtraChargesFirst ? &charges : nullptr, platform_.locale);
            for (const std::string& text : repair.leftOut)
                notify(text);
            if (repair.periodsChanged() == 0) {
                // Already as the repair would leave it: nothing is written.
                agreed = true;
                return;
            }
            // Only the rows, and in them the amounts, that change.
            rs->MoveFirst();
            for (std::size_t i = 0; i < repair.after.size(); ++i) {
                if (repair.changed[i]) {
                    database_.EditRecord(rs);
                    if (!scope.ok())
                        return;
                    // The columns the repair has always written (the
                    // extra charges only by a rebuild), the same for every
                    // row, so that a database may take the rows together.
                    const journal::PeriodRow& row = repair.after[i];
                    rs->Fields(schema::rentPeriodsRentDue).SetValue(row.rentDue);
                    rs->Fields(schema::rentPeriodsPaid).SetValue(row.paid);
                    if (rebuildExtraChargesFirst)
                        rs->Fields(schema::rentPeriodsExtraCharges).SetValue(row.extraCharges);
                    rs->Fields(schema::rentPeriodsExtraChargesPaid).SetValue(row.extraChargesPaid);
                    rs->Update();
                }
                database_.MoveNextRecord(rs);
                if (!scope.ok())
                    return;
            }
            if (journal_) {
                // The journal keeps the periods that changed, before and as
                // the table now holds them.
                const journal::PeriodRows written = readRows(*rs);
                journal::PeriodRows changedBefore;
                journal::PeriodRows changedAfter;
                for (std::size_t i = 0; i < before.size() && i < written.size(); ++i) {
                    if (repair.changed[i]) {
                        changedBefore.push_back(before[i]);
                        changedAfter.push_back(written[i]);
                    }
                }
                syncedAlone = recordRepair(scope, action, tenant, changedBefore, changedAfter);
            }
        });
        if (!moneyChanged.empty())
            scope.fail();
        kept = scope.finish();
        // The tenant's figures read ahead are no longer what its rows hold.
        if (listFigures_ && !(kept && agreed)) {
            if (database_.CurrentDatabase)
                listFigures_->Written(*database_.CurrentDatabase, tenant);
            else
                listFigures_.reset();
        }
        if (!kept && syncedAlone)
            journal_->ForgetLastSync();
    }
    if (journal_ && !batch_) {
        journal_->EndAction(action);
        if (!journalFailure_.empty())
            heldMessages_->push_back(
                journalProblem(std::exchange(journalFailure_, {}), "so the repair was not made. Nothing was changed."));
    }
    if (!moneyChanged.empty())
        heldMessages_->push_back("The money received by tenant " + tenant +
                                 " has changed since it was shown: " + moneyChanged +
                                 ". The window shows the new figures; press Fix this value again to allocate them. "
                                 "Nothing was changed.");
    // The transaction has ended: what was said inside it may wait for the user now.
    std::vector<std::string> messages = std::move(*heldMessages_);
    heldMessages_.reset();
    for (const std::string& text : messages)
        notify(text);
    // The window shows the figures as the repair left them. In a batch, a
    // tenant whose rows were not written shows them already: its analysis was
    // made just before, and the next tenant's follows at once.
    if (!(batch_ && kept && agreed))
        Combo1_Click();
    if (!kept)
        return RepairOutcome::Failed;
    return agreed ? RepairOutcome::AlreadyAgreed : RepairOutcome::Repaired;
}

// "Fix this value" beside the Extra Charges row (rebuild the periods' extra
// charges from the individual charges, then reallocate), "Fix All", and
// "Fix these" of the list of Check All: one batch, which repairs tenant
// after tenant as Fix All always has.

#include "frmmain/Guarded.h"
#include "frmmain/JournalCommit.h"
#include "frmmain/RepairScope.h"
#include "frmmain/frmMain.h"

#include "database/Schema.h"
#include "database/SqlText.h"
#include "engine/NumberText.h"
#include "general/TextForm.h"

#include <optional>
#include <utility>

void frmMain::Command1_Click() {
    repairSelectedTenant(true);
}

namespace {

// Sends the database's reports to reporter for as long as it lives.
class ReportsTo {
public:
    ReportsTo(Database& database, ErrorReporter& reporter)
        : database_(database), previous_(database.setReporter(reporter)) {}
    ~ReportsTo() { database_.setReporter(previous_); }
    ReportsTo(const ReportsTo&) = delete;
    ReportsTo& operator=(const ReportsTo&) = delete;

private:
    Database& database_;
    ErrorReporter& previous_;
};

} // namespace

void frmMain::cmdFixAll_Click() {
    runBatch(nullptr);
}

std::optional<rent::ListFigures> frmMain::readListFigures() {
    engine::Database* db = database_.CurrentDatabase.get();
    if (!db || db->ConnectionLost())
        return std::nullopt;
    // Without them each analysis reads its tenant's rows, as it always can.
    try {
        return rent::ListFigures::Read(*db, listedTenants(), ledger(), platform_.locale);
    } catch (const engine::EngineError& error) {
        if (error.connectionLost)
            database_.report("Fix All", error);
        return std::nullopt;
    }
}

void frmMain::showBatchProgress(const std::string& caption, int done, int total) {
    Me->setCaption(caption);
    Me->showProgress(done, total);
}

bool frmMain::runBatch(const std::vector<rent::TenantCheck>* chosen) {
    const int total = chosen ? static_cast<int>(chosen->size()) : Combo1->listCount();
    // One batch at a time: a press while it runs (during its pauses for the
    // window's events) is ignored.
    if (batchRunning_ || total == 0)
        return false;
    // The whole batch is one action of the journal; without the journal it does not start.
    const long long action =
        journal_ ? beginJournalAction(chosen ? kindFixThese : journal::kindFixAll, std::string()) : 0;
    if (journal_ && action == 0)
        return false;
    batchRunning_ = true;
    batchAction_ = action;
    endDuringBatch_.reset();
    const std::string title = Me->caption();
    BatchSummary summary(errorReport_, total, chosen ? "Fix these" : "Fix All");
    BatchSummary::End end = BatchSummary::End::EndOfList;
    {
        // Every failure of the batch goes to the log, none to a box: also
        // those the batch transaction holds back, which it hands on at its
        // commits; the others straight away, so each is known to its tenant.
        ReportsTo toLog(database_, summary);
        JournalCommit journalCommit(journal_.get(), journalFailure_);
        BatchTransaction batch(database_, &summary, &journalCommit);
        ReportsTo direct(database_, summary);
        batchSummary_ = &summary;
        batch_ = &batch;
        summary.beginTenant();
        // Fix these: the chosen tenant in hand. Fix All walks the list itself.
        int position = 0;
        if (!chosen) {
            listFigures_ = readListFigures();
            // Selecting the first tenant would open the connection again, and
            // wait on the same silence that lost it.
            if (summary.connectionLost())
                end = BatchSummary::End::ConnectionLost;
            else
                SetListIndex(0);
        }
        while (end != BatchSummary::End::ConnectionLost) {
            int index = position;
            std::string tenant;
            if (!chosen) {
                // The window's own name last, once, as the desktop shows every window's title.
                showBatchProgress("Fix All: " + Combo1->text() + " (" + GroupedCount(Combo1->listIndex() + 1) + " of " +
                                      GroupedCount(Combo1->listCount()) + ") - " + title,
                                  Combo1->listIndex() + 1, Combo1->listCount());
                index = Combo1->listIndex();
                tenant = tenantReference();
                const RepairOutcome outcome = repairSelectedTenant(false);
                summary.tenantDone(index, tenant, outcome != RepairOutcome::Failed,
                                   outcome == RepairOutcome::AlreadyAgreed);
            } else {
                const rent::TenantCheck& entry = (*chosen)[static_cast<std::size_t>(position)];
                tenant = entry.tenant;
                showBatchProgress("Fix these: " + tenant + " (" + GroupedCount(position + 1) + " of " +
                                      GroupedCount(total) + ") - " + title,
                                  position + 1, total);
                const ChosenOutcome outcome = repairChosenTenant(entry);
                if (outcome == ChosenOutcome::Skipped)
                    summary.tenantSkipped(index, tenant);
                else
                    summary.tenantDone(index, tenant, outcome != ChosenOutcome::Failed,
                                       outcome == ChosenOutcome::AlreadyAgreed);
            }
            // Nothing more can be done without the server: the batch stops here.
            if (summary.connectionLost()) {
                end = BatchSummary::End::ConnectionLost;
                break;
            }
            // Nothing is repaired without its way back.
            if (!journalFailure_.empty()) {
                end = BatchSummary::End::JournalFailed;
                break;
            }
            // The rest would fail the same way; at the list's end there is no rest.
            const bool more = chosen ? position + 1 < total : Combo1->listIndex() + 1 < Combo1->listCount();
            if (summary.shouldStop() && more) {
                end = BatchSummary::End::Stopped;
                break;
            }
            summary.beginTenant();
            if (chosen) {
                if (++position >= total)
                    break;
            } else if (!SetListIndex(Combo1->listIndex() + 1)) {
                // The advance is taken from the current selection, which the
                // user may have changed while the window's events ran.
                break;
            }
            // The window's events run only when no lock is held: after the
            // first tenant, then at each commit (at least every quarter second).
            if (batch.tenantDone()) {
                platform_.program.letPendingEventsRun();
                if (endDuringBatch_ || platform_.program.endRequested()) {
                    end = endDuringBatch_.value_or(BatchSummary::End::ExitPressed);
                    break;
                }
            }
        }
        batch.commitNow();
        listFigures_.reset();
        batch_ = nullptr;
        batchSummary_ = nullptr;
    }
    batchAction_ = 0;
    if (journal_)
        journal_->EndAction(action);
    Me->setCaption(title);
    batchRunning_ = false;
    std::string text = summary.text(end);
    const bool failed = end == BatchSummary::End::Stopped || end == BatchSummary::End::JournalFailed ||
                        end == BatchSummary::End::ConnectionLost;
    if (!journalFailure_.empty())
        text += " " + journalProblem(std::exchange(journalFailure_, {}),
                                     "so the repairs it could not record were not kept; the others can be undone.");
    // A batch that stopped on a failure shows it on the taskbar until its summary is read.
    if (failed)
        Me->showProgressFailed();
    else
        Me->clearProgress();
    showMessage(text);
    Me->clearProgress();
    if (endDuringBatch_)
        platform_.program.endProgram(0);
    return true;
}

frmMain::ChosenOutcome frmMain::repairChosenTenant(const rent::TenantCheck& chosen) {
    int index = -1;
    for (int i = 0; i < Combo1->listCount() && index < 0; ++i)
        if (Combo1->list(i) == chosen.tenant)
            index = i;
    if (index < 0) {
        notify("Tenant " + chosen.tenant + " is no longer in the tenant list, so it was not repaired.");
        return ChosenOutcome::Failed;
    }
    SetListIndex(index);
    const std::vector<std::string> shown = {Label6->caption(),  Label7->caption(),  Label20->caption(),
                                            Label19->caption(), Label21->caption(), Label22->caption(),
                                            Label14->caption()};
    const std::vector<std::string> checked = {chosen.rentReceived, chosen.rentPaid, chosen.extraReceived,
                                              chosen.extraPaid,    chosen.charges,  chosen.chargesInPeriods,
                                              chosen.dueNow};
    bool rebuild = chosen.rebuild;
    if (shown != checked) {
        // Changed since the check (another user recorded a payment): the
        // tenant is checked again as it is now, so the repair is the one its
        // new figures call for.
        std::optional<rent::CheckResult> again;
        runGuarded(database_, "Fix these", [&] {
            again = rent::CheckAll(*database_.CurrentDatabase, {chosen.tenant}, ledger(), platform_.locale);
        });
        if (!again)
            return ChosenOutcome::Failed;
        if (again->listed.empty())
            return ChosenOutcome::Skipped;
        const rent::TenantCheck& now = again->listed.front();
        if (!now.checked()) {
            notify("Tenant " + chosen.tenant + " could not be checked again, so it was not repaired: " + now.problem);
            return ChosenOutcome::Failed;
        }
        rebuild = now.rebuild;
    }
    switch (repairSelectedTenant(rebuild)) {
    case RepairOutcome::Repaired:
        return ChosenOutcome::Repaired;
    case RepairOutcome::AlreadyAgreed:
        return ChosenOutcome::AlreadyAgreed;
    case RepairOutcome::Failed:
        break;
    }
    return ChosenOutcome::Failed;
}

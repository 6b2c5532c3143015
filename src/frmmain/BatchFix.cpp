// "Fix this value" beside the Extra Charges row (rebuild the periods' extra
// charges from the individual charges, then reallocate) and "Fix All".

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
    // One batch at a time: a press while it runs (during its pauses for the
    // window's events) is ignored.
    if (batchRunning_ || Combo1->listCount() == 0)
        return;
    // The whole batch is one action of the journal; without the journal it does not start.
    const long long action = journal_ ? beginJournalAction(journal::kindFixAll, std::string()) : 0;
    if (journal_ && action == 0)
        return;
    batchRunning_ = true;
    batchAction_ = action;
    endDuringBatch_.reset();
    const std::string title = Me->caption();
    BatchSummary summary(errorReport_, Combo1->listCount());
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
        SetListIndex(0);
        for (;;) {
            // The window's own name last, once, as the desktop shows every window's title.
            Me->setCaption("Fix All: " + Combo1->text() + " (" + GroupedCount(Combo1->listIndex() + 1) + " of " +
                           GroupedCount(Combo1->listCount()) + ") - " + title);
            Me->showProgress(Combo1->listIndex() + 1, Combo1->listCount());
            const int index = Combo1->listIndex();
            const std::string tenant = tenantReference();
            const RepairOutcome outcome = repairSelectedTenant(false);
            summary.tenantDone(index, tenant, outcome != RepairOutcome::Failed, outcome == RepairOutcome::AlreadyAgreed);
            // Nothing is repaired without its way back.
            if (!journalFailure_.empty()) {
                end = BatchSummary::End::JournalFailed;
                break;
            }
            // The rest would fail the same way; at the list's end there is no rest.
            if (summary.shouldStop() && Combo1->listIndex() + 1 < Combo1->listCount()) {
                end = BatchSummary::End::Stopped;
                break;
            }
            // The advance is taken from the current selection, which the user
            // may have changed while the window's events ran.
            summary.beginTenant();
            if (!SetListIndex(Combo1->listIndex() + 1))
                break;
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
        batch_ = nullptr;
        batchSummary_ = nullptr;
    }
    batchAction_ = 0;
    if (journal_)
        journal_->EndAction(action);
    Me->setCaption(title);
    batchRunning_ = false;
    std::string text = summary.text(end);
    const bool failed = end == BatchSummary::End::Stopped || end == BatchSummary::End::JournalFailed;
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
}

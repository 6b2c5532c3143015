// Undo (Ctrl+Z): the newest repair on the open database that is not yet
// undone, put back from the repair journal, tenant by tenant, where the
// tenant's rows are still exactly as that repair left them.

#include "frmmain/Guarded.h"
#include "frmmain/JournalCommit.h"
#include "frmmain/RepairScope.h"
#include "frmmain/frmMain.h"

#include "general/TextForm.h"
#include "journal/RepairJournal.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// The names of the tenants left alone, at most this many in the message.
constexpr std::size_t namesShown = 50;

std::string tenantList(const std::vector<std::string>& tenants) {
    std::string text;
    for (std::size_t i = 0; i < tenants.size() && i < namesShown; ++i)
        text += (i ? ", " : "") + tenants[i];
    if (tenants.size() > namesShown)
        text += " and " + std::to_string(tenants.size() - namesShown) + " more";
    return text;
}

} // namespace

std::string frmMain::undoQuestion(long long tenants, const std::string& kind, const std::string& tenant,
                                  const platform::LocalTime& madeAt) const {
    const std::string when = ShortDateTime(madeAt, platform_.locale);
    if (kind == journal::kindFixAll)
        return "Undo Fix All of " + when + " (" + std::to_string(tenants) + (tenants == 1 ? " tenant" : " tenants") +
               ")? Their rental periods go back to what they were before it.";
    if (kind == kindFixThese)
        return "Undo Fix these of " + when + " (" + std::to_string(tenants) + (tenants == 1 ? " tenant" : " tenants") +
               ")? Their rental periods go back to what they were before it.";
    return "Undo the repair of tenant " + tenant + " of " + when + "?";
}

void frmMain::mnuUndo_Click() {
    // Not in the middle of a batch, nor twice at once.
    if (batchRunning_ || undoRunning_ || !journal_ || !database_.CurrentDatabase)
        return;
    // A user's action: after a lost connection it opens the database again.
    database_.BeginAction();
    std::optional<journal::Action> last;
    try {
        last = journal_->LastUndoable(database_.CurrentDatabase->Name());
    } catch (const journal::JournalError& error) {
        showMessage("The repair journal cannot be read in the folder \"" + journal_->folder() + "\" (" + error.what() +
                    "). Nothing was changed.");
        return;
    }
    if (!last) {
        showMessage("There is no repair to undo on this database.");
        return;
    }
    undoRunning_ = true;
    if (!platform_.messages.confirm(undoQuestion(last->tenants, last->kind, last->tenant, last->madeAt))) {
        undoRunning_ = false;
        return;
    }
    // The undo is an action of the journal too, so its own rows can be seen
    // afterwards; Undo never picks an undo.
    const long long undo = beginJournalAction(journal::kindUndo, last->tenant, last->id);
    if (undo == 0) {
        undoRunning_ = false;
        return;
    }

    std::vector<std::string> changedSince;
    bool failed = false;
    {
        JournalCommit journalCommit(journal_.get(), journalFailure_);
        BatchTransaction batch(database_, nullptr, &journalCommit);
        batch_ = &batch; // the journal syncs per group, as in "Fix All"
        std::vector<long long> entries;
        try {
            entries = journal_->TenantEntries(last->id);
        } catch (const journal::JournalError& error) {
            journalFailure_ = error.what();
        }
        // Newest first: a tenant repaired twice in one "Fix All" (the user may
        // move the selection back while it runs) goes back one step at a time.
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            const long long id = *it;
            journal::TenantEntry entry;
            try {
                entry = journal_->Entry(id);
            } catch (const journal::JournalError& error) {
                journalFailure_ = error.what();
                break;
            }
            batch.beginGroup();
            RepairScope scope(database_);
            bool syncedAlone = false;
            runGuarded(database_, "Undo", [&] {
                if (!scope.ok())
                    return;
                engine::Database& db = *database_.CurrentDatabase;
                // The journal holds the periods the repair changed (all of
                // them, in a journal written before it kept only those).
                const journal::PeriodRows now = journal::PeriodsOf(journal::ReadPeriods(db, entry.tenant), entry.after);
                if (journal::SamePeriods(now, entry.after)) {
                    if (!journal::SamePeriods(entry.after, entry.before) &&
                        journal::ReplacePeriods(db, entry.tenant, entry.after, entry.before))
                        syncedAlone = recordRepair(scope, undo, entry.tenant, now,
                                                   journal::PeriodsOf(journal::ReadPeriods(db, entry.tenant), now));
                } else if (!journal::SamePeriods(now, entry.before)) {
                    // Changed since by another repair or the host application.
                    // (Rows still as before are a repair whose commit never
                    // happened: nothing to undo.)
                    changedSince.push_back(entry.tenant);
                }
            });
            if (!scope.finish()) {
                failed = true;
                if (syncedAlone)
                    journal_->ForgetLastSync();
            }
            batch.tenantDone();
            if (!journalFailure_.empty())
                break;
        }
        batch_ = nullptr;
    }
    journal_->EndAction(undo);

    if (!journalFailure_.empty()) {
        showMessage(journalProblem(std::exchange(journalFailure_, {}),
                                   "so the undo stopped. The tenants not yet undone were left as they are; Ctrl+Z "
                                   "undoes them later."));
    } else if (failed) {
        // Left as not undone, so Ctrl+Z tries the tenants that failed again.
        showMessage("Some tenants could not be undone because of the errors shown. Ctrl+Z tries them again.");
    } else {
        try {
            journal_->MarkUndone(last->id, undo);
        } catch (const journal::JournalError& error) {
            showMessage("The repair journal cannot be written in the folder \"" + journal_->folder() + "\" (" +
                        error.what() + "), so the repair stays marked as not undone.");
        }
    }
    if (!changedSince.empty()) {
        // In the order of the list, each tenant once.
        std::vector<std::string> named;
        for (auto it = changedSince.rbegin(); it != changedSince.rend(); ++it) {
            if (std::find(named.begin(), named.end(), *it) == named.end())
                named.push_back(*it);
        }
        changedSince.swap(named);
        const std::size_t n = changedSince.size();
        showMessage(
            n == 1 ? "1 tenant was not undone because its periods have changed since: " + tenantList(changedSince) + "."
                   : std::to_string(n) + " tenants were not undone because their periods have changed since: " +
                         tenantList(changedSince) + ".");
    }
    undoRunning_ = false;
    Combo1_Click();
}

// The repair journal's part in the repairs: an action per press, and each
// tenant's rows before and after its repair, committed to the journal before
// the host database commits the repair.

#include "frmmain/RepairScope.h"
#include "frmmain/frmMain.h"

#include "journal/RepairJournal.h"

#include <cstring>

void frmMain::disableRepairJournal() {
    journal_.reset();
}

std::string frmMain::journalProblem(const std::string& reason, const std::string& consequence) const {
    return "The repair journal cannot be written in the folder \"" + (journal_ ? journal_->folder() : std::string()) +
           "\" (" + reason + "), " + consequence;
}

long long frmMain::beginJournalAction(const char* kind, const std::string& tenant, long long undoes) {
    journal::Action action;
    action.kind = kind;
    action.madeAt = platform_.clock.now();
    action.login = platform_.user.loginName();
    action.database = database_.CurrentDatabase ? database_.CurrentDatabase->Name() : std::string();
    action.tenant = tenant;
    action.undoes = undoes;
    try {
        return journal_->BeginAction(action);
    } catch (const journal::JournalError& error) {
        const char* consequence = std::strcmp(kind, journal::kindFixAll) == 0 ? "so Fix All was not started."
                                  : std::strcmp(kind, journal::kindUndo) == 0 ? "so nothing was undone."
                                                                              : "so the repair was not made.";
        notify(journalProblem(error.what(), std::string(consequence) + " Nothing was changed."));
        return 0;
    }
}

bool frmMain::recordRepair(RepairScope& scope, long long action, const std::string& tenant,
                           const journal::PeriodRows& before, const journal::PeriodRows& after) {
    try {
        journal_->AddTenant(action, tenant, before, after);
        // Inside a batch transaction the batch's commit guard syncs each group.
        if (batch_ && batch_->holdsTransaction())
            return false;
        journal_->Sync();
        return true;
    } catch (const journal::JournalError& error) {
        if (journalFailure_.empty())
            journalFailure_ = error.what();
        scope.fail();
        return false;
    }
}

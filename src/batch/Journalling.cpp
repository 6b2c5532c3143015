#include "batch/Journalling.h"

#include <cstring>

namespace batch {

Journalling::Journalling(std::string folder, platform::Clock& clock, platform::UserAccount& user)
    : journal_(std::make_unique<journal::RepairJournal>(std::move(folder))), clock_(clock), user_(user) {}

Journalling::~Journalling() = default;

std::string Journalling::problem(const std::string& reason, const std::string& consequence) const {
    return "The repair journal cannot be written in the folder \"" + (journal_ ? journal_->folder() : std::string()) +
           "\" (" + reason + "), " + consequence;
}

long long Journalling::beginAction(const char* kind, const std::string& database, const std::string& tenant,
                                   long long undoes, std::string& why) {
    journal::Action action;
    action.kind = kind;
    action.madeAt = clock_.now();
    action.login = user_.loginName();
    action.database = database;
    action.tenant = tenant;
    action.undoes = undoes;
    try {
        return journal_->BeginAction(action);
    } catch (const journal::JournalError& error) {
        const char* consequence = std::strcmp(kind, journal::kindFixAll) == 0 ? "so Fix All was not started."
                                  : std::strcmp(kind, journal::kindUndo) == 0 ? "so nothing was undone."
                                                                              : "so the repair was not made.";
        why = problem(error.what(), std::string(consequence) + " Nothing was changed.");
        return 0;
    }
}

bool Journalling::recordRepair(RepairScope& scope, long long action, const std::string& tenant,
                               const journal::PeriodRows& before, const journal::PeriodRows& after,
                               bool groupedByBatch) {
    try {
        journal_->AddTenant(action, tenant, before, after);
        // Inside a batch transaction the batch's commit guard syncs each group.
        if (groupedByBatch)
            return false;
        journal_->Sync();
        return true;
    } catch (const journal::JournalError& error) {
        if (failure_.empty())
            failure_ = error.what();
        scope.fail();
        return false;
    }
}

} // namespace batch

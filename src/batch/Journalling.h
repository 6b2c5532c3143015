#pragma once
// The repair journal's part in the repairs: an action per press, and each
// tenant's rows before and after its repair, committed to the journal before
// the host database commits the repair.

#include "batch/RepairScope.h"
#include "journal/RepairJournal.h"
#include "platform/Seams.h"

#include <memory>
#include <string>

namespace batch {

class Journalling {
public:
    // The journal in folder (made when first needed); each action is stamped
    // with clock's time and user's login name.
    Journalling(std::string folder, platform::Clock& clock, platform::UserAccount& user);
    ~Journalling();
    Journalling(const Journalling&) = delete;
    Journalling& operator=(const Journalling&) = delete;

    // The journal; none once switched off.
    journal::RepairJournal* journal() { return journal_.get(); }
    // Switches the journal off (the benchmark's figure without it): repairs
    // made afterwards cannot be undone.
    void disable() { journal_.reset(); }

    // "The repair journal cannot be written in the folder "<folder>"
    // (<reason>), " and consequence.
    std::string problem(const std::string& reason, const std::string& consequence) const;

    // Records a new action of kind on the database named database (tenant:
    // the tenant of a single repair; undoes: the action an undo undoes) and
    // returns its id. When the journal cannot take it, returns 0 and puts in
    // why the text for the user, which says that nothing was done.
    long long beginAction(const char* kind, const std::string& database, const std::string& tenant, long long undoes,
                          std::string& why);

    // Adds the tenant's periods that a repair changed, before and after, to
    // the action. When the repair commits on its own (groupedByBatch false: no
    // batch transaction is open) it also commits them to disk and returns
    // true; else the batch's commit guard does that. When the journal cannot
    // take them it fails scope, so the repair is rolled back, and keeps the
    // reason in failure().
    bool recordRepair(RepairScope& scope, long long action, const std::string& tenant,
                      const journal::PeriodRows& before, const journal::PeriodRows& after, bool groupedByBatch);

    // Why the journal could not take a repair, until the caller has said it
    // (and cleared it); empty while it could.
    std::string& failure() { return failure_; }

private:
    std::unique_ptr<journal::RepairJournal> journal_;
    platform::Clock& clock_;
    platform::UserAccount& user_;
    std::string failure_;
};

} // namespace batch

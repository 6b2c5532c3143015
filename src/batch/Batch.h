#pragma once
// A batch of repairs over tenants ("Fix All" over the tenant list, "Fix
// these" over a check's list): one action of the repair journal, the
// tenants' repairs committed in groups, every failure to the error log and
// none to a box, and one text at the end that tells the user what it did and
// why it ended where it did.

#include "batch/BatchSummary.h"
#include "batch/Journalling.h"
#include "batch/RepairScope.h"
#include "database/Database.h"
#include "general/ErrorReport.h"
#include "platform/Seams.h"

#include <functional>
#include <optional>
#include <string>

namespace batch {

// The tenants a batch walks, as the window it runs in gives them.
class BatchWalk {
public:
    enum class Outcome { Failed, Repaired, AlreadyAgreed, Skipped };
    struct Done {
        int index = 0; // the tenant's entry in the list walked
        std::string tenant;
        Outcome outcome = Outcome::Failed;
    };
    virtual ~BatchWalk() = default;
    // Before the first tenant.
    virtual void begin() = 0;
    // Repairs the tenant in hand; says which it was and how it went.
    virtual Done repairCurrent() = 0;
    // True when a tenant follows the one in hand.
    virtual bool more() const = 0;
    // Moves to the next tenant; false when there is none (the list may have
    // changed while the window's events ran).
    virtual bool next() = 0;
    // After the last tenant, once the last group is committed.
    virtual void end() = 0;
};

class Batch {
public:
    // name: the batch's name as its text begins ("Fix All", "Fix these");
    // total: the tenants it walks. log: the error log its failures go to.
    Batch(Database& database, ErrorReport& log, Journalling& journalling, platform::Program& program,
          const std::string& name, int total);
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Records the batch's action of kind in the journal (when there is one).
    // False, with why set to the text for the user, when it cannot: the batch
    // must not start then.
    bool begin(const char* kind, const std::string& databaseName, std::string& why);

    // Walks the tenants, each repaired by walk inside the batch's transaction,
    // until the end of the walk, a lost connection, a journal that fails, the
    // early stop of BatchSummary, or an end asked for while the window's
    // events ran (endAsked, asked after each time they ran). Returns how it
    // ended; the action is then ended in the journal.
    BatchSummary::End run(BatchWalk& walk, const std::function<std::optional<BatchSummary::End>()>& endAsked);

    // The text of the box at the end (with why the journal failed, if it did).
    std::string text(BatchSummary::End end);
    // True when the batch stopped on a failure.
    static bool failed(BatchSummary::End end);

    BatchSummary& summary() { return summary_; }
    // While run runs: the batch's transaction, which a repair opens a group
    // of before it writes. Else none.
    BatchTransaction* transaction() { return transaction_; }
    // The batch's action of the journal; 0 without a journal.
    long long action() const { return action_; }

private:
    Database& database_;
    Journalling& journalling_;
    platform::Program& program_;
    BatchSummary summary_;
    BatchTransaction* transaction_ = nullptr;
    long long action_ = 0;
};

} // namespace batch

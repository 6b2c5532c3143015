#pragma once
// The repair of one tenant: the money received, as the window shows it,
// handed out again across the tenant's rental periods, oldest first (after
// rebuilding their extra charges from the period charges, when asked), in one
// transaction. The repair is worked out in memory by the same function the
// check of every tenant uses; only the rows it changes are written, a tenant
// whose rows already agree is not written at all, and the rows it changes go
// to the repair journal before the database commits them.

#include "batch/Journalling.h"
#include "batch/RepairScope.h"
#include "database/Database.h"
#include "engine/Currency.h"
#include "platform/Seams.h"
#include "rent/ListFigures.h"
#include "rent/TenantFigures.h"

#include <optional>
#include <string>
#include <vector>

namespace batch {

// What the repair writes: the figures the window shows for tenant.
struct TenantRepairRequest {
    std::string tenant;
    // The income totals' captions as shown, and the amounts read from them.
    std::string rentShown;
    std::string extraShown;
    engine::Currency rentIncome;
    engine::Currency extraChargeIncome;
    bool rebuildExtraChargesFirst = false;
    rent::Ledger ledger;
    std::string propertyCode;
};

// The batch a repair runs in, if any: its transaction, which the repair opens
// a group of before it writes, and its action of the journal.
struct RepairBatch {
    BatchTransaction* transaction = nullptr;
    long long action = 0;
};

struct TenantRepairResult {
    enum class Outcome { Failed, Repaired, AlreadyAgreed };
    Outcome outcome = Outcome::Failed;
    // False when the window's figures still stand: nothing was begun (the
    // journal could not take the action), or the tenant was passed over as
    // read ahead, or in a batch its rows were found already agreeing.
    bool analyseAgain = true;
    // What the user is to be told, in order, once the transaction has ended.
    std::vector<std::string> messages;
};

// Repairs request.tenant on database in a transaction of its own (batch:
// none; else inside the batch's transaction). Inside it the money received is
// worked out again: when it is no longer what the window shows, nothing is
// written and a message says what it is now. figures: the figures read ahead
// for a batch, if any; told of what is written, or let go. journalling: the
// repair journal (its journal none: no journal); without a batch each repair
// is an action of the journal of its own. Database failures are reported
// through database; nothing is raised.
TenantRepairResult RepairTenant(Database& database, const TenantRepairRequest& request, const platform::Locale& locale,
                                std::optional<rent::ListFigures>& figures, const RepairBatch& batch,
                                Journalling& journalling);

} // namespace batch

#pragma once
// The undo of an action of the repair journal: each of its tenants put back
// from the journal, tenant by tenant, where the tenant's rows are still
// exactly as that action left them.

#include "batch/Journalling.h"
#include "database/Database.h"
#include "journal/RepairJournal.h"
#include "platform/Seams.h"

#include <string>
#include <vector>

namespace batch {

// The question asked before action is undone: "Undo the repair of tenant A1
// of 07/12/2026 14:05?", "Undo Fix All of 07/12/2026 14:05 (4 tenants)? ...".
std::string UndoQuestion(const journal::Action& action, const platform::Locale& locale);

struct UndoResult {
    // False when the journal could not record the undo: nothing was changed.
    bool started = false;
    // What the user is to be told, in order.
    std::vector<std::string> messages;
};

// Undoes action, any action of the journal on the database open in database
// (an undo too: its tenants are repaired again), as an undo action of the
// journal of its own: each of its tenants whose rows are still exactly as the
// action left them is put back, in a transaction of its own (grouped as "Fix
// All" groups them); the others are left as they are and named in a message
// with what changed them since: a later action (its time in locale's form)
// or another user. The action is marked undone unless a failure kept a tenant
// from being put back (those are tried again by the next undo, which the
// messages call again: "Ctrl+Z"). Database failures are reported through
// database as they come.
UndoResult UndoAction(Database& database, Journalling& journalling, const journal::Action& action,
                      const platform::Locale& locale, const std::string& again);

} // namespace batch

#pragma once
// The repair history as a CSV file, in the form of the list of Check All
// (UTF-8 with a byte-order mark, CR LF line ends, fields quoted as RFC 4180
// says, "." as the decimal point and no thousands separators, dates as
// yyyy-mm-dd). One header line:
//
//   when,who,what,note,tenant,period_from,rent_due_before,paid_before,
//   extra_charges_before,extra_charges_paid_before,rent_due_after,paid_after,
//   extra_charges_after,extra_charges_paid_after
//
// then one line a period an action changed: the action's time (yyyy-mm-dd
// hh:mm:ss, local time), the login that made it, what it was ("Repair",
// "Rebuild", "Fix All", "Fix these", "Undo") and its note, then the tenant,
// the period's start and its four amounts before the action and after it.

#include "engine/Date.h"
#include "journal/RepairJournal.h"

#include <optional>
#include <ostream>
#include <vector>

namespace batch {

// The header line's names, in order.
extern const char* const historyCsvColumns[14];

// The actions of actions (as RepairJournal::Actions gives them, newest first)
// made on the day since or later (none: all of them), oldest first.
std::vector<journal::Action> ActionsSince(const std::vector<journal::Action>& actions,
                                          const std::optional<engine::Date>& since);

// Writes the byte-order mark, the header line and the changed periods of each
// of actions, in the order given, each action's tenants in the order they
// were recorded, their periods earliest first. Raises journal::JournalError
// when the journal cannot be read; what was written until then stays written.
void WriteHistoryCsv(std::ostream& out, journal::RepairJournal& journal, const std::vector<journal::Action>& actions);

} // namespace batch

#pragma once
// An action of the repair journal in words, as the windows and the history's
// file name it.

#include "journal/RepairJournal.h"
#include "platform/Seams.h"

#include <string>

namespace batch {

// What the action was: "Repair" ("Fix this value" beside the paid rows),
// "Rebuild" (beside the Extra Charges row), "Fix All", "Fix these", "Undo";
// an unknown kind as it is written.
std::string KindName(const std::string& kind);

// The action named for a sentence, with its time in the locale's short form
// and who made it: "the repair of 07/12/2026 14:09 (tester)", "Fix All of
// 07/12/2026 14:05 (tester)", "the undo of 07/12/2026 14:12 (tester)".
std::string DescribeAction(const journal::Action& action, const platform::Locale& locale);

} // namespace batch

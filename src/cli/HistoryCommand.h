#pragma once
// The command line's repair history: what the window's History lists, as a
// CSV file, for an office's own records or a spreadsheet.

#include "engine/Date.h"
#include "platform/Console.h"
#include "platform/Seams.h"

#include <optional>
#include <string>

namespace cli {

// Chooses and opens the database from the settings as the window does (it
// writes nothing to it), reads the actions made on it from user's repair
// journal (in user's data folder; a missing journal holds none and is not
// made), and writes those made on the day since or later (none: all) to
// output as batch::WriteHistoryCsv does ("-": standard output; else through
// a temporary file beside it, renamed when complete), then a line that counts
// them: on standard output, or on standard error when the file goes there.
// Returns 0; or 2, having said on standard error what could not be done: the
// database could not be opened, the journal could not be read, the file
// could not be written (a folder or a database file is never replaced).
int RunHistory(platform::Console& console, const platform::Locale& locale, platform::UserAccount& user,
               const std::string& output, const std::optional<engine::Date>& since);

} // namespace cli

#pragma once
// The tool's command line: "Check All" without a window, for a script or a
// nightly task, and the repair history. The entry points (main.cpp, WinMain.cpp) hand their
// arguments here whenever there are any.

#include "platform/Seams.h"

#include <string>
#include <vector>

namespace cli {

// The exit statuses of the command line.
inline constexpr int exitAgree = 0;    // every tenant agrees with the money received
inline constexpr int exitDisagree = 1; // some disagree or could not be checked
inline constexpr int exitFailed = 2;   // bad arguments; no database; the list not written

// Runs the command line given by arguments (the program's name left out),
// writing to this process's standard output and error, and returns the exit
// status. "--help" shows what the command line takes. "--check-all FILE"
// (FILE "-": standard output) chooses and opens the database from the
// settings as the window does, checks every tenant of the tenant list,
// writes nothing to the database, writes the list as CSV (through a
// temporary file beside FILE, renamed when complete, so a failed run leaves
// no half-written list), and prints the summary line: on standard output, or
// on standard error when the list goes to standard output. What the window
// would show in a box goes to standard error, and database failures to the
// error log as well. "--history [--since YYYY-MM-DD] FILE" writes the repair
// history of the database (RunHistory). Anything else: the usage on standard
// error, status 2. locale: how dates and month names are written (the error
// log's name); user: whose repair journal is read (its data folder).
int RunCommandLine(const std::vector<std::string>& arguments, const platform::Locale& locale,
                   platform::UserAccount& user);

} // namespace cli

#include "cli/HistoryCommand.h"

#include "batch/HistoryCsv.h"
#include "cli/CheckCommand.h"
#include "cli/OutputFile.h"
#include "database/Database.h"
#include "engine/ConnectionText.h"
#include "general/DatabaseLocation.h"
#include "general/ErrorReport.h"
#include "journal/RepairJournal.h"
#include "platform/LocalSystem.h"
#include "platform/Registry.h"

#include <sstream>

namespace cli {

namespace {

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

int RunHistory(platform::Console& console, const platform::Locale& locale, platform::UserAccount& user,
               const std::string& output, const std::optional<engine::Date>& since) {
    platform::ConsoleMessageBox messages(console);
    platform::SystemClock clock;
    platform::LocalFileSystem files;
    // Said before anything is read: "--history property.mdb" is an easy slip.
    if (output != "-" && files.isFolder(output)) {
        messages.showMessage("The history cannot be written to " + output + ": it is a folder.");
        return exitFailed;
    }
    if (output != "-" && IsDatabaseFile(output)) {
        messages.showMessage(output + " is a database file: --history writes the history to the file it names, "
                                      "and will not replace a database with it.");
        return exitFailed;
    }
    const std::unique_ptr<platform::Registry> registry = platform::systemRegistry();
    ErrorReport errorReport(messages, clock, files, locale, user.stateFolder());
    Database database(messages, files, errorReport);
    const std::string location = ChooseDatabaseLocation(*registry, files, messages);
    if (database.OpenDatabaseFile(location) != -1) {
        messages.showMessage("The repair history was not written: the database " + engine::MaskPassword(location) +
                             " could not be opened.");
        return exitFailed;
    }

    // The actions are the journal's on the database as the window names it.
    journal::RepairJournal journal(user.dataFolder());
    std::vector<journal::Action> actions;
    std::ostringstream csv(std::ios::binary);
    std::size_t periods = 0;
    try {
        actions = batch::ActionsSince(journal.Actions(database.CurrentDatabase->Name()), since);
        batch::WriteHistoryCsv(csv, journal, actions);
        for (const journal::Action& action : actions)
            periods += static_cast<std::size_t>(action.periods);
    } catch (const journal::JournalError& error) {
        messages.showMessage("The repair history was not written: the repair journal " + journal.path() +
                             " cannot be read (" + error.what() + ").");
        return exitFailed;
    }

    const std::string summary = counted(actions.size(), "action", "actions") + " on this database" +
                                (since ? " since " + since->toIso() : std::string()) + ", " +
                                counted(periods, "period", "periods") + " changed." + platform::consoleLineEnd;
    if (output == "-") {
        if (!console.write(platform::Console::Stream::Output, csv.str())) {
            messages.showMessage("The history could not be written to standard output.");
            return exitFailed;
        }
        console.write(platform::Console::Stream::Error, summary);
    } else {
        std::string why;
        if (!WriteFileWhole(output, csv.str(), why)) {
            messages.showMessage("The history could not be written to " + output + ": " + why + ".");
            return exitFailed;
        }
        console.write(platform::Console::Stream::Output, summary);
    }
    return 0;
}

} // namespace cli

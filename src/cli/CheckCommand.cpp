#include "cli/CheckCommand.h"
#include "cli/HistoryCommand.h"
#include "cli/OutputFile.h"

#include "database/Database.h"
#include "engine/ConnectionText.h"
#include "engine/Date.h"
#include "general/DatabaseLocation.h"
#include "general/ErrorReport.h"
#include "platform/Console.h"
#include "platform/LocalSystem.h"
#include "platform/Registry.h"
#include "rent/CheckAll.h"
#include "rent/CheckCsv.h"
#include "rent/ReferenceData.h"

#include <optional>
#include <sstream>

namespace cli {

namespace {

using platform::Console;

constexpr const char* program = "habitorium-rent-analysis";

std::string usageLine() {
    return std::string("usage: ") + program +
           " [--check-all FILE.csv | --history [--since YYYY-MM-DD] FILE.csv | --help]";
}

std::string helpText() {
    const std::string n = platform::consoleLineEnd;
    std::string text = usageLine() + n + "Without arguments, opens the Habitorium Rent Analysis window." + n + n +
                       "  --check-all FILE.csv" + n +
                       "        checks every tenant against the money received, as the window's" + n +
                       "        \"Check All\" does, without a window and writing nothing to the" + n +
                       "        database; writes the tenants that disagree or cannot be checked to" + n +
                       "        FILE.csv (- for standard output: UTF-8 with a byte-order mark, CR LF," + n +
                       "        one header line) and prints the summary line (on standard error when" + n +
                       "        the list goes to standard output). What the window would show in a" + n +
                       "        box goes to standard error; database failures also to the error log" + n +
                       "        (in the program's folder, or in the user's own where that cannot be" + n +
                       "        written, as in the window)." + n + n;
    text += std::string("  --history [--since YYYY-MM-DD] FILE.csv") + n +
            "        writes the repair history of the database, as the window's History" + n +
            "        shows it, to FILE.csv (- for standard output; the same form as the" + n +
            "        list of --check-all): one line a period that an action changed, with" + n +
            "        the action's time, login, kind and note, the tenant, the period's" + n +
            "        start and its four amounts before and after; with --since, only the" + n +
            "        actions made on that day or later. It reads the repair journal in" + n +
            "        the user's data folder and writes nothing to the database." + n + n;
    text += std::string("  --help  shows this text") + n + n +
            "The database is chosen as the window chooses it, with the same fallbacks," + n +
            "from the settings Networkable, DatabaseLocation and APPPath under" + n +
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings";
#ifdef _WIN32
    text += " in the registry." + n;
#else
    text += "," + n + "read from the registry file named by the environment variable" + n +
            "HABITORIUM_REGISTRY, else /etc/habitorium/registry.reg." + n;
#endif
    text += n + "Exit status:" + n + "  0  every tenant agrees with the money received; the history was written" + n +
            "  1  some tenants disagree or could not be checked (the list names them)" + n +
            "  2  bad arguments; the database or the journal could not be read; the file" + n +
            "     could not be written (a folder or a database file is never replaced)" + n;
#ifdef _WIN32
    text += n + "From a command prompt, \"start /wait\" waits for the program to end (batch" + n +
            "files and the Task Scheduler wait anyway), so %ERRORLEVEL% is its status." + n;
#endif
    return text;
}

// What the arguments ask for.
struct Request {
    bool help = false;
    std::optional<std::string> checkAll; // the list's file, "-" for standard output
    std::optional<std::string> history;  // the history's file, "-" for standard output
    std::optional<engine::Date> since;   // the history from this day on
    std::string error;                   // why the arguments are wrong; empty when they are not
};

Request parseArguments(const std::vector<std::string>& arguments) {
    Request request;
    const auto wrong = [&request](const std::string& why) {
        request.error = why;
        return request;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h"
#ifdef _WIN32
            || argument == "/?"
#endif
        ) {
            request.help = true;
            continue;
        }
        // An option and its value, as "--option VALUE" or "--option=VALUE".
        std::string option = argument.substr(0, argument.find('='));
        const char* wants = option == "--since" ? "a date as YYYY-MM-DD" : "a file name (- for standard output)";
        if (option != "--check-all" && option != "--history" && option != "--since")
            return wrong("unknown argument \"" + argument + "\"");
        std::string value;
        if (option.size() < argument.size())
            value = argument.substr(option.size() + 1);
        else if (i + 1 < arguments.size())
            value = arguments[++i];
        else
            return wrong(option + " needs " + wants);
        if (option == "--since") {
            const std::optional<engine::Date> date = engine::Date::fromIso(value);
            if (!date || date->hasTimeOfDay())
                return wrong("--since needs " + std::string(wants) + ", not \"" + value + "\"");
            if (request.since)
                return wrong("--since is given more than once");
            request.since = date;
            continue;
        }
        // An option in the file's place is a mistake, not a file name ("./-x.csv" names such a file).
        if (value.empty() || (value.front() == '-' && value != "-"))
            return wrong(option + " needs " + wants + ", not \"" + value + "\"");
        std::optional<std::string>& file = option == "--check-all" ? request.checkAll : request.history;
        if (file)
            return wrong(option + " is given more than once");
        file = value;
    }
    if (request.checkAll && request.history)
        return wrong("--check-all and --history are given together");
    if (request.since && !request.history)
        return wrong("--since goes with --history");
    if (!request.help && !request.checkAll && !request.history)
        return wrong("nothing to do");
    return request;
}

class Run {
public:
    // The error log falls back to the user's own folder where the program's
    // folder cannot be written (an installed /usr/bin), as the window's does.
    Run(Console& console, const platform::Locale& locale, platform::UserAccount& user)
        : console_(console), locale_(locale), messages_(console), registry_(platform::systemRegistry()),
          errorReport_(messages_, clock_, files_, locale, user.stateFolder()),
          database_(messages_, files_, errorReport_) {}

    int checkAll(const std::string& output) {
        // Said before the check, which may take minutes. "--check-all
        // property.mdb" is an easy slip for a database to check.
        if (output != "-" && files_.isFolder(output)) {
            messages_.showMessage("The list cannot be written to " + output + ": it is a folder. Nothing was checked.");
            return exitFailed;
        }
        if (output != "-" && IsDatabaseFile(output)) {
            messages_.showMessage(output + " is a database file: --check-all writes the list of tenants to the file "
                                           "it names, and will not replace a database with it. Nothing was checked.");
            return exitFailed;
        }
        const std::string location = ChooseDatabaseLocation(*registry_, files_, messages_);
        if (database_.OpenDatabaseFile(location) != -1) {
            messages_.showMessage("Unable to start habitorium database.");
            return exitFailed;
        }
        // A tenant list that could not be read whole would make a check of
        // part of it look like a clean bill.
        const long long failuresBefore = database_.failureCount();
        rent::ReferenceData references;
        try {
            rent::ReadReferenceData(database_, locale_, references);
        } catch (...) {
            database_.report("Load Reference Data", CurrentFailure());
        }
        if (database_.failureCount() != failuresBefore) {
            messages_.showMessage("The tenant list could not be read from " + engine::MaskPassword(location) +
                                  ". Nothing was checked.");
            return exitFailed;
        }

        rent::CheckResult result;
        try {
            result = rent::CheckAll(*database_.CurrentDatabase, references.references,
                                    rent::Ledger{references.rentGroup, references.extraChargeCodes}, locale_);
        } catch (...) {
            database_.report("Check All", CurrentFailure());
            messages_.showMessage("The check could not be completed. No list was written.");
            return exitFailed;
        }

        std::ostringstream csv(std::ios::binary);
        rent::WriteCheckCsv(csv, result);
        const std::string summary = result.summary() + platform::consoleLineEnd;
        if (output == "-") {
            if (!console_.write(Console::Stream::Output, csv.str())) {
                messages_.showMessage("The list could not be written to standard output.");
                return exitFailed;
            }
            console_.write(Console::Stream::Error, summary);
        } else {
            std::string why;
            if (!WriteFileWhole(output, csv.str(), why)) {
                messages_.showMessage("The list could not be written to " + output + ": " + why + ".");
                return exitFailed;
            }
            console_.write(Console::Stream::Output, summary);
        }
        return result.listed.empty() ? exitAgree : exitDisagree;
    }

private:
    Console& console_;
    const platform::Locale& locale_;
    platform::ConsoleMessageBox messages_;
    platform::SystemClock clock_;
    platform::LocalFileSystem files_;
    std::unique_ptr<platform::Registry> registry_;
    ErrorReport errorReport_;
    Database database_;
};

} // namespace

int RunCommandLine(const std::vector<std::string>& arguments, const platform::Locale& locale,
                   platform::UserAccount& user) {
    std::unique_ptr<Console> console = platform::processConsole();
    const std::string n = platform::consoleLineEnd;
    const Request request = parseArguments(arguments);
    if (!request.error.empty()) {
        console->write(Console::Stream::Error, std::string(program) + ": " + request.error + n + usageLine() + n +
                                                   "Try '" + program + " --help' for more." + n);
        return exitFailed;
    }
    if (request.help) {
        console->write(Console::Stream::Output, helpText());
        return exitAgree;
    }
    try {
        if (request.history)
            return RunHistory(*console, locale, user, *request.history, request.since);
        Run run(*console, locale, user);
        return run.checkAll(*request.checkAll);
    } catch (...) {
        // Nothing that escapes the check may pass for a result.
        console->write(Console::Stream::Error, std::string(program) + ": " + CurrentFailure().description + n);
        return exitFailed;
    }
}

} // namespace cli

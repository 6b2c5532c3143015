#include "cli/CheckCommand.h"

#include "database/Database.h"
#include "engine/ConnectionText.h"
#include "general/DatabaseLocation.h"
#include "general/ErrorReport.h"
#include "platform/Console.h"
#include "platform/LocalSystem.h"
#include "platform/Registry.h"
#include "rent/CheckAll.h"
#include "rent/CheckCsv.h"
#include "rent/ReferenceData.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <system_error>

namespace cli {

namespace {

using platform::Console;

constexpr const char* program = "habitorium-rent-analysis";

std::string usageLine() {
    return std::string("usage: ") + program + " [--check-all FILE.csv | --help]";
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
                       "        in the program's folder, as in the window." + n + "  --help  shows this text" + n + n +
                       "The database is chosen as the window chooses it, with the same fallbacks," + n +
                       "from the settings Networkable, DatabaseLocation and APPPath under" + n +
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings";
#ifdef _WIN32
    text += " in the registry." + n;
#else
    text += "," + n + "read from the registry file named by the environment variable" + n +
            "HABITORIUM_REGISTRY, else /etc/habitorium/registry.reg." + n;
#endif
    text += n + "Exit status:" + n + "  0  every tenant agrees with the money received" + n +
            "  1  some tenants disagree or could not be checked (the list names them)" + n +
            "  2  bad arguments; the database could not be opened or read; the list" + n +
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
        std::optional<std::string> file;
        if (argument == "--check-all") {
            if (i + 1 < arguments.size())
                file = arguments[++i];
            else
                return wrong("--check-all needs a file name (- for standard output)");
        } else if (argument.rfind("--check-all=", 0) == 0) {
            file = argument.substr(std::string("--check-all=").size());
        } else {
            return wrong("unknown argument \"" + argument + "\"");
        }
        // An option in the file's place is a mistake, not a file name ("./-x.csv" names such a file).
        if (file->empty() || (file->front() == '-' && *file != "-"))
            return wrong("--check-all needs a file name (- for standard output), not \"" + *file + "\"");
        if (request.checkAll)
            return wrong("--check-all is given more than once");
        request.checkAll = file;
    }
    if (!request.help && !request.checkAll)
        return wrong("nothing to do");
    return request;
}

// The temporary file beside path that the list is written to before it
// takes the name: hidden, and not a name a user would pick.
std::string temporaryBeside(const std::string& path) {
#ifdef _WIN32
    const std::size_t separator = path.find_last_of("\\/:");
#else
    const std::size_t separator = path.find_last_of('/');
#endif
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + "." + suffix + ".partial";
}

std::FILE* openForWriting(const std::string& path) {
#ifdef _WIN32
    return _wfopen(platform::nativePath(path).c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

// True when path is a file that begins as a property database does (SQLite,
// or Jet/ACE): a list written there would destroy it.
bool isDatabaseFile(const std::string& path) {
    std::ifstream in(platform::nativePath(path), std::ios::binary);
    char header[20] = {};
    in.read(header, sizeof header);
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got >= 16 && std::memcmp(header, "SQLite format 3\0", 16) == 0)
        return true;
    return got >= 19 &&
           (std::memcmp(header + 4, "Standard Jet DB", 15) == 0 || std::memcmp(header + 4, "Standard ACE DB", 15) == 0);
}

// Writes bytes to path whole or not at all: to a temporary file beside it,
// then renamed over it. On failure nothing is left behind, any file already
// at path is as it was, and why says what went wrong.
bool writeFileWhole(const std::string& path, const std::string& bytes, std::string& why) {
    platform::LocalFileSystem files;
    if (files.isFolder(path)) {
        why = "it is a folder";
        return false;
    }
    const std::string temporary = temporaryBeside(path);
    errno = 0;
    std::FILE* file = openForWriting(temporary);
    if (!file) {
        why = errno ? std::strerror(errno) : "the file cannot be created";
        return false;
    }
    errno = 0;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
    if (!written)
        why = errno ? std::strerror(errno) : "the file cannot be written";
    if (std::fclose(file) != 0 && written) {
        written = false;
        why = errno ? std::strerror(errno) : "the file cannot be written";
    }
    std::error_code ec;
    if (written) {
        std::filesystem::rename(platform::nativePath(temporary), platform::nativePath(path), ec);
        if (!ec)
            return true;
        why = ec.message();
    }
    std::filesystem::remove(platform::nativePath(temporary), ec);
    return false;
}

class Run {
public:
    Run(Console& console, const platform::Locale& locale)
        : console_(console), locale_(locale), messages_(console), registry_(platform::systemRegistry()),
          errorReport_(messages_, clock_, files_, locale), database_(messages_, files_, errorReport_) {}

    int checkAll(const std::string& output) {
        // Said before the check, which may take minutes. "--check-all
        // property.mdb" is an easy slip for a database to check.
        if (output != "-" && files_.isFolder(output)) {
            messages_.showMessage("The list cannot be written to " + output + ": it is a folder. Nothing was checked.");
            return exitFailed;
        }
        if (output != "-" && isDatabaseFile(output)) {
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
            if (!writeFileWhole(output, csv.str(), why)) {
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

int RunCommandLine(const std::vector<std::string>& arguments, const platform::Locale& locale) {
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
        Run run(*console, locale);
        return run.checkAll(*request.checkAll);
    } catch (...) {
        // Nothing that escapes the check may pass for a result.
        console->write(Console::Stream::Error, std::string(program) + ": " + CurrentFailure().description + n);
        return exitFailed;
    }
}

} // namespace cli

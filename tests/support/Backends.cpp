#include "Backends.h"

#include "OdbcSession.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr const char* sqliteDriver = "Habitorium SQLite3";
constexpr const char* postgresDriver = "Habitorium PostgreSQL";
constexpr const char* testDatabase = "habitorium_test";

#ifndef _WIN32
// The first of the candidate files that exists.
std::string firstExisting(const std::vector<std::string>& candidates) {
    for (const std::string& candidate : candidates) {
        std::error_code ec;
        if (fs::exists(candidate, ec))
            return candidate;
    }
    return {};
}

// A program loads only drivers of its own architecture: a 32-bit test
// program looks in the i386 folder of Debian's multiarch, never in the
// 64-bit one (whose driver the driver manager would fail to load).
std::vector<std::string> driverFolders() {
    std::vector<std::string> folders;
#ifdef HABITORIUM_LIBRARY_ARCHITECTURE
    folders.push_back("/usr/lib/" HABITORIUM_LIBRARY_ARCHITECTURE "/odbc/");
#endif
    folders.push_back("/usr/lib/odbc/");
    if (sizeof(void*) == 8)
        folders.push_back("/usr/lib64/");
    folders.push_back("/usr/local/lib/");
    return folders;
}

std::string architecture() {
#ifdef HABITORIUM_LIBRARY_ARCHITECTURE
    return HABITORIUM_LIBRARY_ARCHITECTURE;
#else
    return std::to_string(sizeof(void*) * 8) + "-bit";
#endif
}

std::string driverFile(const char* file, const char* package) {
    const std::vector<std::string> folders = driverFolders();
    std::vector<std::string> candidates;
    for (const std::string& folder : folders)
        candidates.push_back(folder + file);
    const std::string found = firstExisting(candidates);
    if (found.empty())
        throw std::runtime_error(std::string("The ODBC driver ") + file + " is not installed in " + folders.front() +
                                 " (Debian package " + package +
                                 " of this program's architecture); install it with the project's set-up (build.sh).");
    return found;
}

#endif

// Why the drivers could not be registered (a driver not installed), said
// when a test asks for one; empty when they were.
std::string driverProblem;

// Writes the test-local odbcinst.ini once and points unixODBC at it. On
// Windows (under Wine) the drivers are those Wine's ODBC layer offers.
void registerDrivers() {
#ifndef _WIN32
    static const bool registered = [] {
        std::string sqlite, postgres;
        try {
            sqlite = driverFile("libsqlite3odbc.so", "libsqliteodbc");
            postgres = driverFile("psqlodbcw.so", "odbc-postgresql");
        } catch (const std::exception& error) {
            driverProblem = error.what();
        }
        // One folder for every test process of an architecture; each writes
        // the same file and puts it in place by a rename, so a reader never
        // sees half of it. A 32-bit and a 64-bit test program name other
        // drivers, so each architecture has a folder of its own.
        const fs::path folder = fs::temp_directory_path() / ("habitorium-odbc-" + architecture());
        fs::create_directories(folder);
        const std::string pid = std::to_string(getpid());
        {
            std::ofstream ini(folder / ("odbcinst.ini." + pid));
            ini << "[" << sqliteDriver << "]\nDriver=" << sqlite << "\n\n";
            ini << "[" << postgresDriver << "]\nDriver=" << postgres << "\n";
            std::ofstream(folder / ("odbc.ini." + pid)).close();
        }
        fs::rename(folder / ("odbcinst.ini." + pid), folder / "odbcinst.ini");
        fs::rename(folder / ("odbc.ini." + pid), folder / "odbc.ini");
        // Debian's SQLite ODBC driver has no wide functions: the driver
        // manager converts text through the character set of the process's
        // locale, which the tool (Qt) takes from the environment at start.
        // A test program does the same, so "Zoë" reaches it as UTF-8.
        std::setlocale(LC_CTYPE, "C.UTF-8");
        setenv("ODBCSYSINI", folder.c_str(), 1);
        setenv("ODBCINI", (folder / "odbc.ini").c_str(), 1);
        return true;
    }();
    (void)registered;
#endif
    if (!driverProblem.empty())
        throw std::runtime_error(driverProblem);
}

// The driver manager reads odbcinst.ini where ODBCSYSINI pointed at its first
// use and keeps to it: the drivers are registered when the test program
// starts, before any test can reach ODBC (a problem is said by the tests that
// need a driver).
const bool registeredAtStart = [] {
    try {
        registerDrivers();
    } catch (const std::exception&) {
    }
    return true;
}();

#ifndef _WIN32
int run(const std::string& command) {
    return std::system(command.c_str());
}

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A PostgreSQL server of the tests' own, stopped and removed when the test
// program ends.
class PostgresServer {
public:
    PostgresServer() {
        const std::string bin = postgresBin();
        folder_ = fs::temp_directory_path() / ("habitorium-pg-" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        // PostgreSQL refuses to run as root: the server runs as postgres.
        asUser_ = geteuid() == 0 ? "runuser -u postgres -- " : "";
        if (!asUser_.empty() && run("chown postgres " + quoted(folder_.string())) != 0)
            throw std::runtime_error("Cannot hand " + folder_.string() +
                                     " to the postgres user (is the Debian "
                                     "package postgresql installed?).");
        const std::string data = (folder_ / "data").string();
        if (run(asUser_ + quoted(bin + "/initdb") + " -D " + quoted(data) +
                " -A trust -U postgres -E UTF8 --no-sync > " + quoted((folder_ / "initdb.log").string()) + " 2>&1") !=
            0)
            throw std::runtime_error("initdb failed; see " + (folder_ / "initdb.log").string());
        // A private port: a few tries from one that depends on the process.
        for (int attempt = 0; attempt < 8 && port_ == 0; ++attempt) {
            const int port = 20000 + (getpid() * 7 + attempt * 131) % 30000;
            const std::string options = "-p " + std::to_string(port) + " -k " + folder_.string() +
                                        " -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off "
                                        "-c full_page_writes=off" +
                                        (std::getenv("HABITORIUM_TEST_PG_LOG") ? " -c log_statement=all" : "");
            if (run(asUser_ + quoted(bin + "/pg_ctl") + " -D " + quoted(data) + " -o " + quoted(options) + " -l " +
                    quoted((folder_ / "server.log").string()) + " -w -t 60 start > /dev/null 2>&1") == 0)
                port_ = port;
        }
        if (port_ == 0)
            throw std::runtime_error("The PostgreSQL test server did not start; see " +
                                     (folder_ / "server.log").string());
        bin_ = bin;
    }
    ~PostgresServer() {
        if (std::getenv("HABITORIUM_TEST_PG_LOG"))
            run("cat " + quoted((folder_ / "server.log").string()) + " >&2");
        run(asUser_ + quoted(bin_ + "/pg_ctl") + " -D " + quoted((folder_ / "data").string()) +
            " -m immediate -w stop > /dev/null 2>&1");
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    int port() const { return port_; }
    // pg_ctl restart keeps the options the server was started with.
    void restart() {
        if (run(asUser_ + quoted(bin_ + "/pg_ctl") + " -D " + quoted((folder_ / "data").string()) + " -l " +
                quoted((folder_ / "server.log").string()) + " -m fast -w -t 60 restart > /dev/null 2>&1") != 0)
            throw std::runtime_error("The PostgreSQL test server did not restart; see " +
                                     (folder_ / "server.log").string());
    }

private:
    static std::string postgresBin() {
        for (const char* version : {"15", "16", "17", "14", "13"}) {
            const std::string bin = std::string("/usr/lib/postgresql/") + version + "/bin";
            std::error_code ec;
            if (fs::exists(bin + "/initdb", ec) && fs::exists(bin + "/pg_ctl", ec))
                return bin;
        }
        throw std::runtime_error("PostgreSQL is not installed (Debian packages postgresql and postgresql-contrib); "
                                 "install them with the project's set-up (build.sh).");
    }

    fs::path folder_;
    std::string asUser_;
    std::string bin_;
    int port_ = 0;
};

PostgresServer& server() {
    static std::unique_ptr<PostgresServer> server = std::make_unique<PostgresServer>();
    return *server;
}

std::string serverConnection(const std::string& database) {
    PostgresServer* server = &::server();
    return std::string("Driver={") + postgresDriver + "};Server=127.0.0.1;Port=" + std::to_string(server->port()) +
           ";Database=" + database + ";Uid=postgres;Pwd=;";
}
#endif

} // namespace

BackendTraits traitsOf(Backend backend) {
    switch (backend) {
    case Backend::Sqlite:
        return {"Sqlite", false, true, false};
    case Backend::SqliteOdbc:
        return {"SqliteOdbc", true, true, false};
    case Backend::Postgres:
        break;
    }
    return {"Postgres", true, true, true};
}

std::vector<Backend> allBackends() {
    return {Backend::Sqlite, Backend::SqliteOdbc, Backend::Postgres};
}

std::string backendName(Backend backend) {
    return traitsOf(backend).name;
}

#ifdef _WIN32
namespace {
// Under Wine the drivers are Linux libraries: they open the file by its Linux
// path, which Wine's kernel32 gives. On Windows itself the path stays as it is.
std::string driverPath(const std::string& path) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName)
        return path;
    const std::wstring wide = std::filesystem::path(path).wstring();
    char* name = unixName(wide.c_str());
    if (!name)
        throw std::runtime_error("Wine has no Linux path for " + path);
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}
} // namespace
#else
static const std::string& driverPath(const std::string& path) {
    return path;
}
#endif

std::string sqliteOdbcConnection(const std::string& path) {
    registerDrivers();
    // No per-statement sync: the tests' files are temporary.
    return std::string("Driver={") + sqliteDriver + "};Database=" + driverPath(path) + ";Timeout=5000;";
}

std::string postgresConnection() {
    return postgresConnection(testDatabase);
}

void restartPostgresServer() {
#ifdef _WIN32
    throw std::runtime_error("The tests' PostgreSQL server is not restarted on Windows.");
#else
    if (const char* given = std::getenv("HABITORIUM_TEST_ODBC"); given && *given)
        throw std::runtime_error("The server named by HABITORIUM_TEST_ODBC is not the tests' own to restart.");
    server().restart();
#endif
}

std::string postgresConnection(const std::string& database) {
    registerDrivers();
    if (const char* given = std::getenv("HABITORIUM_TEST_ODBC"); given && *given) {
        if (database == testDatabase)
            return given;
        throw std::runtime_error("A second database on the server named by HABITORIUM_TEST_ODBC is not available.");
    }
#ifdef _WIN32
    throw std::runtime_error("Set HABITORIUM_TEST_ODBC to the ODBC connection string of a PostgreSQL database.");
#else
    static bool created = false;
    const std::string connection = serverConnection(database);
    if (database == testDatabase && !created) {
        OdbcSession admin(serverConnection("postgres"));
        admin.tryExec(std::string("create database ") + database);
        created = true;
    } else if (database != testDatabase) {
        OdbcSession admin(serverConnection("postgres"));
        admin.tryExec("create database " + database);
    }
    return connection;
#endif
}

// "Fix All" over a property database, timed with the repair journal and
// without it, beside a lower bound: the same reallocation done by a plain
// program with prepared statements in one transaction. Each works on its own
// copy of the database given, and the results are compared row by row.
//
//   habitorium-sample-db /tmp/bench.mdb --tenants 10000
//   fix_all_bench /tmp/bench.mdb [--rounds N]
//
// A shared machine's speed drifts by tens of percent within a minute, so the
// three are run in rounds (three unless told), one after the other in an
// order that turns each round; a ratio is the median of the rounds' own
// ratios, given with the ratio of the bests and of the medians.
//
// Given an ODBC connection string as well, "Fix All" also runs on that
// database (PostgreSQL through ODBC), which must hold the same sample
// (habitorium-sample-db --odbc "..." --tenants 10000 --force), and its
// figure is printed beside the others; its rows are compared with the
// SQLite run's.
//
// Then each runs in a process of its own, started afresh as a nightly check
// from cron starts it, in rounds again: the program's "--check-all" beside
// one pass of sqlite3 over the tables it reads (one_pass.sql, with SQLite's
// default page cache), and "Fix All" in a window of its own beside the plain
// program in a process of its own; on the ODBC database "--check-all" beside
// the same pass through psql. Each with its peak memory (the child's maximum
// resident set); the lists the checks write are compared with the list of
// the check in this process, the rows Fix All leaves with the plain
// program's.

#include "FakeRegistry.h"
#include "Recorders.h"
#include "engine/DBEngine.h"
#include "frmmain/qt/QtWindow.h"
#include "rent/CheckAll.h"
#include "rent/CheckCsv.h"

#include <QApplication>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// CPU time of the process, which other work on a shared machine disturbs
// far less than the time on the clock.
double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long peakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct ToolRun {
    double analysisSeconds = 0;
    double fixAllSeconds = 0;
    double analysisCpu = 0;
    double fixAllCpu = 0;
    int tenants = 0;
    std::size_t messages = 0;
};

// The tool's window on the database at path, over recording seams, with its
// journal in journalFolder.
struct ToolWindow {
    RecordingMessages messages;
    RecordingProgram program;
    FixedClock clock;
    TestFileSystem files;
    FakeRegistry registry;
    FixedUser user;
    BritishLocale locale;
    std::unique_ptr<QtWindow> window;

    ToolWindow(const std::string& path, const std::string& folder, const std::string& journalFolder)
        : files(folder), user(journalFolder) {
        registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
        registry.setting("DatabaseLocation", path);
        window =
            std::make_unique<QtWindow>(platform::Platform{messages, program, clock, files, registry, user, locale});
    }
    frmMain& form() { return window->form(); }
};

// "Check All" of every tenant of the list; the database is only read.
struct CheckRun {
    double seconds = 0;
    double cpu = 0;
    int listed = 0;
    std::string csv; // the list, as --check-all writes it
};

CheckRun runCheck(const std::string& path, const std::string& folder, const std::string& journalFolder) {
    ToolWindow tool(path, folder, journalFolder);
    frmMain& form = tool.form();
    form.Form_Activate();
    std::vector<std::string> tenants;
    for (int i = 0; i < form.Combo1->listCount(); ++i)
        tenants.push_back(form.Combo1->list(i));
    CheckRun run;
    const auto start = Clock::now();
    const double cpu = cpuSeconds();
    const rent::CheckResult result =
        rent::CheckAll(*form.database().CurrentDatabase, tenants, {form.rentGroup, form.extraChargeCodes}, tool.locale);
    run.seconds = seconds(Clock::now() - start);
    run.cpu = cpuSeconds() - cpu;
    run.listed = static_cast<int>(result.listed.size());
    std::ostringstream csv(std::ios::binary);
    rent::WriteCheckCsv(csv, result);
    run.csv = csv.str();
    return run;
}

// The journal (unless withJournal is false) goes in journalFolder.
ToolRun runTool(const std::string& path, const std::string& folder, const std::string& journalFolder,
                bool withJournal = true) {
    ToolWindow tool(path, folder, journalFolder);
    frmMain& form = tool.form();
    if (!withJournal)
        form.disableRepairJournal();
    form.Form_Activate();

    ToolRun run;
    run.tenants = form.Combo1->listCount();
    auto start = Clock::now();
    double cpu = cpuSeconds();
    for (int i = 0; i < run.tenants; ++i)
        form.SetListIndex(i);
    run.analysisSeconds = seconds(Clock::now() - start);
    run.analysisCpu = cpuSeconds() - cpu;

    start = Clock::now();
    cpu = cpuSeconds();
    form.cmdFixAll_Click();
    run.fixAllSeconds = seconds(Clock::now() - start);
    run.fixAllCpu = cpuSeconds() - cpu;
    run.messages = tool.messages.texts.size();
    return run;
}

// The lower bound: the allocation rules written directly against SQLite.
struct Baseline {
    sqlite3* db = nullptr;
    std::map<std::string, sqlite3_stmt*> statements;

    explicit Baseline(const std::string& path) {
        sqlite3_open(path.c_str(), &db);
        // The page cache the tool's connection has (128 MB): with SQLite's
        // default of 2 MB a large database's scattered rows are read from the
        // file again, and the lower bound would be lower than it.
        sqlite3_exec(db, "pragma cache_size = -131072", nullptr, nullptr, nullptr);
    }
    ~Baseline() {
        for (auto& [sql, stmt] : statements)
            sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    sqlite3_stmt* prepare(const std::string& sql) {
        sqlite3_stmt*& stmt = statements[sql];
        if (!stmt && sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            std::fprintf(stderr, "%s: %s\n", sql.c_str(), sqlite3_errmsg(db));
        sqlite3_reset(stmt);
        return stmt;
    }
    double sum(const std::string& sql, const std::string& tenant, const std::string& group) {
        sqlite3_stmt* s = prepare(sql);
        sqlite3_bind_text(s, 1, group.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, tenant.c_str(), -1, SQLITE_TRANSIENT);
        return sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_double(s, 0) : 0;
    }
    static long long currency(double v) { return std::llround(v * 10000); }

    void repair(const std::string& tenant, const std::string& rentGroup) {
        long long remaining = currency(
            sum("select coalesce(sum(amount), 0) from revenues where [revenue group] = ?1 and tenant_code = ?2", tenant,
                rentGroup));
        long long extra = currency(sum("select coalesce(sum(amount), 0) from revenues where [revenue group] in "
                                       "(select gl_code from glcodes where pay_extra_charges <> 0) and "
                                       "[revenue group] <> ?1 and tenant_code = ?2",
                                       tenant, rentGroup));
        // The rows as they are; the reset (every rent due made positive,
        // nothing paid) is made in memory, and only rows that change are written.
        struct Period {
            long long rowid;
            double due, paid, extra, extraPaid;
        };
        std::vector<Period> periods;
        std::vector<Period> stored;
        sqlite3_stmt* select = prepare("select rowid, rent_due, paid, extra_charges, extra_charges_paid from "
                                       "rent_periods where tenant_code = ?1 order by period_from");
        sqlite3_bind_text(select, 1, tenant.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(select) == SQLITE_ROW) {
            stored.push_back({sqlite3_column_int64(select, 0), sqlite3_column_double(select, 1),
                              sqlite3_column_double(select, 2), sqlite3_column_double(select, 3),
                              sqlite3_column_double(select, 4)});
            periods.push_back({stored.back().rowid, std::abs(stored.back().due), 0, stored.back().extra, 0});
        }
        auto pass = [&](double Period::*due, double Period::*paid, bool onlyNonZero) {
            for (Period& p : periods) {
                if (remaining == 0)
                    break;
                if (onlyNonZero && p.*due == 0)
                    continue;
                if (remaining / 10000.0 > p.*due) {
                    p.*paid = p.*due;
                    remaining = currency(remaining / 10000.0 - p.*due);
                } else {
                    p.*paid = remaining / 10000.0;
                    remaining = 0;
                }
            }
        };
        pass(&Period::due, &Period::paid, false);
        remaining += extra;
        pass(&Period::extra, &Period::extraPaid, true);
        if (remaining != 0 && !periods.empty())
            periods.back().paid += remaining / 10000.0;
        sqlite3_stmt* update =
            prepare("update rent_periods set rent_due = ?1, paid = ?2, extra_charges_paid = ?3 where rowid = ?4");
        for (std::size_t i = 0; i < periods.size(); ++i) {
            const Period& p = periods[i];
            const Period& s = stored[i];
            if (p.due == s.due && p.paid == s.paid && p.extraPaid == s.extraPaid)
                continue;
            sqlite3_reset(update);
            sqlite3_bind_double(update, 1, p.due);
            sqlite3_bind_double(update, 2, p.paid);
            sqlite3_bind_double(update, 3, p.extraPaid);
            sqlite3_bind_int64(update, 4, p.rowid);
            sqlite3_step(update);
        }
    }

    double cpu = 0;

    double run() {
        auto start = Clock::now();
        const double cpuStart = cpuSeconds();
        sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
        std::string rentGroup;
        sqlite3_stmt* options = prepare("select rent_group from options");
        if (sqlite3_step(options) == SQLITE_ROW && sqlite3_column_text(options, 0))
            rentGroup = reinterpret_cast<const char*>(sqlite3_column_text(options, 0));
        std::vector<std::string> tenants;
        sqlite3_stmt* list = prepare("select reference from tenancy where reference is not null order by reference");
        while (sqlite3_step(list) == SQLITE_ROW)
            tenants.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list, 0)));
        for (const std::string& tenant : tenants)
            repair(tenant, rentGroup);
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
        cpu = cpuSeconds() - cpuStart;
        return seconds(Clock::now() - start);
    }
};

// Rows whose money columns differ between the two files, to 4 decimal places.
int differences(const std::string& a, const std::string& b) {
    sqlite3* db = nullptr;
    sqlite3_open(a.c_str(), &db);
    sqlite3_exec(db, ("attach '" + b + "' as other").c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "select count(*) from rent_periods x join other.rent_periods y on x.rowid = y.rowid where "
                       "abs(x.paid - y.paid) > 0.00005 or abs(x.extra_charges_paid - y.extra_charges_paid) > 0.00005 "
                       "or abs(x.rent_due - y.rent_due) > 0.00005",
                       -1, &s, nullptr);
    int count = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : -1;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return count;
}

// Rows of the SQLite file and of the ODBC database (in the order both were
// written) whose money columns differ to 4 decimal places, or -1 when the
// row counts differ.
int odbcDifferences(const std::string& path, const std::string& odbc) {
    engine::DBEngine dbEngine;
    const char* sql = "select rent_due, paid, extra_charges_paid from rent_periods order by id";
    auto a = dbEngine.OpenDatabase(path)->OpenRecordset(sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
    auto b = dbEngine.OpenDatabase("ODBC;" + odbc)->OpenRecordset(sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
    int count = 0;
    for (; !a->Eof() && !b->Eof(); a->MoveNext(), b->MoveNext()) {
        for (const char* field : {"rent_due", "paid", "extra_charges_paid"}) {
            if (std::abs(a->Fields(field).Value().toDouble() - b->Fields(field).Value().toDouble()) > 0.00005) {
                ++count;
                break;
            }
        }
    }
    return a->Eof() && b->Eof() ? count : -1;
}

// A measure's values, one a round: their best (least) and median.
struct Spread {
    std::vector<double> values;
    double best() const { return *std::min_element(values.begin(), values.end()); }
    double median() const {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
};

// The ratio a / b: the median of the rounds' own ratios (each of two runs
// made within a minute of each other, so a drift of the machine's speed
// weighs on both), then the ratio of the bests and of the medians.
std::string ratioText(const Spread& a, const Spread& b) {
    Spread rounds;
    for (std::size_t i = 0; i < a.values.size() && i < b.values.size(); ++i)
        rounds.values.push_back(a.values[i] / b.values[i]);
    char text[160];
    std::snprintf(text, sizeof text, "%.2f (rounds", rounds.median());
    std::string out = text;
    for (double r : rounds.values) {
        std::snprintf(text, sizeof text, " %.2f", r);
        out += text;
    }
    std::snprintf(text, sizeof text, "; bests %.2f, medians %.2f)", a.best() / b.best(), a.median() / b.median());
    return out + text;
}

void printRatio(const char* label, const Spread& a, const Spread& b, const Spread& aCpu, const Spread& bCpu,
                const char* note = "") {
    std::printf("%-32s%s%s\n%-32sCPU time: %s\n", label, ratioText(a, b).c_str(), note, "",
                ratioText(aCpu, bCpu).c_str());
}

// ---- PostgreSQL through ODBC, directly and across a delaying proxy: the
// round trips a tenant costs, and its time beside SQLite's.

struct OdbcFigures {
    int tenants = 0;
    double analysisSeconds = 0;
    double fixAllSeconds = 0;
    std::uint64_t analysisTrips = 0;
    std::uint64_t fixAllTrips = 0;
    std::size_t messages = 0;
};

// The analysis of every tenant, then Fix All, on the ODBC location, counting
// the statements sent to the server.
OdbcFigures runOdbcCounted(const std::string& location, const std::string& folder, const std::string& journalFolder) {
    RecordingMessages messages;
    RecordingProgram program;
    FixedClock clock;
    TestFileSystem files(folder);
    FakeRegistry registry;
    registry.setDword(FakeRegistry::settingsKey, "Networkable", 1);
    registry.setting("DatabaseLocation", location);
    FixedUser user(journalFolder);
    BritishLocale locale;
    QtWindow window(platform::Platform{messages, program, clock, files, registry, user, locale});
    frmMain& form = window.form();
    form.Form_Activate();
    OdbcFigures figures;
    if (!form.database().CurrentDatabase)
        return figures;
    engine::Database& db = *form.database().CurrentDatabase;
    figures.tenants = form.Combo1->listCount();
    std::uint64_t trips = db.RoundTrips();
    auto start = Clock::now();
    for (int i = 0; i < figures.tenants; ++i)
        form.SetListIndex(i);
    figures.analysisSeconds = seconds(Clock::now() - start);
    figures.analysisTrips = db.RoundTrips() - trips;
    trips = db.RoundTrips();
    start = Clock::now();
    form.cmdFixAll_Click();
    figures.fixAllSeconds = seconds(Clock::now() - start);
    figures.fixAllTrips = form.database().CurrentDatabase->RoundTrips() - trips;
    figures.messages = messages.texts.size();
    return figures;
}

// The rent_periods rows as the sample left them, kept aside on the server
// once and put back before each run, so that every run repairs the same rows.
void keepOrRestoreSample(const std::string& odbc) {
    engine::DBEngine dbEngine;
    auto db = dbEngine.OpenDatabase("ODBC;" + odbc);
    try {
        db->Execute("create table bench_rent_periods as select * from rent_periods");
    } catch (const engine::EngineError&) {
        // Only the rows a run changed: rewriting every row would leave the
        // table full of dead row versions that no office's table carries.
        db->Execute("update rent_periods set rent_due = b.rent_due, paid = b.paid, extra_charges = b.extra_charges, "
                    "extra_charges_paid = b.extra_charges_paid from bench_rent_periods b where rent_periods.id = b.id "
                    "and (rent_periods.rent_due, rent_periods.paid, rent_periods.extra_charges, "
                    "rent_periods.extra_charges_paid) is distinct from (b.rent_due, b.paid, b.extra_charges, "
                    "b.extra_charges_paid)");
    }
}

// The delaying proxy (its own program) in front of the server's port.
struct DelayProxy {
    pid_t pid = -1;
    int port = 0;
    int input = -1;
    DelayProxy(int targetPort, int delayMicroseconds) {
#ifdef HABITORIUM_DELAY_PROXY
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            for (int fd : {in[0], in[1], out[0], out[1]})
                close(fd);
            const std::string target = std::to_string(targetPort), delay = std::to_string(delayMicroseconds);
            execl(HABITORIUM_DELAY_PROXY, HABITORIUM_DELAY_PROXY, target.c_str(), "--delay-us", delay.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input = in[1];
        FILE* answers = fdopen(out[0], "r");
        if (answers && std::fscanf(answers, "port %d", &port) != 1)
            port = 0;
#else
        (void)targetPort;
        (void)delayMicroseconds;
#endif
    }
    ~DelayProxy() {
        if (input >= 0)
            close(input); // the proxy ends when its input closes
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// A busy loop on every core that runs only when nothing else would
// (SCHED_IDLE), while it lives. On a virtual machine a core with nothing to
// do is halted, and waking it again for the answer of each round trip to a
// server on the same machine costs more than the round trip itself; with
// the cores kept awake the figures show the tool's and the server's own
// cost, as a server on another machine, whose cores are busy with other
// users, would see it.
struct CoresKeptAwake {
    std::vector<pid_t> pids;
    CoresKeptAwake() {
        const long cores = sysconf(_SC_NPROCESSORS_ONLN);
        const pid_t parent = getpid();
        for (long i = 0; i < std::max(cores, 1L); ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                // Gone with the benchmark, however it ends.
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (getppid() != parent)
                    _exit(0);
                sched_param none{};
                sched_setscheduler(0, SCHED_IDLE, &none);
                volatile unsigned long n = 0;
                for (;;)
                    n = n + 1;
            }
            if (pid > 0)
                pids.push_back(pid);
        }
    }
    ~CoresKeptAwake() {
        for (pid_t pid : pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    CoresKeptAwake(const CoresKeptAwake&) = delete;
    CoresKeptAwake& operator=(const CoresKeptAwake&) = delete;
};

// The connection string with its Port= replaced.
std::string withPort(const std::string& odbc, int port) {
    const std::string lower = [&] {
        std::string l;
        for (char c : odbc)
            l += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return l;
    }();
    const std::size_t at = lower.find("port=");
    if (at == std::string::npos)
        return odbc + ";Port=" + std::to_string(port) + ";";
    const std::size_t end = odbc.find(';', at);
    return odbc.substr(0, at) + "Port=" + std::to_string(port) + (end == std::string::npos ? "" : odbc.substr(end));
}

int portOf(const std::string& odbc) {
    std::string lower;
    for (char c : odbc)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t at = lower.find("port=");
    return at == std::string::npos ? 5432 : std::atoi(odbc.c_str() + at + 5);
}

void printOdbcFigures(const char* label, const OdbcFigures& f, double sqliteAnalysisMs, double sqliteFixAllMs) {
    const double n = std::max(f.tenants, 1);
    const double analysisMs = f.analysisSeconds * 1000.0 / n;
    const double fixAllMs = f.fixAllSeconds * 1000.0 / n;
    std::printf("%-32sanalysis: %.2f round trips a tenant, %.3f ms a tenant (%.1f x SQLite)\n", label,
                static_cast<double>(f.analysisTrips) / n, analysisMs, analysisMs / sqliteAnalysisMs);
    std::printf("%-32sFix All:  %.2f round trips a tenant (%llu in all), %.3f ms a tenant (%.1f x SQLite); %zu "
                "messages\n",
                "", static_cast<double>(f.fixAllTrips) / n, static_cast<unsigned long long>(f.fixAllTrips), fixAllMs,
                fixAllMs / sqliteFixAllMs, f.messages);
}

// The runs on the ODBC database: directly, directly with the cores kept
// awake, and through the proxy with a delay of delayMicroseconds each way.
// Each starts from the sample's rows and is measured against a run of the
// tool on a copy of the SQLite file made just before it, so that the
// machine's drift weighs on both alike.
void runOdbcWithAndWithoutDelay(const std::string& source, const std::string& odbc, const std::string& folder,
                                const std::string& journalFolder, int delayMicroseconds) {
    auto sqliteBeside = [&](const std::string& tag, double& analysisMs, double& fixAllMs) {
        const std::string copy = folder + "/beside-" + tag + ".mdb";
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
        const ToolRun run = runTool(copy, folder, journalFolder + "-sqlite-" + tag);
        analysisMs = run.analysisSeconds * 1000.0 / std::max(run.tenants, 1);
        fixAllMs = run.fixAllSeconds * 1000.0 / std::max(run.tenants, 1);
        fs::remove(copy);
        std::printf("%-32sanalysis %.3f ms a tenant, Fix All %.3f ms a tenant\n", ("SQLite, beside " + tag).c_str(),
                    analysisMs, fixAllMs);
    };
    double analysisMs = 0, fixAllMs = 0;
    sqliteBeside("direct", analysisMs, fixAllMs);
    keepOrRestoreSample(odbc);
    const OdbcFigures direct = runOdbcCounted("ODBC;" + odbc, folder, journalFolder + "-direct");
    printOdbcFigures("ODBC, server directly", direct, analysisMs, fixAllMs);
    keepOrRestoreSample(odbc);
    {
        const CoresKeptAwake awake;
        sqliteBeside("cores awake", analysisMs, fixAllMs);
        const OdbcFigures kept = runOdbcCounted("ODBC;" + odbc, folder, journalFolder + "-awake");
        printOdbcFigures("ODBC, directly, cores awake", kept, analysisMs, fixAllMs);
    }
    keepOrRestoreSample(odbc);
    DelayProxy proxy(portOf(odbc), delayMicroseconds);
    if (proxy.port == 0) {
        std::printf("ODBC through the proxy          (the delaying proxy could not be started)\n");
        return;
    }
    sqliteBeside("delayed", analysisMs, fixAllMs);
    const OdbcFigures delayed =
        runOdbcCounted("ODBC;" + withPort(odbc, proxy.port), folder, journalFolder + "-delayed");
    char label[64];
    std::snprintf(label, sizeof label, "ODBC, %.2f ms each way", delayMicroseconds / 1000.0);
    printOdbcFigures(label, delayed, analysisMs, fixAllMs);
    keepOrRestoreSample(odbc);
}

// ---- Fresh processes.

// A program run in a process of its own: its time on the clock from its start
// to its end, its CPU time (user and system) and its peak memory, as the
// kernel counts them for the child (measured by measured-run, whose child it
// is); what it wrote on standard output.
struct ProcessRun {
    double seconds = 0;
    double cpu = 0;
    long peakKb = 0;
    int status = -1; // its exit status; -1 when it did not exit
    std::string output;
};

// Runs argv (argv[0] looked up in PATH) with env set in its environment and
// its standard input read from the file input (none when empty).
ProcessRun runProcess(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
                      const std::string& input = {}) {
    static int serial = 0;
    const std::string figures =
        (fs::temp_directory_path() / ("measured-" + std::to_string(getpid()) + "-" + std::to_string(++serial)))
            .string();
    ProcessRun run;
    int out[2];
    if (pipe(out) != 0)
        return run;
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        if (!input.empty()) {
            const int in = open(input.c_str(), O_RDONLY);
            if (in < 0)
                _exit(127);
            dup2(in, STDIN_FILENO);
            close(in);
        }
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> args = {const_cast<char*>(HABITORIUM_MEASURED_RUN), const_cast<char*>(figures.c_str())};
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[4096];
    for (ssize_t n; pid > 0 && (n = read(out[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    if (std::FILE* in = std::fopen(figures.c_str(), "r")) {
        if (std::fscanf(in, "seconds %lf cpu %lf peak_kb %ld status %d", &run.seconds, &run.cpu, &run.peakKb,
                        &run.status) != 4)
            run.status = -1;
        std::fclose(in);
    }
    fs::remove(figures);
    return run;
}

// A registry file that points the program at location.
std::string registryFor(const std::string& file, const std::string& location) {
    std::ofstream out(file, std::ios::binary);
    out << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings]\n"
           "\"Networkable\"=dword:00000001\n\"DatabaseLocation\"=\"";
    for (char c : location)
        out << (c == '"' || c == '\\' ? "\\" : "") << c;
    out << "\"\n";
    return file;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lines in which two lists differ (line for line; the longer's extra
// lines count too).
int linesThatDiffer(const std::string& a, const std::string& b) {
    std::istringstream x(a), y(b);
    std::string p, q;
    int count = 0;
    for (;;) {
        const bool more = static_cast<bool>(std::getline(x, p));
        const bool moreToo = static_cast<bool>(std::getline(y, q));
        if (!more && !moreToo)
            return count;
        count += !more || !moreToo || p != q;
    }
}

// A value of the ODBC connection string (its key in any case); empty when none.
std::string connectionValue(const std::string& odbc, const std::string& key) {
    std::string lower;
    for (char c : odbc)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t at = 0;
    while ((at = lower.find(key + "=", at)) != std::string::npos) {
        if (at == 0 || lower[at - 1] == ';') {
            const std::size_t begin = at + key.size() + 1;
            const std::size_t end = odbc.find(';', begin);
            return odbc.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        }
        at += key.size();
    }
    return {};
}

// psql's environment for the database of the ODBC connection string.
std::vector<std::pair<std::string, std::string>> psqlEnvironment(const std::string& odbc) {
    std::vector<std::pair<std::string, std::string>> env;
    for (const auto& [key, name] : {std::pair<const char*, const char*>{"server", "PGHOST"},
                                    {"port", "PGPORT"},
                                    {"database", "PGDATABASE"},
                                    {"uid", "PGUSER"},
                                    {"pwd", "PGPASSWORD"}}) {
        const std::string value = connectionValue(odbc, key);
        if (!value.empty())
            env.emplace_back(name, value);
    }
    return env;
}

// What a child run of this program measured of its one action (the part of
// its output "seconds S cpu C"), with the process's own figures.
struct ChildRun {
    ProcessRun process;
    double seconds = 0;
    double cpu = 0;
};

ChildRun runChild(const std::string& action, const std::string& path, const std::string& journalFolder) {
    ChildRun run;
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    run.process = runProcess({self, "--child", action, path, journalFolder}, {});
    std::sscanf(run.process.output.c_str(), "seconds %lf cpu %lf", &run.seconds, &run.cpu);
    return run;
}

// The child's one action, measured: the window opened on path and "Fix All"
// pressed, or the plain program's repair of every tenant.
int childAction(const std::string& action, const std::string& path, const std::string& journalFolder) {
    double elapsed = 0, cpu = 0;
    if (action == "fix-all") {
        TempDir folder;
        ToolWindow tool(path, folder.path().string(), journalFolder);
        frmMain& form = tool.form();
        form.Form_Activate();
        const auto start = Clock::now();
        const double cpuStart = cpuSeconds();
        form.cmdFixAll_Click();
        elapsed = seconds(Clock::now() - start);
        cpu = cpuSeconds() - cpuStart;
    } else if (action == "plain") {
        Baseline baseline(path);
        elapsed = baseline.run();
        cpu = baseline.cpu;
    } else {
        return 2;
    }
    std::printf("seconds %.6f cpu %.6f\n", elapsed, cpu);
    return 0;
}

void printFresh(const char* label, const Spread& seconds, const Spread& cpu, const Spread& peakKb) {
    std::printf("%-32s%.3f s median (CPU %.3f s), peak memory %.1f MB median (%.1f to %.1f)\n", label, seconds.median(),
                cpu.median(), peakKb.median() / 1024.0, peakKb.best() / 1024.0,
                *std::max_element(peakKb.values.begin(), peakKb.values.end()) / 1024.0);
}

// The runs in processes of their own (see the top of the file); returns the
// number of lists and rows that differ. checkCsv is the list of the check in
// this process.
int runFresh(const std::string& source, const std::string& odbc, const TempDir& work, int rounds,
             const std::string& checkCsv) {
    const std::vector<std::pair<std::string, std::string>> toSqlite = {
        {"HABITORIUM_REGISTRY", registryFor(work.file("fresh-sqlite.reg"), source)}};
    Spread check, checkCpu, checkPeak, pass, passCpu, passPeak, fixAll, fixAllCpu, fixAllPeak, plain, plainCpu,
        plainPeak, odbcCheck, odbcCheckCpu, odbcCheckPeak, psqlPass, psqlPassCpu, psqlPassPeak;
    int differ = 0;
    int failed = 0;
    const auto record = [&](const ProcessRun& run, Spread& time, Spread& cpu, Spread& peak, bool agrees) {
        time.values.push_back(run.seconds);
        cpu.values.push_back(run.cpu);
        peak.values.push_back(static_cast<double>(run.peakKb));
        failed += !agrees;
    };
    std::string odbcCsv;
    for (int round = 0; round < rounds; ++round) {
        const std::string tag = std::to_string(round);
        const std::string fixed = work.file("fresh-fix-" + tag + ".mdb");
        const std::string planned = work.file("fresh-plain-" + tag + ".mdb");
        fs::copy_file(source, fixed);
        fs::copy_file(source, planned);
        for (int step = 0; step < 4; ++step) {
            switch ((round + step) % 4) {
            case 0: {
                // --check-all exits 1 when tenants are listed, 0 when none is.
                const std::string csv = work.file("fresh-check-" + tag + ".csv");
                const ProcessRun run = runProcess({HABITORIUM_TOOL, "--check-all", csv}, toSqlite);
                record(run, check, checkCpu, checkPeak, run.status == 0 || run.status == 1);
                differ += linesThatDiffer(fileText(csv), checkCsv);
                break;
            }
            case 1: {
                const ProcessRun run = runProcess({"sqlite3", source}, {}, HABITORIUM_ONE_PASS);
                record(run, pass, passCpu, passPeak, run.status == 0);
                break;
            }
            case 2: {
                const ChildRun run = runChild("fix-all", fixed, work.file("fresh-journal-" + tag));
                ProcessRun action = run.process;
                action.seconds = run.seconds;
                action.cpu = run.cpu;
                record(action, fixAll, fixAllCpu, fixAllPeak, run.process.status == 0);
                break;
            }
            default: {
                const ChildRun run = runChild("plain", planned, std::string());
                ProcessRun action = run.process;
                action.seconds = run.seconds;
                action.cpu = run.cpu;
                record(action, plain, plainCpu, plainPeak, run.process.status == 0);
                break;
            }
            }
        }
        differ += differences(fixed, planned);
        fs::remove(fixed);
        fs::remove(planned);
        if (odbc.empty())
            continue;
        // The server's runs in the same round, the pass first in odd rounds.
        for (int step = 0; step < 2; ++step) {
            if ((round + step) % 2 == 0) {
                const std::string csv = work.file("fresh-odbc-check-" + tag + ".csv");
                const ProcessRun run =
                    runProcess({HABITORIUM_TOOL, "--check-all", csv},
                               {{"HABITORIUM_REGISTRY", registryFor(work.file("fresh-odbc.reg"), "ODBC;" + odbc)}});
                record(run, odbcCheck, odbcCheckCpu, odbcCheckPeak, run.status == 0 || run.status == 1);
                odbcCsv = fileText(csv);
            } else {
                const ProcessRun run =
                    runProcess({"psql", "-X", "-q", "-f", HABITORIUM_ONE_PASS}, psqlEnvironment(odbc));
                record(run, psqlPass, psqlPassCpu, psqlPassPeak, run.status == 0);
            }
        }
    }
    std::printf("fresh processes (%d rounds; times of the whole process, but Fix All's and the plain program's "
                "of their work alone)\n",
                rounds);
    printFresh("Check All (--check-all)", check, checkCpu, checkPeak);
    printFresh("one pass of sqlite3", pass, passCpu, passPeak);
    printRatio("ratio Check All / one pass", check, pass, checkCpu, passCpu);
    printFresh("Fix All (a window of its own)", fixAll, fixAllCpu, fixAllPeak);
    printFresh("plain program", plain, plainCpu, plainPeak);
    printRatio("ratio Fix All / plain program", fixAll, plain, fixAllCpu, plainCpu);
    if (!odbc.empty()) {
        printFresh("ODBC: Check All (--check-all)", odbcCheck, odbcCheckCpu, odbcCheckPeak);
        printFresh("ODBC: one pass of psql", psqlPass, psqlPassCpu, psqlPassPeak);
        printRatio("ratio ODBC Check All / psql", odbcCheck, psqlPass, odbcCheckCpu, psqlPassCpu);
        printRatio("ratio ODBC / SQLite Check All", odbcCheck, check, odbcCheckCpu, checkCpu);
        const int odbcDiffer = linesThatDiffer(odbcCsv, checkCsv);
        std::printf("lines of the list that differ, ODBC / SQLite  %d\n", odbcDiffer);
        differ += odbcDiffer;
    }
    std::printf("runs that failed                %d\n", failed);
    std::printf("lists and rows that differ      %d\n", differ);
    return differ + failed;
}

} // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is known
    // A run of its own, started by runChild.
    if (args.size() == 4 && args[0] == "--child") {
        if (args[1] != "fix-all")
            return childAction(args[1], args[2], args[3]);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication application(argc, argv);
        return childAction(args[1], args[2], args[3]);
    }
    int rounds = 3;
    bool freshOnly = false;
    for (std::size_t i = 0; i < args.size();) {
        if (args[i] == "--rounds" && i + 1 < args.size()) {
            rounds = std::max(1, std::atoi(args[i + 1].c_str()));
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        } else if (args[i] == "--fresh-only") {
            freshOnly = true;
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    const bool flagLeft =
        std::any_of(args.begin(), args.end(), [](const std::string& a) { return a.rfind("--", 0) == 0; });
    if ((args.size() != 1 && args.size() != 2) || flagLeft) {
        std::fprintf(stderr, "usage: %s PROPERTY_DATABASE [ODBC_CONNECTION_STRING] [--rounds N] [--fresh-only]\n",
                     argv[0]);
        return 2;
    }
    const std::string source = args[0];
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (freshOnly) {
        // Only the runs in processes of their own, against the list of one
        // check in this process.
        TempDir work;
        const CheckRun run = runCheck(source, work.path().string(), work.file("journal-check"));
        return runFresh(source, args.size() == 2 ? args[1] : std::string(), work, rounds, run.csv) == 0 ? 0 : 1;
    }

    TempDir work;
    Spread analysis, analysisCpu, withJournal, withJournalCpu, withoutJournal, withoutJournalCpu, plain, plainCpu,
        check, checkCpu;
    int listed = 0;
    ToolRun tool;
    std::uintmax_t journalBytes = 0;
    int diff = 0;
    int journalDiff = 0;
    std::string toolCopy;
    std::string checkCsv;
    for (int round = 0; round < rounds; ++round) {
        const std::string tag = std::to_string(round);
        const std::string with = work.file("with-" + tag + ".mdb");
        const std::string without = work.file("without-" + tag + ".mdb");
        const std::string lower = work.file("plain-" + tag + ".mdb");
        for (const std::string& copy : {with, without, lower})
            fs::copy_file(source, copy);
        // Each round begins with a different one of the four.
        for (int step = 0; step < 4; ++step) {
            switch ((round + step) % 4) {
            case 3: {
                const CheckRun run = runCheck(source, work.path().string(), work.file("journal-check-" + tag));
                check.values.push_back(run.seconds);
                checkCpu.values.push_back(run.cpu);
                listed = run.listed;
                checkCsv = run.csv;
                break;
            }
            case 0: {
                const ToolRun run = runTool(with, work.path().string(), work.file("journal-" + tag));
                withJournal.values.push_back(run.fixAllSeconds);
                withJournalCpu.values.push_back(run.fixAllCpu);
                analysis.values.push_back(run.analysisSeconds);
                analysisCpu.values.push_back(run.analysisCpu);
                tool = run;
                break;
            }
            case 1: {
                const ToolRun run = runTool(without, work.path().string(), work.file("journal-" + tag), false);
                withoutJournal.values.push_back(run.fixAllSeconds);
                withoutJournalCpu.values.push_back(run.fixAllCpu);
                break;
            }
            default: {
                Baseline baseline(lower);
                plain.values.push_back(baseline.run());
                plainCpu.values.push_back(baseline.cpu);
                break;
            }
            }
        }
        if (round == 0) {
            for (const auto& file : fs::directory_iterator(work.file("journal-" + tag)))
                journalBytes += file.file_size();
            diff = differences(with, lower);
            journalDiff = differences(with, without);
            toolCopy = work.file("result.mdb");
            fs::copy_file(with, toolCopy);
        }
        for (const std::string& copy : {with, without, lower})
            fs::remove(copy);
    }
    const long toolPeak = peakMemoryKb();
    std::optional<ToolRun> odbc;
    Spread odbcCheck;
    int odbcListed = 0;
    if (args.size() == 2) {
        keepOrRestoreSample(args[1]); // the sample's rows, for the runs counted below
        // The check first, as many times as the rounds above: it reads the
        // sample as it was given.
        for (int round = 0; round < rounds; ++round) {
            const CheckRun run = runCheck(std::string("ODBC;") + args[1], work.path().string(),
                                          work.file("journal-odbc-check-" + std::to_string(round)));
            odbcCheck.values.push_back(run.seconds);
            odbcListed = run.listed;
        }
        odbc = runTool(std::string("ODBC;") + args[1], work.path().string(), work.file("journal-odbc"));
    }

    const double perTenantMs = 1000.0 / std::max(tool.tenants, 1);
    std::printf("tenants                         %d (%d rounds)\n", tool.tenants, rounds);
    std::printf("tool: analysis of every tenant  %.3f s best, %.3f median (%.3f ms a tenant)\n", analysis.best(),
                analysis.median(), analysis.best() * perTenantMs);
    std::printf("tool: Fix All with journal      %.3f s best, %.3f median (%.3f ms a tenant)\n", withJournal.best(),
                withJournal.median(), withJournal.best() * perTenantMs);
    std::printf("tool: Fix All without journal   %.3f s best, %.3f median\n", withoutJournal.best(),
                withoutJournal.median());
    std::printf("lower bound: plain program      %.3f s best, %.3f median (%.3f ms a tenant)\n", plain.best(),
                plain.median(), plain.best() * perTenantMs);
    printRatio("ratio Fix All / lower bound", withJournal, plain, withJournalCpu, plainCpu, " (journal on)");
    printRatio("ratio analysis / lower bound", analysis, plain, analysisCpu, plainCpu,
               " (one tenant's analysis against its whole repair)");
    printRatio("ratio with / without journal", withJournal, withoutJournal, withJournalCpu, withoutJournalCpu);
    std::printf("tool: Check All                 %.3f s best, %.3f median (%d tenants listed)\n", check.best(),
                check.median(), listed);
    printRatio("ratio Check All / lower bound", check, plain, checkCpu, plainCpu, " (reading only)");
    std::printf("journal: one Fix All            %.1f MB\n", static_cast<double>(journalBytes) / 1e6);
    std::printf("tool: peak memory               %ld KiB\n", toolPeak);
    std::printf("tool: messages shown            %zu\n", tool.messages);
    std::printf("rows that differ                %d (with / without journal %d)\n", diff, journalDiff);
    if (journalDiff != 0)
        diff = 1;
    if (odbc) {
        std::printf("ODBC: tenants                   %d\n", odbc->tenants);
        std::printf("ODBC: analysis of every tenant  %.3f s (%.3f ms a tenant)\n", odbc->analysisSeconds,
                    odbc->analysisSeconds * 1000.0 / std::max(odbc->tenants, 1));
        std::printf("ODBC: Fix All                   %.3f s (%.3f ms a tenant)\n", odbc->fixAllSeconds,
                    odbc->fixAllSeconds * 1000.0 / std::max(odbc->tenants, 1));
        std::printf("ODBC: messages shown            %zu\n", odbc->messages);
        std::printf("ratio ODBC / SQLite Fix All     %.1f\n", odbc->fixAllSeconds / withJournal.median());
        std::printf("ratio ODBC / lower bound        %.1f\n", odbc->fixAllSeconds / plain.median());
        std::string checkRounds;
        for (double seconds : odbcCheck.values)
            checkRounds += (checkRounds.empty() ? "" : " ") + std::to_string(seconds).substr(0, 5);
        std::printf("ODBC: Check All                 %.3f s median (rounds %s; %d tenants listed)\n",
                    odbcCheck.median(), checkRounds.c_str(), odbcListed);
        std::printf("ratio ODBC / SQLite Check All   %.1f (median to median)\n", odbcCheck.median() / check.median());
        const int odbcDiff = odbcDifferences(toolCopy, args[1]);
        std::printf("rows that differ, ODBC / SQLite %d\n", odbcDiff);
        if (odbcDiff != 0)
            diff = 1;
        runOdbcWithAndWithoutDelay(source, args[1], work.path().string(), work.file("journal-odbc-counted"), 250);
    }
    if (runFresh(source, args.size() == 2 ? args[1] : std::string(), work, rounds, checkCsv) != 0)
        diff = 1;
    return diff == 0 ? 0 : 1;
}

#include "SampleWriter.h"

#include "PropertySchema.h"

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace sample {

namespace fs = std::filesystem;

namespace {

struct ConnectionCloser {
    void operator()(sqlite3* connection) const { sqlite3_close_v2(connection); }
};
struct StatementFinaliser {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

[[noreturn]] void fail(sqlite3* connection, const std::string& doing) {
    throw SampleWriteError(doing + ": " + sqlite3_errmsg(connection));
}

void execute(sqlite3* connection, const char* sql, const char* doing) {
    if (sqlite3_exec(connection, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(connection, doing);
    }
}

// One prepared insert, bound and stepped once per row.
class Insert {
public:
    Insert(sqlite3* connection, const char* sql) : connection_(connection) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(connection, sql, -1, &raw, nullptr) != SQLITE_OK) {
            fail(connection, "preparing an insert");
        }
        statement_.reset(raw);
    }

    Insert& text(int column, const std::string& value) {
        check(sqlite3_bind_text(statement_.get(), column, value.data(), static_cast<int>(value.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    Insert& date(int column, Day day) {
        char text[64];
        writeIsoDate(day, text);
        check(sqlite3_bind_text(statement_.get(), column, text, 10, SQLITE_TRANSIENT));
        return *this;
    }
    Insert& money(int column, Cents cents) {
        check(sqlite3_bind_double(statement_.get(), column, static_cast<double>(cents) / 100.0));
        return *this;
    }
    Insert& integer(int column, std::int64_t value) {
        check(sqlite3_bind_int64(statement_.get(), column, value));
        return *this;
    }
    Insert& null(int column) {
        check(sqlite3_bind_null(statement_.get(), column));
        return *this;
    }

    void run() {
        if (sqlite3_step(statement_.get()) != SQLITE_DONE) {
            fail(connection_, "writing a row");
        }
        sqlite3_reset(statement_.get());
    }

private:
    void check(int result) {
        if (result != SQLITE_OK) {
            fail(connection_, "binding a value");
        }
    }

    sqlite3* connection_;
    std::unique_ptr<sqlite3_stmt, StatementFinaliser> statement_;
};

std::string lowerCase(std::string text) {
    for (char& letter : text) {
        if (letter >= 'A' && letter <= 'Z') {
            letter = static_cast<char>(letter - 'A' + 'a');
        }
    }
    return text;
}

void writeRows(sqlite3* connection, const SampleData& data) {
    Insert options(connection, "insert into options (company_name, rent_group) values (?, ?)");
    options.text(1, companyName).text(2, rentGroup).run();

    Insert glcodes(connection, "insert into glcodes (gl_code, description, pay_extra_charges) values (?, ?, ?)");
    for (const LedgerCode& code : ledgerCodes) {
        glcodes.text(1, code.code).text(2, code.description).integer(3, code.paysExtraCharges ? -1 : 0).run();
    }

    Insert tenancy(connection, "insert into tenancy (reference, name, [property code], [when started], [when ended]) "
                               "values (?, ?, ?, ?, ?)");
    for (const Tenancy& row : data.tenancies) {
        tenancy.text(1, row.reference).text(2, row.name).text(3, data.properties[row.property].code);
        tenancy.date(4, row.started);
        if (row.ended) {
            tenancy.date(5, *row.ended);
        } else {
            tenancy.null(5);
        }
        tenancy.run();
    }

    Insert period(connection, "insert into rent_periods (tenant_code, period_from, period_to, rent_due, paid, "
                              "extra_charges, extra_charges_paid) values (?, ?, ?, ?, ?, ?, ?)");
    for (const PeriodRow& row : data.periods) {
        period.text(1, data.tenancies[row.tenant].reference).date(2, row.from).date(3, row.to);
        period.money(4, row.rentDue).money(5, row.paid).money(6, row.extraCharges).money(7, row.extraChargesPaid);
        period.run();
    }

    Insert charge(connection,
                  "insert into rent_periods_charges (tenantcode, period_from, description, value) values (?, ?, ?, ?)");
    for (const ChargeRow& row : data.charges) {
        charge.text(1, data.tenancies[row.tenant].reference).date(2, row.periodFrom);
        charge.text(3, data.texts.text(row.description)).money(4, row.value).run();
    }

    Insert revenue(connection, "insert into revenues (tenant_code, [revenue group], amount, date, [property code], "
                               "description) values (?, ?, ?, ?, ?, ?)");
    for (const RevenueRow& row : data.revenues) {
        const std::string& reference = data.tenancies[row.tenant].reference;
        revenue.text(1, row.lowerCaseCode ? lowerCase(reference) : reference).text(2, ledgerCode(row.ledger).code);
        revenue.money(3, row.amount).date(4, row.date).text(5, data.properties[row.property].code);
        revenue.text(6, data.texts.text(row.description)).run();
    }
}

// The temporary file and its journal, removed unless the file was published.
// An interrupt removes them too: the handler may only make plain system calls,
// so the paths are kept in fixed buffers.
char pendingDatabase[4096];
char pendingJournal[4096 + 8];

extern "C" void removePendingAndStop(int signalNumber) {
#if !defined(_WIN32)
    if (pendingDatabase[0] != '\0') {
        unlink(pendingDatabase);
        unlink(pendingJournal);
    }
#endif
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// A signal the caller ignores (nohup, a background job) stays ignored.
void catchSignal(int signalNumber) {
    if (std::signal(signalNumber, removePendingAndStop) == SIG_IGN) {
        std::signal(signalNumber, SIG_IGN);
    }
}

class PendingFile {
public:
    explicit PendingFile(fs::path path) : path_(std::move(path)) {
        const std::string text = path_.string();
        if (text.size() + 1 > sizeof pendingDatabase) {
            throw SampleWriteError("the output path is too long");
        }
        std::memcpy(pendingDatabase, text.c_str(), text.size() + 1);
        std::memcpy(pendingJournal, text.c_str(), text.size());
        std::memcpy(pendingJournal + text.size(), "-journal", 9);
        catchSignal(SIGINT);
        catchSignal(SIGTERM);
#if !defined(_WIN32)
        catchSignal(SIGHUP);
#endif
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    ~PendingFile() {
        std::error_code ignored;
        if (!published_) {
            fs::remove(path_, ignored);
            fs::remove(fs::path(path_.string() + "-journal"), ignored);
        }
        pendingDatabase[0] = '\0';
    }

    const fs::path& path() const {
        return path_;
    }
    void published() {
        published_ = true;
    }

private:
    fs::path path_;
    bool published_ = false;
};

fs::path temporaryPathFor(const fs::path& output) {
#if defined(_WIN32)
    const auto process = _getpid();
#else
    const auto process = getpid();
#endif
    std::string name = output.filename().string();
    name.insert(name.begin(), '.');
    name += '.';
    name += std::to_string(process);
    name += ".partial";
    return output.parent_path() / name;
}

// Creates the temporary file, refusing to take over a file of that name.
void createEmpty(const fs::path& path) {
#if defined(_WIN32)
    // Made here, empty, as on other systems: SQLite then opens it without
    // creating a file of its own.
    const int descriptor = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor < 0) {
        throw SampleWriteError("cannot create " + path.string() + ": " + std::strerror(errno));
    }
    _close(descriptor);
#else
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (descriptor < 0) {
        throw SampleWriteError("cannot create " + path.string() + ": " + std::strerror(errno));
    }
    close(descriptor);
#endif
}

[[noreturn]] void refuseExisting(const fs::path& output) {
    throw SampleWriteError(output.string() + " already exists; use --force to replace it");
}

// Moves the finished file to its name. Without replace, a file that appeared
// there meanwhile is not overwritten: a hard link fails if the name is taken.
void publish(const fs::path& temporary, const fs::path& output, bool replace) {
#if !defined(_WIN32)
    if (!replace) {
        if (link(temporary.c_str(), output.c_str()) == 0) {
            unlink(temporary.c_str());
            return;
        }
        if (errno == EEXIST) {
            refuseExisting(output);
        }
        // The file system has no hard links: check, then rename.
    }
#endif
    checkOutput(output, replace);
    std::error_code error;
    fs::rename(temporary, output, error);
    if (error) {
        throw SampleWriteError("cannot rename " + temporary.string() + " to " + output.string() + ": " +
                               error.message());
    }
}

// Makes the rename itself survive a crash of the machine.
void syncFolder([[maybe_unused]] const fs::path& folder) {
#if !defined(_WIN32)
    const int descriptor = open(folder.empty() ? "." : folder.c_str(), O_RDONLY);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
#endif
}

} // namespace

void checkOutput(const fs::path& output, bool replace) {
    std::error_code error;
    if (fs::is_directory(output, error)) {
        throw SampleWriteError(output.string() + " is a folder");
    }
    if (!replace && fs::exists(fs::symlink_status(output, error))) {
        refuseExisting(output);
    }
    const fs::path folder = output.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error)) {
        throw SampleWriteError("cannot write " + output.string() + ": there is no folder " + folder.string());
    }
}

void writeSampleDatabase(const SampleData& data, const fs::path& output, bool replace) {
    checkOutput(output, replace);

    PendingFile pending(temporaryPathFor(output));
    createEmpty(pending.path());
    {
        sqlite3* raw = nullptr;
        const int opened = sqlite3_open_v2(pending.path().string().c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        Connection connection(raw);
        if (opened != SQLITE_OK) {
            throw SampleWriteError("cannot open " + pending.path().string() + ": " +
                                   (raw ? sqlite3_errmsg(raw) : "out of memory"));
        }
        // A large cache keeps the whole load in memory until the commit.
        execute(connection.get(), "pragma cache_size = -65536", "setting the cache size");
        execute(connection.get(), "begin", "starting the transaction");
        execute(connection.get(), property_schema::tableDefinitions, "creating the tables");
        writeRows(connection.get(), data);
        execute(connection.get(), property_schema::indexDefinitions, "creating the indexes");
        execute(connection.get(), "commit", "committing");
        if (sqlite3_close(connection.release()) != SQLITE_OK) {
            throw SampleWriteError("cannot close " + pending.path().string());
        }
    }
    publish(pending.path(), output, replace);
    pending.published();
    syncFolder(output.parent_path());
}

} // namespace sample

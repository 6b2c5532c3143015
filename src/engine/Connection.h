#pragma once
// What a backend of the engine provides: one open connection to a database,
// shared by the Database and the recordsets opened on it. Callers of the
// engine never see this; they use Database and Recordset, and learn what the
// database can do through Database's capability questions.

#include "engine/Variant.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// A mark of what a database holds (see Connection::changeMark).
struct ChangeMark {
    std::int64_t others = 0;
    std::int64_t own = 0;
    bool operator==(const ChangeMark&) const = default;
};

// How long a statement waits for another user's lock before it fails.
inline constexpr int defaultBusyTimeoutMs = 5000;

// The rows of one query, read whole when the recordset is opened.
struct Rows {
    std::vector<std::string> names;
    std::vector<std::vector<Variant>> values;
    // When the recordset is editable: the table the rows are written back to,
    // the table column of each field, and for each row the values that find it
    // again in its table (its key, in the order of keyColumns). The backend
    // fills and reads these; the recordset only carries them.
    std::string table;
    std::vector<std::string> columns;
    std::vector<std::string> keyColumns;
    std::vector<std::vector<Variant>> keys;
    // The backend's note of what the rows were read in (SQLite: the
    // transaction, and the count of changes to the table then), so that a
    // write-back can tell whether rows it did not write may have changed since.
    std::uint64_t readTransaction = 0;
    std::uint64_t tableChanges = 0;

    // Whether the rows carry all a write-back needs.
    bool writable() const {
        return !table.empty() && columns.size() == names.size() && keys.size() == values.size() && !keyColumns.empty();
    }
};

// Takes one row of a query read forward: the names of its fields and the row's
// values, in the same order (both valid only during the call). Returns false to
// stop the reading there.
using RowReader = std::function<bool(const std::vector<std::string>& names, const std::vector<Variant>& values)>;

// Money is the original engine's currency: a backend's sums of money are
// exact to four places, never a binary residue. The SQLite backend adds up
// with its own sum(): each row's value taken as currency (rounded half to even
// to four places) and added as a scaled 64-bit integer; a value that is not a
// number is errTypeMismatch and a value or total outside the currency range
// errOverflow, each naming the value, never counted as 0 or shown as infinity;
// a money column is written as currency. A database with exact decimal money
// columns adds them up exactly by itself. The tool has no sums that are not
// money.
class Connection {
public:
    virtual ~Connection() = default;

    // The database's name as it is shown and logged: a file's path, or a
    // connection text with any password masked.
    virtual const std::string& name() const = 0;

    // Runs exactly one action statement given in Jet dialect; returns the rows
    // it changed. A text holding no statement or more than one (a trailing
    // semicolon and comments count for nothing) raises errInvalidOperation and
    // none of it runs. Raises the backend's error; a failed statement leaves
    // nothing of itself behind.
    virtual long long execute(const std::string& jetSql) = 0;

    // Runs one select given in Jet dialect and reads all its rows. With
    // editable, the backend fills the write-back part of Rows when the rows
    // stand one for one for rows of a single table it can find again; else it
    // leaves it empty. Raises errInvalidOperation for an empty text, more than
    // one statement, or a statement that changes data.
    virtual Rows query(const std::string& jetSql, bool editable) = 0;

    // Runs one select given in Jet dialect as query does (read-only) and hands
    // its rows to row one at a time, in the order the statement gives them,
    // until they end or row returns false. Raises what query raises, at the
    // row where the database meets it (rows before it have been handed on);
    // an error row raises goes through unchanged. row may run other
    // statements on the connection meanwhile. By default the rows are read
    // whole through query and then handed on; a backend that can step its
    // statement holds only the row being read.
    virtual void forEachRow(const std::string& jetSql, const RowReader& row) {
        const Rows rows = query(jetSql, false);
        for (const std::vector<Variant>& values : rows.values) {
            if (!row(rows.names, values))
                return;
        }
    }

    // Writes the fields given in edits (one slot per field, empty for fields
    // not set) to row of rows, found by its key, then reads the row back into
    // rows.values[row]. errRecordDeleted when the row is no longer there;
    // the backend's error when the write fails (nothing is written then).
    virtual void updateRow(Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits) = 0;

    virtual void beginTrans() = 0;
    virtual void commitTrans() = 0;
    virtual void rollback() = 0;
    // Only where supportsSavepoints(); elsewhere they raise errInvalidOperation.
    virtual void savepoint(const std::string& name) = 0;
    virtual void releaseSavepoint(const std::string& name) = 0;
    virtual void rollbackToSavepoint(const std::string& name) = 0;
    virtual bool inTransaction() const = 0;
    virtual bool supportsSavepoints() const = 0;
    // Begins a transaction that only reads, every statement of which sees
    // the database as it stood at the first (one snapshot, whatever other
    // users commit meanwhile); it is ended by commitTrans or rollback. False,
    // with nothing begun, where the backend has no such transaction.
    virtual bool beginSnapshot() { return false; }
    // Whether the database is a file this process reads itself (SQLite)
    // rather than a server that the rows reach over a connection.
    virtual bool isFile() const { return false; }
    // Whether the database compares text without regard to case by folding
    // both texts at every compare (citext on PostgreSQL), which costs more
    // than the compare of texts as they are typed.
    virtual bool foldsCaseAtEachCompare() const { return false; }
    // A savepoint whose work the caller keeps whole or not at all: it rolls
    // back to it after any failure inside it. Where a failed statement spoils
    // the transaction (PostgreSQL) the statements inside it are then not
    // each fenced, and row writes may be sent together (see writePending);
    // the first failure inside it is raised again by every later statement,
    // and by its release (which then rolls it back), until the caller rolls
    // back to it. Elsewhere it is a plain savepoint.
    virtual void savepointWhole(const std::string& name) { savepoint(name); }

    // Row writes that updateRow may have held back (inside a whole-or-nothing
    // savepoint) are sent before any other statement runs on the connection;
    // these send those of rows now, as a recordset is closed or released.
    // Raises the write's error (the savepoint is then spoiled).
    virtual void writePending(const Rows& rows) { (void)rows; }
    // The rows are gone (their recordset released): nothing of them is held.
    virtual void forgetPending(const Rows& rows) noexcept { (void)rows; }

    virtual void setBusyTimeout(int milliseconds) = 0;

    // Statements sent to the database so far (execute, prepare, transaction
    // and savepoint statements, catalog calls); 0 where there is no server.
    virtual std::uint64_t roundTrips() const { return 0; }
    // Whether the connection was lost (see EngineError::connectionLost);
    // every call then raises that failure again without reaching the network.
    virtual bool connectionLost() const { return false; }
    // Lets go of what a lost connection still holds of the network (its
    // driver connection and sockets), so that nothing of it can touch a
    // connection opened after it; every call still raises the loss. False
    // when it cannot now (a reading of its rows is under way): no other
    // connection is to be opened then. True for one that is not lost.
    virtual bool releaseLost() { return true; }
    // The longest one call waits for the database server before the
    // connection is taken for lost; nothing where there is no server.
    virtual void setNetworkWaitLimit(std::chrono::milliseconds limit) { (void)limit; }
    // What the database holds, as far as this process can tell it has
    // changed: two marks are equal only if no other connection has committed
    // in between (others) and this one has changed no row (own). Nothing
    // where the backend cannot tell (a server).
    virtual std::optional<ChangeMark> changeMark() { return std::nullopt; }
    // A second connection to the same database server, opened as this one
    // was (the same connection text, the driver's options, the same limits
    // on a silent network), for a reading made beside this connection's,
    // on a thread of its own; nothing where there is no server (or none the
    // backend knows to take a second connection well). Raises what opening
    // raises. It may be called while another thread uses this connection.
    virtual std::shared_ptr<Connection> openAnother() const { return nullptr; }
};

} // namespace engine

#pragma once
// One open database: an SQLite file, or a database reached through ODBC. SQL
// given here is Jet dialect; the backend translates it for its database (top
// N, #mm/dd/yyyy#, bracketed names) before the database sees it. Callers never
// learn which backend they have, only what it can do (SupportsSavepoints).

#include "engine/Connection.h"
#include "engine/Recordset.h"

#include <cstdint>
#include <memory>
#include <string>

namespace engine {

// Recordset types and options, in the numbering of the data-access objects.
inline constexpr std::int16_t dbOpenDynaset = 2;
inline constexpr std::int16_t dbOpenForwardOnly = 8;
inline constexpr std::int16_t dbDenyWrite = 1;
inline constexpr std::int16_t dbDenyRead = 2;
inline constexpr std::int16_t dbReadOnly = 4;

class Database {
public:
    explicit Database(std::shared_ptr<Connection> connection);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& Name() const;

    // Runs exactly one action statement (update). A text that holds a second
    // statement, or none, raises errInvalidOperation and nothing of it runs.
    // Raises the backend's error on failure (for SQLite SQLITE_BUSY, "database
    // is locked", once another user's lock has outlasted the busy timeout); a
    // failed statement leaves nothing of itself behind. Money is written and
    // added up as currency (see Connection.h).
    void Execute(const std::string& sql);

    // Opens a recordset positioned on its first row, or with BOF and EOF both
    // true when there are no rows. Type dbOpenDynaset over one table gives an
    // editable recordset unless options has dbReadOnly; dbOpenForwardOnly is
    // read-only, and so is any statement whose rows are not one for one rows
    // of a single table (aggregates, group by, distinct, joins): Edit on it
    // raises errReadOnly. Raises the backend's error for a statement it cannot
    // prepare, errInvalidOperation for an empty text, more than one
    // statement, or a statement that changes data.
    std::shared_ptr<Recordset> OpenRecordset(const std::string& sql, std::int16_t type = dbOpenDynaset,
                                             std::int16_t options = 0);

    // Reads a select forward, handing each row to row as it is read (the field
    // names and the values, valid during the call only) until the rows end or
    // row returns false; nothing of the rows is kept. Raises what OpenRecordset
    // raises, and a failure met while reading (a sum that meets a value that is
    // not a number) at the row it is met, after the rows before it. row may use
    // the database meanwhile; what it raises goes through unchanged.
    void ReadRows(const std::string& sql, const RowReader& row);

    // Rows changed by the last Execute (0 after a failed one).
    long long RecordsAffected() const;

    // Transactions. BeginTrans starts one (on SQLite it takes the write lock
    // at once, BEGIN IMMEDIATE, waiting up to the busy timeout for another
    // user's); CommitTrans and Rollback raise the backend's error when no
    // transaction is open. Savepoints, where SupportsSavepoints(), nest, and
    // one opened outside a transaction starts one; releasing the outermost
    // commits it, and rolling back to the outermost ends the transaction with
    // nothing written. Where the database has no savepoints they raise
    // errInvalidOperation: the caller makes each unit of work a transaction.
    void BeginTrans();
    void CommitTrans();
    void Rollback();
    // With wholeOrNothing the caller rolls back to the savepoint after any
    // failure inside it, and the database may spare the per-statement fences
    // and send row writes together (see Connection::savepointWhole).
    void Savepoint(const std::string& name, bool wholeOrNothing = false);
    void ReleaseSavepoint(const std::string& name);
    void RollbackToSavepoint(const std::string& name); // undoes to it and releases it
    // A transaction that only reads and sees one state of the database for
    // all its statements, ended by CommitTrans or Rollback; false, with
    // nothing begun, where the database has none (a file, the Access driver).
    bool BeginSnapshot();
    bool InTransaction() const;
    bool SupportsSavepoints() const;
    // Whether the database is a file read by this process (SQLite), where
    // reading a whole table in its stored order costs little; false for a
    // database server, whose rows come over the network and which is better
    // asked for its totals.
    bool IsFile() const;
    // Whether the database folds the case of both texts at every compare of
    // text (PostgreSQL's citext): a statement over many rows is then faster
    // grouping them by their texts as typed and comparing only the groups.
    bool FoldsCaseAtEachCompare() const;
    // From now on the database behaves as one without savepoints (the Access
    // driver): SupportsSavepoints() is false and the savepoint calls raise
    // errInvalidOperation. Lets the callers' path for such a database run on
    // any database.
    void DisableSavepoints();

    void SetBusyTimeout(int milliseconds);

    // Statements sent to the database server so far (0 for a file).
    std::uint64_t RoundTrips() const;
    // Whether the connection to the database server was lost; every
    // operation then raises that failure (connectionLost set) at once.
    bool ConnectionLost() const;
    // See Connection::releaseLost and setNetworkWaitLimit.
    bool ReleaseLostConnection();
    void SetNetworkWaitLimit(std::chrono::milliseconds limit);
    // A second connection to the same database server (see
    // Connection::openAnother); nullptr for a file.
    std::shared_ptr<Database> OpenAnother() const;
    // See Connection::changeMark.
    std::optional<engine::ChangeMark> ReadChangeMark();

private:
    void checkSavepoints() const;

    std::shared_ptr<Connection> connection_;
    long long recordsAffected_ = 0;
    bool savepointsDisabled_ = false;
};

} // namespace engine

#pragma once
// The ODBC backend: a database reached through an ODBC driver (the Access
// driver on Windows, PostgreSQL, SQLite's ODBC driver), given the same Jet
// SQL as the SQLite backend and meaning the same by it.

#include "engine/Connection.h"
#include "engine/odbc/BoundParameters.h"
#include "engine/odbc/NetworkWatch.h"
#include "engine/odbc/Odbc.h"
#include "engine/odbc/OdbcDialect.h"
#include "engine/odbc/ResultRows.h"
#include "engine/odbc/SelectReadings.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace engine::odbc {

class OdbcConnection : public Connection {
public:
    // Connects with the ODBC connection string (DSN=... or Driver={...};...),
    // never prompting, and learns the database's dialect from its DBMS name.
    // shownName is the name the database is shown and logged under (a path,
    // or the connection text with its password masked). Raises the driver's
    // error ("[SQLSTATE] message"), with the shown name added.
    OdbcConnection(const std::string& connectionString, std::string shownName, bool readOnly);
    ~OdbcConnection() override;

    const std::string& name() const override { return name_; }
    long long execute(const std::string& jetSql) override;
    Rows query(const std::string& jetSql, bool editable) override;
    void forEachRow(const std::string& jetSql, const RowReader& row) override;
    void updateRow(Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollback() override;
    void savepoint(const std::string& name) override;
    void releaseSavepoint(const std::string& name) override;
    void rollbackToSavepoint(const std::string& name) override;
    bool beginSnapshot() override;
    bool inTransaction() const override { return inTransaction_; }
    bool supportsSavepoints() const override { return HasSavepoints(dialect_); }
    bool foldsCaseAtEachCompare() const override { return dialect_ == Dialect::PostgreSql; }
    void savepointWhole(const std::string& name) override;
    void writePending(const Rows& rows) override;
    void forgetPending(const Rows& rows) noexcept override;
    void setBusyTimeout(int milliseconds) override;
    std::uint64_t roundTrips() const override { return roundTrips_; }
    bool connectionLost() const override { return lost_.has_value(); }
    bool releaseLost() override;
    void setNetworkWaitLimit(std::chrono::milliseconds limit) override { waitLimit_ = limit; }
    std::shared_ptr<Connection> openAnother() const override;

    // The longest one call waits for the server before the connection is
    // taken for lost (the server's own statement timeout is shorter), and
    // the longest the open waits for it. A lost connection is not opened
    // again within the action that lost it when the server was silent, so
    // the first box comes after the first of these, within 30 s.
    static constexpr std::chrono::seconds networkWaitLimit{25};
    static constexpr std::chrono::seconds statementTimeout{20};
    static constexpr int loginTimeoutSeconds = 15;

    Dialect dialect() const { return dialect_; }
    // The DBMS name the driver gave.
    const std::string& dbmsName() const { return dbmsName_; }

private:
    struct OpenSavepoint {
        std::string name;
        bool startedTransaction;
        bool whole;
        bool deferred = false; // not sent yet: nothing has been written since it was asked for
    };
    struct TableInfo {
        std::string name;                    // as the database spells it
        std::vector<std::string> columns;    // in table order
        std::vector<std::string> types;      // each column's type name, as the driver gives it
        std::vector<std::string> primaryKey; // empty: rows are found by their values
        std::vector<std::string> rowKey;     // what finds a row again: the key, SQLite's rowid, or every column
        bool byValues = false;               // rowKey is every column: a row is found by its original values
    };
    void connect(const std::string& connectionString, bool readOnly);
    const TableInfo* tableInfo(const std::string& table);
    Handle statement();
    // Every call that waits on the server goes through here: it is counted,
    // bounded by the network watch, refused at once on a lost connection,
    // and a failure that says the connection is gone makes it lost.
    template <typename F> auto network(F&& f) -> decltype(f());
    // The failure of a call cut off by the network watch.
    EngineError cutOffError() const;
    // Raises the lost connection's failure, or the failure that spoiled the
    // whole-or-nothing savepoint, when there is one.
    void checkUsable(bool spoiledToo = true) const;
    // Runs sql (already in the database's dialect) with no rows wanted;
    // returns the rows it changed.
    long long run(const std::string& sql);
    // A statement prepared once (PostgreSQL), with its parameters as last
    // bound and its result's columns once described.
    struct Prepared {
        BoundParameters parameters; // outlives the handle bound to it
        Handle handle;
        bool described = false;
        std::vector<Column> columns;
    };
    // The statement prepared once for sql, closed and ready for new parameters.
    Prepared& prepared(const std::string& sql);
    // The select jetSql as it is sent: checked and translated, and for
    // PostgreSQL its quoted values made parameters, read by its pattern
    // (SelectReadings.h). Raises for one that a recordset cannot stand on.
    SelectReading readSelect(const std::string& jetSql);
    // Runs the select read as reading: prepared once and its values bound on
    // PostgreSQL, else on a handle of its own kept in direct.
    struct Selected {
        SQLHSTMT stmt;
        std::vector<Column> columns;
    };
    Selected runSelect(const SelectReading& reading, Handle& direct);
    // Runs the prepared statement with values as its parameters; false when
    // it answered SQL_NO_DATA.
    bool executePrepared(Prepared& statement, const std::vector<const Variant*>& values);
    // The columns of the prepared statement's result, once it has run.
    std::vector<Column> columnsOf(Prepared& statement);
    // Runs f so that its failure leaves nothing behind and the transaction
    // usable, as on the other engines (see FailureAbortsTransaction): inside
    // a whole-or-nothing savepoint the failure spoils it instead; elsewhere
    // f runs above a fence savepoint, which a run of reads shares.
    template <typename F> auto guarded(bool writes, F&& f) -> decltype(f());
    bool insideWhole() const;
    // The whole-or-nothing savepoint not yet sent (see savepointWhole), if any.
    OpenSavepoint* deferredWhole();
    // Sends the savepoint deferred, before the first statement that writes.
    void sendDeferred();
    // Sets the savepoint name, the fence released in the same round trip.
    void sendSavepoint(const std::string& name);
    // Rolls back to the fence after a failed statement, leaving it in place.
    void undoStatement(const std::string& fence);
    void spoil(const EngineError& error);
    void setAutocommit(bool on);
    void endTransaction(SQLSMALLINT completion);

    // Row writes held back inside a whole-or-nothing savepoint.
    struct PendingWrite {
        Rows* rows;
        std::size_t row;
        std::vector<std::optional<Variant>> edits;
    };
    bool mayHoldBack(const Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits);
    void flushPending();
    void writeTogether(Rows& rows, const std::vector<PendingWrite*>& writes);

    Handle env_;
    Handle dbc_;
    std::string name_;
    std::string connectionString_; // as connected, the driver's options added
    bool readOnly_ = false;
    std::string dbmsName_;
    Dialect dialect_ = Dialect::Other;
    bool fetchesInBlocks_ = false; // long results are read a block of rows at a time (ResultRows.h)
    bool inTransaction_ = false;
    bool fenceExists_ = false; // the fence savepoint is open (above every savepoint of the caller's)
    bool fenceValid_ = false;  // ... and nothing was written since it was set
    std::vector<OpenSavepoint> savepoints_;
    std::optional<EngineError> spoiled_; // the failure inside the whole-or-nothing savepoint
    std::vector<PendingWrite> pending_;
    std::map<std::string, TableInfo> tables_;
    std::map<std::string, std::unique_ptr<Prepared>> prepared_;
    // Reads made inside the open transaction, by their text, with the tables
    // each reads (see query); dropped as this connection writes one of them.
    struct Read {
        std::vector<std::string> tables;
        Rows rows;
    };
    std::map<std::string, Read> reads_;
    // The read-only selects sent to PostgreSQL, read once by pattern.
    SelectReadings selects_;
    void wrote(const std::string& table); // empty: any table
    std::uint64_t roundTrips_ = 0;
    std::optional<EngineError> lost_;
    std::chrono::milliseconds waitLimit_ = networkWaitLimit;
    int readingRows_ = 0; // forEachRow calls under way
    NetworkWatch watch_;
};

} // namespace engine::odbc

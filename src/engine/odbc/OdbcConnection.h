#pragma once
// The ODBC backend: a database reached through an ODBC driver (the Access
// driver on Windows, PostgreSQL, SQLite's ODBC driver), given the same Jet
// SQL as the SQLite backend and meaning the same by it.

#include "engine/Connection.h"
#include "engine/odbc/Odbc.h"
#include "engine/odbc/OdbcDialect.h"

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
    void updateRow(Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollback() override;
    void savepoint(const std::string& name) override;
    void releaseSavepoint(const std::string& name) override;
    void rollbackToSavepoint(const std::string& name) override;
    bool inTransaction() const override { return inTransaction_; }
    bool supportsSavepoints() const override { return HasSavepoints(dialect_); }
    void setBusyTimeout(int milliseconds) override;

    Dialect dialect() const { return dialect_; }
    // The DBMS name the driver gave.
    const std::string& dbmsName() const { return dbmsName_; }

private:
    struct TableInfo {
        std::string name;                    // as the database spells it
        std::vector<std::string> columns;    // in table order
        std::vector<std::string> primaryKey; // empty: rows are found by their values
        std::vector<std::string> rowKey;     // what finds a row again: the key, SQLite's rowid, or every column
        bool byValues = false;               // rowKey is every column: a row is found by its original values
    };
    void connect(const std::string& connectionString, bool readOnly);
    const TableInfo* tableInfo(const std::string& table);
    Handle statement();
    // Runs sql (already in the database's dialect) with no rows wanted;
    // returns the rows it changed.
    long long run(const std::string& sql);
    // Runs f so that its failure leaves nothing behind and the transaction
    // usable, as on the other engines (see FailureAbortsTransaction).
    template <typename F> auto fenced(F&& f) -> decltype(f());
    // Releases the last statement's fence, before a savepoint of the caller's.
    void releaseFence();
    void setAutocommit(bool on);
    void endTransaction(SQLSMALLINT completion);

    Handle env_;
    Handle dbc_;
    std::string name_;
    std::string dbmsName_;
    Dialect dialect_ = Dialect::Other;
    bool inTransaction_ = false;
    bool fencePending_ = false; // the last statement's fence is not released yet
    struct OpenSavepoint {
        std::string name;
        bool startedTransaction;
    };
    std::vector<OpenSavepoint> savepoints_;
    std::map<std::string, TableInfo> tables_;
};

} // namespace engine::odbc

#pragma once
// The SQLite backend: a property database file opened through SQLite.

#include "engine/Connection.h"
#include "engine/sqlite/Sqlite.h"

#include <memory>
#include <string>
#include <unordered_map>

namespace engine {

class SqliteConnection : public Connection {
public:
    // Opens the SQLite file at path read-write (read-only when asked), never
    // creating it, with the busy timeout set, and reads its schema so that a
    // file SQLite cannot use fails here. Raises the SQLite error, or
    // errNotADatabase for a damaged file.
    SqliteConnection(const std::string& path, bool exclusive, bool readOnly);

    const std::string& name() const override { return path_; }
    long long execute(const std::string& jetSql) override;
    Rows query(const std::string& jetSql, bool editable) override;
    void updateRow(Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollback() override;
    void savepoint(const std::string& name) override;
    void releaseSavepoint(const std::string& name) override;
    void rollbackToSavepoint(const std::string& name) override;
    bool inTransaction() const override;
    bool supportsSavepoints() const override { return true; }
    void setBusyTimeout(int milliseconds) override;

    sqlite3* handle() const { return db_.get(); }

private:
    friend class CachedStatement;

    ConnectionHandle db_;
    std::string path_;
    // The statements the engine builds itself to write a row back and read it
    // again, prepared once; declared after db_ so they are finalised first.
    std::unordered_map<std::string, StatementHandle> statements_;
};

// A statement of the connection's cache, prepared on first use. It is handed
// out reset, and reset again (bindings cleared) when the borrow ends, so it
// never holds a lock between uses. Raises the SQLite error.
class CachedStatement {
public:
    CachedStatement(SqliteConnection& connection, const std::string& sql);
    ~CachedStatement();
    CachedStatement(const CachedStatement&) = delete;
    CachedStatement& operator=(const CachedStatement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_;
};

} // namespace engine

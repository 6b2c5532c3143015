#pragma once
// The SQLite backend: a property database file opened through SQLite.
//
// Each statement shape is prepared once per connection and kept in a bounded
// cache (StatementCache.h); the values of a statement are bound to it. The rows
// of a read-only statement may be served again for the same statement and
// values while none of the tables it reads has been written since, by this
// connection or any other; anything that could have changed them (a write to
// one of its tables, a rollback, any statement that is not a plain read or
// write, another connection's commit) makes the statement run again. A row
// written back is read back, so that the recordset shows what the table holds,
// except a row of money written inside the transaction it was read in when
// nothing else has changed its table since: what it holds is then known. Money
// is added up and written as currency (SqliteMoney.h). Statement texts are
// read once (StatementTexts.h).

#include "engine/Connection.h"
#include "engine/sqlite/SqlShape.h"
#include "engine/sqlite/Sqlite.h"
#include "engine/sqlite/SqliteMoney.h"
#include "engine/sqlite/StatementCache.h"
#include "engine/sqlite/StatementTexts.h"

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace engine {

class SqliteConnection : public Connection {
public:
    // Opens the SQLite file at path read-write (read-only when asked), never
    // creating it, with the busy timeout set, and reads its schema so that a
    // file SQLite cannot use fails here. Raises the SQLite error, or
    // errNotADatabase for a damaged file.
    SqliteConnection(const std::string& path, bool exclusive, bool readOnly);
    ~SqliteConnection() override;

    const std::string& name() const override { return path_; }
    long long execute(const std::string& jetSql) override;
    Rows query(const std::string& jetSql, bool editable) override;
    // Steps the statement as row takes each row: only the row being read is
    // held. The rows are never kept for a later run. Meant for a reading that
    // passes each page once (a whole table in its stored order): while it
    // runs, outside a transaction, the page cache is SQLite's small default
    // (see usePageCache).
    void forEachRow(const std::string& jetSql, const RowReader& row) override;
    void updateRow(Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollback() override;
    void savepoint(const std::string& name) override;
    void releaseSavepoint(const std::string& name) override;
    void rollbackToSavepoint(const std::string& name) override;
    bool inTransaction() const override;
    bool supportsSavepoints() const override { return true; }
    bool isFile() const override { return true; }
    std::optional<ChangeMark> changeMark() override;
    void setBusyTimeout(int milliseconds) override;

    // The number of prepared statements the cache keeps (at least one).
    void setStatementCapacity(std::size_t capacity);
    std::size_t cachedStatements() const { return statements_.size(); }

private:
    struct KeptRows;
    friend int authorise(void*, int, const char*, const char*, const char*, const char*);
    friend void noteChange(void*, int, const char*, const char*, std::int64_t);
    friend void noteRollback(void*);

    // The statement kept under key, prepared from sql when it is not there.
    StatementCache::Lease statement(const std::string& key, const std::string& sql, bool forQuery, bool editable);
    // The one select of jetSql as read and prepared for a read-only query;
    // raises errInvalidOperation for none or more than one statement.
    const StatementText& querySelect(const std::string& jetSql);
    // Raises the failure of the statement just stepped: a money failure as
    // the engine error it is, else the SQLite error.
    [[noreturn]] void fail(const std::string& sql);
    // Runs one of the backend's own statements (transactions, savepoints).
    void runStatement(const std::string& sql);
    void bindAll(sqlite3_stmt* stmt, const std::vector<Variant>& values);

    // The page cache that fits the reading: a scan in stored order reads each
    // page once and needs only a few, while the statements that look up a
    // tenant's rows, scattered over the file, meet the same pages again and
    // want many. A cache that held the whole file after a scan would cost its
    // memory, and the allocating and copying of every page, in each process
    // that scans, and help nothing the scan does. Switched only when the
    // reading changes (the pragma drops the pages beyond a smaller cache).
    enum class PageCache { Scan, Lookups };
    void usePageCache(PageCache cache);
    // Before a statement that is not a scan: the lookups' cache, unless a scan
    // is running (a row of it being read may run other statements); before
    // one that writes, always (the cache holds the changed pages until the
    // commit, see forEachRow).
    void forLookups(bool writes = false) {
        if (pageCache_ != PageCache::Lookups && (scansRunning_ == 0 || writes))
            usePageCache(PageCache::Lookups);
    }

    // Forgets every kept row when another connection has committed since
    // (otherVersion is PRAGMA data_version, negative when unknown) or this one
    // changed rows that the update hook did not see.
    void noteOutsideChanges(std::int64_t otherVersion);
    std::uint64_t versionOf(const std::string& table) const;
    void forgetKeptRows();

    ConnectionHandle db_;
    std::string path_;
    PageCache pageCache_ = PageCache::Scan;
    int scansRunning_ = 0;
    std::optional<MoneyFailure> moneyFailure_;
    // Declared after db_ so that the statements are finalised first.
    StatementCache statements_{StatementCache::defaultCapacity};
    StatementHandle dataVersion_;
    StatementTexts texts_;
    // How a row is written back, for one table, its columns and the set of
    // edited fields: the update, the re-read of the row, the table's name as
    // the change counts know it, and whether every edited field is a money
    // column (whose stored value the backend knows without reading it).
    struct WriteBack {
        std::string update;
        std::string reread;
        std::string tableKey;
        bool editsMoneyOnly = false;
    };
    std::unordered_map<std::string, WriteBack> writeBack_;
    // Whether the row just written holds exactly its edits and, in its other
    // fields, what the recordset read; then the recordset need not read it back.
    bool hasGeneratedColumns(const std::string& table);
    bool rowKnownAfterWrite(const Rows& rows, const WriteBack& writeBack, std::uint64_t changesBefore,
                            const std::vector<std::optional<Variant>>& edits) const;

    // Kept rows and what they depend on.
    std::vector<std::string>* tablesBeingRead_ = nullptr;
    bool viewBeingRead_ = false;
    std::unordered_map<std::string, std::uint64_t> tableVersions_;
    std::uint64_t epoch_ = 0;
    // Counts the transactions' beginnings and ends (and savepoints'), so that
    // rows read in the transaction still open can be told from others.
    std::uint64_t transactionSerial_ = 1;
    std::int64_t otherVersion_ = -1;
    std::int64_t changesSeen_ = 0;
    std::int64_t totalChanges_ = 0;
    std::list<std::unique_ptr<KeptRows>> keptRows_; // most recently used first
};

} // namespace engine

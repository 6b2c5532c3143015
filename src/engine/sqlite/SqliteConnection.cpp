#include "engine/sqlite/SqliteConnection.h"

#include "engine/JetDialect.h"

#include <cstring>

namespace engine {

namespace {

constexpr const char* rowidName = "__rowid__";

bool isWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$' ||
           u >= 0x80;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (lower(*a) != lower(*b))
            return false;
    }
    return *a == *b;
}

// The words of sql outside quoted values and bracketed names, in lower case.
std::vector<std::string> wordsOutsideQuotes(const std::string& sql) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '"' || c == '[') {
            const char closer = c == '[' ? ']' : c;
            ++i;
            while (i < sql.size()) {
                if (sql[i] == closer) {
                    if (closer != ']' && i + 1 < sql.size() && sql[i + 1] == closer) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            ++i;
        } else if (isWordChar(c)) {
            std::string word;
            while (i < sql.size() && isWordChar(sql[i]))
                word += lower(sql[i++]);
            words.push_back(std::move(word));
        } else {
            ++i;
        }
    }
    return words;
}

// The statement with the row's rowid asked for first, when it is a plain
// select whose rows stand one for one for rows of a table; else empty.
std::string withRowid(const std::string& sql) {
    const std::vector<std::string> words = wordsOutsideQuotes(sql);
    if (words.empty() || words.front() != "select")
        return {};
    for (const std::string& w : words) {
        // Rows that are groups or merged rows cannot be written back to one row.
        if (w == "group" || w == "distinct" || w == "union" || w == "intersect" || w == "except" || w == "having" ||
            w == "window" || w == "join")
            return {};
    }
    // The select keyword itself: after blanks and opening brackets only.
    std::size_t start = 0;
    while (start < sql.size() &&
           (sql[start] == ' ' || sql[start] == '\t' || sql[start] == '\r' || sql[start] == '\n' || sql[start] == '('))
        ++start;
    if (start + 6 > sql.size() || (start + 6 < sql.size() && isWordChar(sql[start + 6])))
        return {};
    for (std::size_t i = 0; i < 6; ++i) {
        if (lower(sql[start + i]) != "select"[i])
            return {};
    }
    return sql.substr(0, start + 6) + " rowid as \"" + rowidName + "\"," + sql.substr(start + 6);
}

// Whether every column of stmt (the rowid first) is a plain column of one
// table of the main database, with column 0 that table's rowid. Fills the
// table and the column names when so.
bool plainColumnsOfOneTable(sqlite3* db, sqlite3_stmt* stmt, std::string& table, std::vector<std::string>& columns) {
    const int count = sqlite3_column_count(stmt);
    if (count < 2)
        return false;
    const char* rowidTable = sqlite3_column_table_name(stmt, 0);
    const char* rowidOrigin = sqlite3_column_origin_name(stmt, 0);
    const char* rowidDatabase = sqlite3_column_database_name(stmt, 0);
    if (!rowidTable || !rowidOrigin || !rowidDatabase || std::strcmp(rowidDatabase, "main") != 0)
        return false;
    // The first column must be the true rowid, not a column that happens to be called so.
    const char* declared = nullptr;
    int primaryKey = 0;
    if (sqlite3_table_column_metadata(db, "main", rowidTable, rowidOrigin, &declared, nullptr, nullptr, &primaryKey,
                                      nullptr) != SQLITE_OK ||
        !primaryKey || !declared || !equalsIgnoringCase(declared, "INTEGER"))
        return false;
    table = rowidTable;
    columns.clear();
    for (int i = 1; i < count; ++i) {
        const char* t = sqlite3_column_table_name(stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        const char* database = sqlite3_column_database_name(stmt, i);
        if (!t || !origin || !database || table != t || std::strcmp(database, "main") != 0)
            return false;
        columns.emplace_back(origin);
    }
    return true;
}

// Rejects statements a recordset cannot stand on: more than one statement, or
// one that would change the database while its rows are read.
void checkRecordsetStatement(sqlite3_stmt* stmt, const std::string& sql, std::size_t tail) {
    if (!stmt)
        throw EngineError(errInvalidOperation, engineSource, "Invalid operation: the SQL text holds no statement.");
    for (std::size_t i = tail; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != ';')
            throw EngineError(errInvalidOperation, engineSource,
                              "Invalid operation: a recordset is opened on one statement only.");
    }
    if (!sqlite3_stmt_readonly(stmt))
        throw EngineError(errInvalidOperation, engineSource,
                          "Invalid operation: a recordset cannot be opened on a statement that changes data.");
}

// Reads the schema so that a file SQLite cannot use fails now, at the open,
// rather than at the first query.
void verify(sqlite3* db, const std::string& path) {
    try {
        run(db, "select count(*) from sqlite_master");
    } catch (const EngineError& error) {
        if (error.number == SQLITE_CORRUPT || error.number == SQLITE_NOTADB)
            throw EngineError(errNotADatabase, engineSource,
                              "'" + path + "' is a damaged or truncated SQLite database (" + error.description + ").");
        throw EngineError(error.number, error.source, error.description + " ('" + path + "')");
    }
}

} // namespace

SqliteConnection::SqliteConnection(const std::string& path, bool exclusive, bool readOnly) : path_(path) {
    sqlite3* raw = nullptr;
    // Never create: the file must be the host application's.
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) {
        const EngineError error = sqliteError(raw);
        throw EngineError(error.number, error.source, error.description + " ('" + path + "')");
    }
    sqlite3_busy_timeout(raw, defaultBusyTimeoutMs);
    if (exclusive)
        run(raw, "pragma locking_mode = exclusive");
    verify(raw, path_);
    // A page cache of 32 MB keeps a large property database's tenant pages in
    // memory through a "Fix All" (the default is 2 MB). Another user's write
    // still invalidates it, as it must.
    run(raw, "pragma cache_size = -32768");
}

long long SqliteConnection::execute(const std::string& jetSql) {
    sqlite3* db = db_.get();
    const std::string text = TranslateJetSql(jetSql);
    long long affected = 0;
    std::size_t offset = 0;
    while (offset < text.size()) {
        std::size_t tail = 0;
        StatementHandle stmt = prepare(db, text, offset, &tail);
        if (tail <= offset)
            break;
        offset = tail;
        if (!stmt)
            continue;
        const sqlite3_int64 before = sqlite3_total_changes64(db);
        int rc;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE)
            throw sqliteError(db);
        // Only a statement that changed rows sets sqlite3_changes64 afresh.
        if (sqlite3_total_changes64(db) != before)
            affected += sqlite3_changes64(db);
    }
    return affected;
}

Rows SqliteConnection::query(const std::string& jetSql, bool wantEditable) {
    sqlite3* db = db_.get();
    const std::string text = TranslateJetSql(jetSql);
    Rows rows;
    StatementHandle stmt;
    bool editable = false;

    if (wantEditable) {
        const std::string injected = withRowid(text);
        if (!injected.empty()) {
            try {
                std::size_t tail = 0;
                StatementHandle candidate = prepare(db, injected, 0, &tail);
                if (candidate && plainColumnsOfOneTable(db, candidate.get(), rows.table, rows.columns)) {
                    checkRecordsetStatement(candidate.get(), injected, tail);
                    stmt = std::move(candidate);
                    editable = true;
                }
            } catch (const EngineError&) {
                // Not a statement over one table's rows: opened as it is, read-only.
            }
        }
    }
    if (!editable) {
        rows.table.clear();
        rows.columns.clear();
        std::size_t tail = 0;
        stmt = prepare(db, text, 0, &tail);
        checkRecordsetStatement(stmt.get(), text, tail);
    }

    const int first = editable ? 1 : 0;
    const int count = sqlite3_column_count(stmt.get());
    for (int i = first; i < count; ++i) {
        const char* name = sqlite3_column_name(stmt.get(), i);
        rows.names.emplace_back(name ? name : "");
    }
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        if (editable)
            rows.keys.push_back({Variant(static_cast<std::int64_t>(sqlite3_column_int64(stmt.get(), 0)))});
        std::vector<Variant> row;
        row.reserve(static_cast<std::size_t>(count - first));
        for (int i = first; i < count; ++i)
            row.push_back(columnValue(stmt.get(), i));
        rows.values.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        throw sqliteError(db);
    stmt.reset(); // no read lock outlives the open
    if (editable)
        rows.keyColumns = {"rowid"};
    return rows;
}

void SqliteConnection::updateRow(Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits) {
    sqlite3* db = db_.get();
    const std::int64_t rowid = rows.keys.at(row).at(0).integer();

    std::string sql;
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < edits.size(); ++i) {
        if (!edits[i])
            continue;
        sql += sql.empty() ? "update " + quoteIdentifier(rows.table) + " set " : ", ";
        sql += quoteIdentifier(rows.columns[i]) + " = ?";
        changed.push_back(i);
    }
    if (!changed.empty()) {
        sql += " where rowid = ?";
        CachedStatement stmt(*this, sql);
        int parameter = 1;
        for (std::size_t i : changed)
            bindValue(db, stmt.get(), parameter++, *edits[i]);
        if (sqlite3_bind_int64(stmt.get(), parameter, rowid) != SQLITE_OK)
            throw sqliteError(db);
        if (sqlite3_step(stmt.get()) != SQLITE_DONE)
            throw sqliteError(db);
        // A row that another user deleted meanwhile takes no write; say so
        // rather than let the change vanish.
        if (sqlite3_changes64(db) == 0)
            throw EngineError(errRecordDeleted, engineSource, "Record is deleted.");

        // Read the row back, so that the recordset shows what the table now
        // holds (the column's type may have converted what was written).
        std::string select;
        for (std::size_t i = 0; i < rows.columns.size(); ++i)
            select += (i ? ", " : "select ") + quoteIdentifier(rows.columns[i]);
        select += " from " + quoteIdentifier(rows.table) + " where rowid = ?";
        CachedStatement reread(*this, select);
        if (sqlite3_bind_int64(reread.get(), 1, rowid) != SQLITE_OK)
            throw sqliteError(db);
        const int rc = sqlite3_step(reread.get());
        if (rc == SQLITE_ROW) {
            for (std::size_t i = 0; i < rows.columns.size(); ++i)
                rows.values[row][i] = columnValue(reread.get(), static_cast<int>(i));
        } else if (rc != SQLITE_DONE) {
            throw sqliteError(db);
        }
    }
}

void SqliteConnection::beginTrans() {
    // Immediate: the write lock is taken (or waited for) now, so that a repair
    // that reads and then writes never meets another writer half-way, where
    // SQLite could only give up at once.
    run(db_.get(), "begin immediate");
}

void SqliteConnection::commitTrans() {
    run(db_.get(), "commit");
}

void SqliteConnection::rollback() {
    run(db_.get(), "rollback");
}

void SqliteConnection::savepoint(const std::string& name) {
    run(db_.get(), "savepoint " + quoteIdentifier(name));
}

void SqliteConnection::releaseSavepoint(const std::string& name) {
    run(db_.get(), "release " + quoteIdentifier(name));
}

void SqliteConnection::rollbackToSavepoint(const std::string& name) {
    const std::string quoted = quoteIdentifier(name);
    run(db_.get(), "rollback to " + quoted);
    run(db_.get(), "release " + quoted);
}

bool SqliteConnection::inTransaction() const {
    return sqlite3_get_autocommit(db_.get()) == 0;
}

void SqliteConnection::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(db_.get(), milliseconds);
}

CachedStatement::CachedStatement(SqliteConnection& connection, const std::string& sql) {
    // The engine's own statements are a handful per table; a cache that has
    // grown past that is simply started again.
    constexpr std::size_t limit = 64;
    auto found = connection.statements_.find(sql);
    if (found == connection.statements_.end()) {
        StatementHandle prepared = prepare(connection.db_.get(), sql);
        if (connection.statements_.size() >= limit)
            connection.statements_.clear();
        found = connection.statements_.emplace(sql, std::move(prepared)).first;
    }
    stmt_ = found->second.get();
    sqlite3_reset(stmt_);
}

CachedStatement::~CachedStatement() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

} // namespace engine

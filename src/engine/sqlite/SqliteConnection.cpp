#include "engine/sqlite/SqliteConnection.h"

#include "engine/sqlite/SqlShape.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// Rejects statements a recordset cannot stand on: none at all, or one that
// would change the database while its rows are read.
void checkRecordsetStatement(sqlite3_stmt* stmt) {
    if (!stmt)
        throw EngineError(errInvalidOperation, engineSource, "Invalid operation: the SQL text holds no statement.");
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

namespace {

// Functions whose answer depends only on their arguments and the rows read;
// a statement that calls any other (random(), date('now'), changes()) is run
// afresh every time.
bool sameAnswerOnSameData(const char* function) {
    static const char* const functions[] = {"sum",   "total",    "min",     "max",    "count",     "avg",
                                            "abs",   "coalesce", "ifnull",  "nullif", "iif",       "lower",
                                            "upper", "length",   "round",   "substr", "substring", "trim",
                                            "ltrim", "rtrim",    "replace", "instr",  "typeof",    "cast"};
    if (!function)
        return false;
    for (const char* known : functions) {
        if (equalsIgnoringCase(function, known))
            return true;
    }
    return false;
}

std::string lowerCase(const char* text) {
    std::string out;
    for (const char* c = text; *c; ++c)
        out += lower(*c);
    return out;
}

// The key of kept rows: the statement's shape and its values, each tagged
// with its kind so that 1 and '1' never meet.
std::string keptRowsKey(const std::string& shape, const std::vector<Variant>& values) {
    std::string key = shape;
    for (const Variant& value : values) {
        key += '\0';
        switch (value.kind()) {
        case Variant::Kind::Integer:
            key += 'I' + std::to_string(value.integer());
            break;
        case Variant::Kind::Double: {
            char bits[32];
            std::snprintf(bits, sizeof bits, "D%a", value.number());
            key += bits;
            break;
        }
        default:
            key += 'T' + std::to_string(value.text().size()) + ':' + value.text();
            break;
        }
    }
    return key;
}

// Rows of a read-only statement kept for the next run with the same values;
// small results only (the totals and single rows of the analysis).
constexpr std::size_t keptRowsLimit = 32;
constexpr std::size_t keptRowsMaxRows = 16;

} // namespace

struct SqliteConnection::KeptRows {
    std::string key;
    Rows rows;
    std::uint64_t epoch;
    std::vector<std::pair<std::string, std::uint64_t>> versions;
};

// The authoriser is installed for the connection's life (installing one
// expires every prepared statement, so it is never swapped): while a query is
// being prepared it notes the tables the statement reads and whether its rows
// may be kept; it never refuses anything.
int authorise(void* data, int action, const char* first, const char* second, const char*, const char* inner) {
    auto* self = static_cast<SqliteConnection*>(data);
    if (!self->tablesBeingRead_)
        return SQLITE_OK;
    if (action == SQLITE_READ && first) {
        std::string table = lowerCase(first);
        auto& tables = *self->tablesBeingRead_;
        if (std::find(tables.begin(), tables.end(), table) == tables.end())
            tables.push_back(std::move(table));
        if (inner)
            self->viewBeingRead_ = true; // read through a view or trigger
    } else if (action == SQLITE_FUNCTION) {
        if (!sameAnswerOnSameData(second))
            self->viewBeingRead_ = true;
    } else if (action != SQLITE_SELECT) {
        self->viewBeingRead_ = true;
    }
    return SQLITE_OK;
}

void noteChange(void* data, int, const char*, const char* table, std::int64_t) {
    auto* self = static_cast<SqliteConnection*>(data);
    ++self->changesSeen_;
    ++self->tableVersions_[lowerCase(table ? table : "")];
}

void noteRollback(void* data) {
    auto* self = static_cast<SqliteConnection*>(data);
    ++self->epoch_;
    ++self->transactionSerial_;
}

SqliteConnection::SqliteConnection(const std::string& path, bool exclusive, bool readOnly) : path_(path) {
    sqlite3* raw = nullptr;
    // Never create: the file must be the host application's. The connection
    // is only ever used by the thread that opened it, so SQLite need not lock
    // it around every call.
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
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
    usePageCache(PageCache::Lookups);
    // Never a memory map of the file, whatever SQLite was built to do: the
    // host's database often lies on a network share, and an I/O error in a
    // mapped page ends the program with a signal, where a read fails the
    // statement and is reported. (A map read a scan fastest, by some 10 to 20%.)
    run(raw, "pragma mmap_size = 0");
    run(raw, "pragma temp_store = memory");
    RegisterMoneyFunctions(raw, moneyFailure_);
    sqlite3_set_authorizer(raw, authorise, this);
    sqlite3_update_hook(
        raw,
        [](void* data, int op, const char* database, const char* table, sqlite3_int64 rowid) {
            noteChange(data, op, database, table, rowid);
        },
        this);
    sqlite3_rollback_hook(raw, noteRollback, this);
    dataVersion_ = prepare(raw, "pragma data_version");
    totalChanges_ = sqlite3_total_changes64(raw);
}

SqliteConnection::~SqliteConnection() {
    sqlite3* db = db_.get();
    if (db) {
        sqlite3_update_hook(db, nullptr, nullptr);
        sqlite3_rollback_hook(db, nullptr, nullptr);
    }
}

void SqliteConnection::setStatementCapacity(std::size_t capacity) {
    statements_.setCapacity(capacity < 1 ? 1 : capacity);
}

[[noreturn]] void SqliteConnection::fail(const std::string& sql) {
    if (moneyFailure_) {
        const MoneyFailure failure = std::move(*moneyFailure_);
        moneyFailure_.reset();
        throw MoneyError(failure, sql);
    }
    throw sqliteError(db_.get());
}

void SqliteConnection::usePageCache(PageCache cache) {
    // Lookups: up to 128 MB keeps a large property database's pages in memory
    // through a batch of tenants (a tenant's income rows lie scattered over
    // the file, so a smaller cache reads most of them from the file again);
    // the memory is taken only as pages are read. A scan: SQLite's default of
    // 2 MB. Another user's write still invalidates the cache, as it must.
    run(db_.get(), cache == PageCache::Lookups ? "pragma cache_size = -131072" : "pragma cache_size = -2000");
    pageCache_ = cache;
}

void SqliteConnection::bindAll(sqlite3_stmt* stmt, const std::vector<Variant>& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        bindValue(db_.get(), stmt, static_cast<int>(i + 1), values[i]);
}

StatementCache::Lease SqliteConnection::statement(const std::string& key, const std::string& sql, bool forQuery,
                                                  bool wantEditable) {
    if (StatementCache::Lease lease = statements_.find(key))
        return lease;
    sqlite3* db = db_.get();
    PreparedStatement prepared;
    if (!forQuery) {
        prepared.stmt = prepare(db, WithMoneyAssignments(db, sql));
        if (!prepared.stmt)
            throw EngineError(errInvalidOperation, engineSource, "Invalid operation: the SQL text holds no statement.");
        return statements_.insert(key, std::move(prepared));
    }
    if (wantEditable) {
        const std::string injected = withRowid(sql);
        if (!injected.empty()) {
            try {
                StatementHandle candidate = prepare(db, injected);
                if (candidate && plainColumnsOfOneTable(db, candidate.get(), prepared.table, prepared.columns)) {
                    checkRecordsetStatement(candidate.get());
                    prepared.stmt = std::move(candidate);
                    prepared.editable = true;
                }
            } catch (const EngineError&) {
                // Not a statement over one table's rows: opened as it is, read-only.
            }
        }
    }
    if (!prepared.editable) {
        prepared.table.clear();
        prepared.columns.clear();
        tablesBeingRead_ = &prepared.tablesRead;
        viewBeingRead_ = false;
        try {
            prepared.stmt = prepare(db, sql);
        } catch (...) {
            tablesBeingRead_ = nullptr;
            throw;
        }
        tablesBeingRead_ = nullptr;
        prepared.rowsReusable = !viewBeingRead_;
        checkRecordsetStatement(prepared.stmt.get());
    }
    return statements_.insert(key, std::move(prepared));
}

void SqliteConnection::forgetKeptRows() {
    keptRows_.clear();
    ++epoch_;
    ++transactionSerial_;
}

void SqliteConnection::noteOutsideChanges(std::int64_t otherVersion) {
    // Another connection's commit, or a version that could not be read:
    // nothing kept can be trusted.
    if (otherVersion != otherVersion_ || otherVersion < 0) {
        forgetKeptRows();
        otherVersion_ = otherVersion;
    }
    // Changes of this connection that the update hook did not see (a delete
    // of a whole table goes without it).
    const std::int64_t total = sqlite3_total_changes64(db_.get());
    if (total != totalChanges_ + changesSeen_)
        forgetKeptRows();
    totalChanges_ = total;
    changesSeen_ = 0;
}

std::optional<ChangeMark> SqliteConnection::changeMark() {
    sqlite3_stmt* dataVersion = dataVersion_.get();
    sqlite3_reset(dataVersion);
    std::optional<ChangeMark> mark;
    if (sqlite3_step(dataVersion) == SQLITE_ROW)
        mark = ChangeMark{sqlite3_column_int64(dataVersion, 0), sqlite3_total_changes64(db_.get())};
    sqlite3_reset(dataVersion);
    return mark;
}

std::uint64_t SqliteConnection::versionOf(const std::string& table) const {
    const auto found = tableVersions_.find(table);
    return found == tableVersions_.end() ? 0 : found->second;
}

long long SqliteConnection::execute(const std::string& jetSql) {
    sqlite3* db = db_.get();
    forLookups(true);
    const StatementText& read = texts_.read(jetSql);
    const std::string& text = read.text;
    const std::size_t count = read.statements;
    if (count == 0)
        throw EngineError(errInvalidOperation, engineSource, "Invalid operation: the SQL text holds no statement.");
    if (count > 1)
        throw EngineError(errInvalidOperation, engineSource,
                          "Invalid operation: Execute runs one statement, and the SQL text holds " +
                              std::to_string(count) + "; none of them was run.");
    const SqlShape& shape = read.shape;
    StatementCache::Lease stmt = statement("X" + shape.text, shape.text, false, false);
    bindAll(stmt.get(), shape.values);
    // A statement other than a plain read or write (a pragma, a schema change,
    // a transaction's end) may change what any kept rows stand on.
    if (!read.plainReadOrWrite)
        forgetKeptRows();

    moneyFailure_.reset();
    const sqlite3_int64 before = sqlite3_total_changes64(db);
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        fail(text);
    // Only a statement that changed rows sets sqlite3_changes64 afresh.
    return sqlite3_total_changes64(db) != before ? sqlite3_changes64(db) : 0;
}

const StatementText& SqliteConnection::querySelect(const std::string& jetSql) {
    const StatementText& read = texts_.read(jetSql);
    const std::size_t count = read.statements;
    if (count > 1) {
        // The first statement's own error comes first, as SQLite reads it.
        prepare(db_.get(), read.text);
        throw EngineError(errInvalidOperation, engineSource,
                          "Invalid operation: a recordset is opened on one statement only.");
    }
    if (count == 0)
        throw EngineError(errInvalidOperation, engineSource, "Invalid operation: the SQL text holds no statement.");
    return read;
}

void SqliteConnection::forEachRow(const std::string& jetSql, const RowReader& row) {
    const StatementText& read = querySelect(jetSql);
    struct Running {
        int& scans;
        ~Running() { --scans; }
    } running{++scansRunning_};
    // Not inside a transaction: the pages it has changed are held in the
    // cache until it ends, and a cache too small for them would write them
    // to the file before the commit, under a lock that keeps every other
    // user from reading.
    if (pageCache_ != PageCache::Scan && !inTransaction())
        usePageCache(PageCache::Scan);
    // Copied: row may run statements that read other texts meanwhile.
    const std::string text = read.text;
    const SqlShape shape = read.shape;
    StatementCache::Lease stmt = statement("Q" + shape.text, shape.text, true, false);
    sqlite3_stmt* s = stmt.get();
    bindAll(s, shape.values);
    const int columns = sqlite3_column_count(s);
    std::vector<std::string> names;
    std::vector<char> datesRead;
    for (int i = 0; i < columns; ++i) {
        const char* name = sqlite3_column_name(s, i);
        names.emplace_back(name ? name : "");
        datesRead.push_back(readsDates(s, i));
    }
    std::vector<Variant> values(static_cast<std::size_t>(columns));
    moneyFailure_.reset();
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        for (int i = 0; i < columns; ++i)
            readColumn(s, i, datesRead[static_cast<std::size_t>(i)] != 0, values[static_cast<std::size_t>(i)]);
        if (!row(names, values))
            return;
        // A statement row ran may have left its own money failure behind.
        moneyFailure_.reset();
    }
    if (rc != SQLITE_DONE)
        fail(text);
}

Rows SqliteConnection::query(const std::string& jetSql, bool wantEditable) {
    const StatementText& read = querySelect(jetSql);
    forLookups();
    const std::string& text = read.text;

    const SqlShape& shape = read.shape;
    StatementCache::Lease stmt = statement((wantEditable ? "E" : "Q") + shape.text, shape.text, true, wantEditable);
    const PreparedStatement& prepared = stmt.prepared();
    const bool editable = prepared.editable;

    std::string keptKey;
    // While the data version statement is stepped and not yet reset, its read
    // transaction is open, so the version read belongs to the very snapshot
    // the rows are read from (and costs no lock of its own).
    struct Snapshot {
        sqlite3_stmt* stmt = nullptr;
        ~Snapshot() {
            if (stmt)
                sqlite3_reset(stmt);
        }
    } snapshot;
    if (!editable && prepared.rowsReusable) {
        sqlite3_stmt* dataVersion = dataVersion_.get();
        sqlite3_reset(dataVersion);
        std::int64_t otherVersion = -1;
        if (sqlite3_step(dataVersion) == SQLITE_ROW) {
            otherVersion = sqlite3_column_int64(dataVersion, 0);
            snapshot.stmt = dataVersion;
        } else {
            sqlite3_reset(dataVersion);
        }
        noteOutsideChanges(otherVersion);
        if (otherVersion >= 0)
            keptKey = keptRowsKey(shape.text, shape.values);
        for (auto it = keptRows_.begin(); !keptKey.empty() && it != keptRows_.end(); ++it) {
            KeptRows& kept = **it;
            if (kept.key != keptKey)
                continue;
            bool current = kept.epoch == epoch_;
            for (const auto& [table, version] : kept.versions)
                current = current && versionOf(table) == version;
            if (!current) {
                keptRows_.erase(it);
                break;
            }
            keptRows_.splice(keptRows_.begin(), keptRows_, it);
            return kept.rows;
        }
    }

    Rows rows;
    if (editable) {
        rows.table = prepared.table;
        rows.columns = prepared.columns;
    }
    bindAll(stmt.get(), shape.values);
    const int first = editable ? 1 : 0;
    const int columns = sqlite3_column_count(stmt.get());
    for (int i = first; i < columns; ++i) {
        const char* name = sqlite3_column_name(stmt.get(), i);
        rows.names.emplace_back(name ? name : "");
    }
    moneyFailure_.reset();
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        if (editable)
            rows.keys.push_back({Variant(static_cast<std::int64_t>(sqlite3_column_int64(stmt.get(), 0)))});
        std::vector<Variant> row;
        row.reserve(static_cast<std::size_t>(columns - first));
        for (int i = first; i < columns; ++i)
            row.push_back(columnValue(stmt.get(), i));
        rows.values.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        fail(text);
    if (editable) {
        rows.keyColumns = {"rowid"};
        rows.readTransaction = inTransaction() ? transactionSerial_ : 0;
        rows.tableChanges = versionOf(lowerCase(rows.table.c_str()));
    }

    if (!keptKey.empty() && rows.values.size() <= keptRowsMaxRows) {
        auto kept = std::make_unique<KeptRows>(KeptRows{keptKey, rows, epoch_, {}});
        for (const std::string& table : prepared.tablesRead)
            kept->versions.emplace_back(table, versionOf(table));
        keptRows_.push_front(std::move(kept));
        if (keptRows_.size() > keptRowsLimit)
            keptRows_.pop_back();
    }
    return rows;
}

void SqliteConnection::updateRow(Rows& rows, std::size_t row, const std::vector<std::optional<Variant>>& edits) {
    sqlite3* db = db_.get();
    forLookups(true);
    const std::int64_t rowid = rows.keys.at(row).at(0).integer();

    // The write-back and re-read statements of this table, columns and set of
    // edited fields, built once.
    std::string key;
    key.reserve(rows.table.size() + 16 * rows.columns.size());
    key += rows.table;
    for (const std::string& column : rows.columns) {
        key += '\x1f';
        key += column;
    }
    key += '\x1e';
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < edits.size(); ++i) {
        key += edits[i] ? '1' : '0';
        if (edits[i])
            changed.push_back(i);
    }
    if (changed.empty())
        return;
    auto found = writeBack_.find(key);
    if (found == writeBack_.end()) {
        if (writeBack_.size() >= StatementCache::defaultCapacity)
            writeBack_.clear();
        WriteBack writeBack;
        writeBack.tableKey = lowerCase(rows.table.c_str());
        writeBack.editsMoneyOnly = true;
        for (std::size_t i : changed) {
            writeBack.update +=
                (writeBack.update.empty() ? "update " + quoteIdentifier(rows.table) + " set " : std::string(", ")) +
                quoteIdentifier(rows.columns[i]) + " = ?";
            writeBack.editsMoneyOnly = writeBack.editsMoneyOnly && IsMoneyColumn(db, rows.table, rows.columns[i]);
        }
        writeBack.update += " where rowid = ?";
        // A generated column may follow what was written.
        writeBack.editsMoneyOnly = writeBack.editsMoneyOnly && !hasGeneratedColumns(rows.table);
        for (std::size_t i = 0; i < rows.columns.size(); ++i)
            writeBack.reread += (i ? ", " : "select ") + quoteIdentifier(rows.columns[i]);
        writeBack.reread += " from " + quoteIdentifier(rows.table) + " where rowid = ?";
        found = writeBack_.emplace(key, std::move(writeBack)).first;
    }
    const WriteBack& writeBack = found->second;
    StatementCache::Lease stmt = statement("I" + writeBack.update, writeBack.update, false, false);
    int parameter = 1;
    for (std::size_t i : changed)
        bindValue(db, stmt.get(), parameter++, *edits[i]);
    if (sqlite3_bind_int64(stmt.get(), parameter, rowid) != SQLITE_OK)
        throw sqliteError(db);
    moneyFailure_.reset();
    const std::uint64_t changesBefore = versionOf(writeBack.tableKey);
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        fail(writeBack.update);
    // A row that another user deleted meanwhile takes no write; say so rather
    // than let the change vanish.
    if (sqlite3_changes64(db) == 0)
        throw EngineError(errRecordDeleted, engineSource, "Record is deleted.");

    // The recordset shows what the table now holds: the column's type may have
    // converted what was written, and a trigger may have changed the row.
    if (rowKnownAfterWrite(rows, writeBack, changesBefore, edits)) {
        for (std::size_t i : changed) {
            const Variant& edit = *edits[i];
            rows.values[row][i] =
                edit.isNull() || edit.isEmpty()
                    ? Variant::null()
                    : Variant(WrittenMoney(edit.kind() == Variant::Kind::Currency ? edit.currency().toDouble()
                                                                                  : edit.number()));
        }
        rows.tableChanges += 1;
        return;
    }
    StatementCache::Lease reread = statement("I" + writeBack.reread, writeBack.reread, false, false);
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

bool SqliteConnection::rowKnownAfterWrite(const Rows& rows, const WriteBack& writeBack, std::uint64_t changesBefore,
                                          const std::vector<std::optional<Variant>>& edits) const {
    // Only money was written, as finite numbers or Null: what a money column
    // then holds is known.
    if (!writeBack.editsMoneyOnly)
        return false;
    for (const std::optional<Variant>& edit : edits) {
        if (!edit || edit->isNull() || edit->isEmpty() || edit->kind() == Variant::Kind::Currency)
            continue;
        if (edit->kind() != Variant::Kind::Double || !std::isfinite(edit->number()))
            return false;
    }
    // The rows were read in the transaction still open, so no other user can
    // have changed them since; nothing of this connection changed the table
    // since but this recordset's own writes; and the write changed this one
    // row alone (a trigger's change to the table would count as well).
    return rows.readTransaction != 0 && rows.readTransaction == transactionSerial_ && inTransaction() &&
           changesBefore == rows.tableChanges && versionOf(writeBack.tableKey) == changesBefore + 1;
}

bool SqliteConnection::hasGeneratedColumns(const std::string& table) {
    const std::string sql = "select count(*) from pragma_table_xinfo(?1) where hidden in (2, 3)";
    StatementCache::Lease stmt = statement("T" + sql, sql, false, false);
    if (sqlite3_bind_text(stmt.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT) != SQLITE_OK ||
        sqlite3_step(stmt.get()) != SQLITE_ROW)
        throw sqliteError(db_.get());
    return sqlite3_column_int64(stmt.get(), 0) != 0;
}

void SqliteConnection::runStatement(const std::string& sql) {
    ++transactionSerial_;
    StatementCache::Lease stmt = statement("T" + sql, sql, false, false);
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        throw sqliteError(db_.get());
}

void SqliteConnection::beginTrans() {
    // Immediate: the write lock is taken (or waited for) now, so that a repair
    // that reads and then writes never meets another writer half-way, where
    // SQLite could only give up at once.
    runStatement("begin immediate");
}

void SqliteConnection::commitTrans() {
    runStatement("commit");
}

void SqliteConnection::rollback() {
    ++epoch_;
    runStatement("rollback");
}

void SqliteConnection::savepoint(const std::string& name) {
    runStatement("savepoint " + quoteIdentifier(name));
}

void SqliteConnection::releaseSavepoint(const std::string& name) {
    runStatement("release " + quoteIdentifier(name));
}

void SqliteConnection::rollbackToSavepoint(const std::string& name) {
    const std::string quoted = quoteIdentifier(name);
    // What was read inside the savepoint may be undone now.
    ++epoch_;
    runStatement("rollback to " + quoted);
    runStatement("release " + quoted);
}

bool SqliteConnection::inTransaction() const {
    return sqlite3_get_autocommit(db_.get()) == 0;
}

void SqliteConnection::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(db_.get(), milliseconds);
}

} // namespace engine

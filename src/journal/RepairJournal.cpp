#include "journal/RepairJournal.h"

#include "engine/sqlite/Sqlite.h"

#include <filesystem>
#include <unordered_map>
#include <utility>

namespace journal {

namespace {

// One row per period of a recorded tenant, the amounts before the repair and
// after it side by side; period_from identifies the period within its tenant.
constexpr const char* schemaSql = R"(
create table if not exists actions (
    id integer primary key autoincrement,
    kind text not null,
    made_at datetime not null,
    login text not null,
    database_name text not null,
    tenant text,
    undoes integer,
    undone_by integer
);
create index if not exists actions_database on actions (database_name, id);
create table if not exists tenants (
    id integer primary key autoincrement,
    action_id integer not null,
    tenant text not null
);
create index if not exists tenants_action on tenants (action_id, id);
create table if not exists periods (
    entry integer not null,
    position integer not null,
    period_from datetime,
    rent_due_before, paid_before, extra_charges_before, extra_charges_paid_before,
    rent_due_after, paid_after, extra_charges_after, extra_charges_paid_after,
    primary key (entry, position)
) without rowid;
)";

// What a journal written before notes were kept lacks; added when it is
// first opened, so every action it holds is kept.
constexpr const char* addNoteSql = "alter table actions add column note text";

// A period whose amounts the repair changed.
constexpr const char* periodChanged =
    "(p.rent_due_before is not p.rent_due_after or p.paid_before is not p.paid_after or p.extra_charges_before is "
    "not p.extra_charges_after or p.extra_charges_paid_before is not p.extra_charges_paid_after)";

// An action as Action holds it, columns 0 to 11 (see readAction); where and
// order follow.
std::string actionSelect() {
    return std::string("select a.id, a.kind, a.made_at, a.login, a.database_name, a.tenant, coalesce(a.undoes, 0), "
                       "(select count(distinct t.tenant) from tenants t where t.action_id = a.id), "
                       "(select count(*) from tenants t join periods p on p.entry = t.id where t.action_id = a.id "
                       "and ") +
           periodChanged +
           "), coalesce(a.undone_by, 0), u.made_at, a.note from actions a left join actions u on u.id = "
           "a.undone_by ";
}

engine::Variant column(sqlite3_stmt* stmt, int i) {
    return engine::columnValue(stmt, i);
}

std::string textColumn(sqlite3_stmt* stmt, int i) {
    const unsigned char* text = sqlite3_column_text(stmt, i);
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

std::optional<platform::LocalTime> timeColumn(sqlite3_stmt* stmt, int i) {
    const engine::Variant value = column(stmt, i);
    if (value.kind() != engine::Variant::Kind::Date)
        return std::nullopt;
    return value.date().parts();
}

// The current row of a statement of actionSelect().
Action readAction(sqlite3_stmt* stmt) {
    Action action;
    action.id = sqlite3_column_int64(stmt, 0);
    action.kind = textColumn(stmt, 1);
    if (const auto madeAt = timeColumn(stmt, 2))
        action.madeAt = *madeAt;
    action.login = textColumn(stmt, 3);
    action.database = textColumn(stmt, 4);
    action.tenant = textColumn(stmt, 5);
    action.undoes = sqlite3_column_int64(stmt, 6);
    action.tenants = sqlite3_column_int(stmt, 7);
    action.periods = sqlite3_column_int(stmt, 8);
    action.undoneBy = sqlite3_column_int64(stmt, 9);
    action.undoneAt = timeColumn(stmt, 10);
    action.note = textColumn(stmt, 11);
    return action;
}

// The rows of stmt, each read by read. Raises the SQLite error.
template <typename Read> void eachRow(sqlite3* db, sqlite3_stmt* stmt, Read read) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        read(stmt);
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE)
        throw engine::sqliteError(db);
}

} // namespace

struct RepairJournal::Impl {
    engine::ConnectionHandle db;
    // Statements prepared once; declared after db so they are finalised first.
    std::unordered_map<std::string, engine::StatementHandle> statements;
    std::vector<long long> pending;  // tenant entries added since the last Sync
    std::vector<long long> lastSync; // tenant entries the last Sync committed
    std::string lostReason;          // why entries added since the last Sync were lost

    // A cached statement, reset and with its bindings cleared.
    sqlite3_stmt* statement(const std::string& sql) {
        auto found = statements.find(sql);
        if (found == statements.end())
            found = statements.emplace(sql, engine::prepare(db.get(), sql)).first;
        sqlite3_stmt* stmt = found->second.get();
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        return stmt;
    }

    void bind(sqlite3_stmt* stmt, int i, const engine::Variant& value) { engine::bindValue(db.get(), stmt, i, value); }

    // Runs a statement that returns no rows. Raises the SQLite error.
    void step(sqlite3_stmt* stmt) {
        const int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw engine::sqliteError(db.get());
    }

    // Rolls back the open transaction; entries added since the last Sync are
    // lost then, and the next Sync says why.
    void rollback(const std::string& reason = "the journal's open transaction was rolled back") noexcept {
        if (!pending.empty() && lostReason.empty())
            lostReason = reason;
        if (sqlite3_get_autocommit(db.get()) == 0) {
            try {
                engine::run(db.get(), "rollback");
            } catch (const engine::EngineError&) {
            }
        }
        pending.clear();
    }

    void begin() {
        if (sqlite3_get_autocommit(db.get()) != 0)
            engine::run(db.get(), "begin immediate");
    }

    void commit() { engine::run(db.get(), "commit"); }
};

RepairJournal::RepairJournal(std::string folder, long long maxBytes)
    : folder_(std::move(folder)), maxBytes_(maxBytes) {}

RepairJournal::~RepairJournal() {
    if (impl_)
        impl_->rollback();
}

std::string RepairJournal::path() const {
    return platform::joinPath(folder_, fileName);
}

RepairJournal::Impl& RepairJournal::open() {
    if (impl_)
        return *impl_;
    if (folder_.empty())
        throw JournalError("this system gives no data folder for the user");
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec)
        throw JournalError(ec.message());
    auto impl = std::make_unique<Impl>();
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path().c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    impl->db.reset(raw);
    if (rc != SQLITE_OK)
        throw JournalError(engine::sqliteError(raw).description);
    try {
        sqlite3_busy_timeout(raw, engine::defaultBusyTimeoutMs);
        // Every commit reaches the disk before the host database's commit is
        // made. With a write-ahead log that is one flush of the log per commit
        // (a rollback journal needs two or three), which keeps the time "Fix
        // All" spends waiting for the disk, with the host's lock held, short.
        engine::run(raw, "pragma journal_mode = wal");
        engine::run(raw, "pragma synchronous = full");
        engine::run(raw, "begin immediate");
        engine::run(raw, schemaSql);
        bool hasNote = false;
        engine::StatementHandle columns = engine::prepare(raw, "pragma table_info(actions)");
        while (sqlite3_step(columns.get()) == SQLITE_ROW)
            hasNote = hasNote || textColumn(columns.get(), 1) == "note";
        columns.reset();
        if (!hasNote)
            engine::run(raw, addNoteSql);
        engine::run(raw, "commit");
    } catch (const engine::EngineError& error) {
        throw JournalError(error.description);
    }
    impl_ = std::move(impl);
    return *impl_;
}

long long RepairJournal::BeginAction(const Action& action) {
    Impl& j = open();
    try {
        j.rollback();
        j.begin();
        sqlite3_stmt* insert =
            j.statement("insert into actions (kind, made_at, login, database_name, tenant, undoes) values (?1, ?2, ?3, "
                        "?4, ?5, ?6)");
        j.bind(insert, 1, action.kind);
        j.bind(insert, 2, engine::Date::fromParts(action.madeAt));
        j.bind(insert, 3, action.login);
        j.bind(insert, 4, action.database);
        j.bind(insert, 5, action.tenant.empty() ? engine::Variant::null() : engine::Variant(action.tenant));
        j.bind(insert, 6,
               action.undoes != 0 ? engine::Variant(static_cast<std::int64_t>(action.undoes))
                                  : engine::Variant::null());
        j.step(insert);
        const long long id = sqlite3_last_insert_rowid(j.db.get());
        // The oldest actions beyond the kept number go, with their tenants and periods.
        const std::string oldest = "(select id from actions where id <= (select id from actions order by id desc "
                                   "limit 1 offset " +
                                   std::to_string(keptActions) + "))";
        const auto drop = [&j](const std::string& actions) {
            engine::run(j.db.get(), "delete from periods where entry in (select id from tenants where action_id in " +
                                        actions + "); delete from tenants where action_id in " + actions +
                                        "; delete from actions where id in " + actions);
        };
        drop(oldest);
        // Then the oldest, one by one, while the actions take more than the
        // journal may (the pages they free are used again, so the file stops
        // growing there).
        const auto usedBytes = [&j] {
            long long pages = 0, free = 0, size = 0;
            for (auto [pragma, out] :
                 {std::pair{"pragma page_count", &pages}, std::pair{"pragma freelist_count", &free},
                  std::pair{"pragma page_size", &size}}) {
                sqlite3_stmt* stmt = j.statement(pragma);
                if (sqlite3_step(stmt) == SQLITE_ROW)
                    *out = sqlite3_column_int64(stmt, 0);
                sqlite3_reset(stmt);
            }
            return (pages - free) * size;
        };
        while (usedBytes() > maxBytes_) {
            sqlite3_stmt* first = j.statement("select min(id) from actions where id < ?1");
            j.bind(first, 1, static_cast<std::int64_t>(id));
            const bool found = sqlite3_step(first) == SQLITE_ROW && sqlite3_column_type(first, 0) != SQLITE_NULL;
            const long long oldestId = found ? sqlite3_column_int64(first, 0) : 0;
            sqlite3_reset(first);
            if (!found)
                break;
            drop("(" + std::to_string(oldestId) + ")");
        }
        j.commit();
        j.lastSync.clear();
        return id;
    } catch (const engine::EngineError& error) {
        j.rollback();
        throw JournalError(error.description);
    }
}

void RepairJournal::AddTenant(long long action, const std::string& tenant, const PeriodRows& before,
                              const PeriodRows& after) {
    Impl& j = open();
    if (before.size() != after.size()) {
        const std::string reason = "the rental periods of tenant " + tenant + " changed in number during the repair";
        j.rollback(reason);
        throw JournalError(reason);
    }
    try {
        j.begin();
        sqlite3_stmt* insertTenant = j.statement("insert into tenants (action_id, tenant) values (?1, ?2)");
        j.bind(insertTenant, 1, static_cast<std::int64_t>(action));
        j.bind(insertTenant, 2, tenant);
        j.step(insertTenant);
        const long long entry = sqlite3_last_insert_rowid(j.db.get());
        sqlite3_stmt* insertPeriod = j.statement("insert into periods values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                                                 "?10, ?11)");
        for (std::size_t i = 0; i < before.size(); ++i) {
            const PeriodRow& b = before[i];
            const PeriodRow& a = after[i];
            if (!SamePeriods({{b.periodFrom, 0, 0, 0, 0}}, {{a.periodFrom, 0, 0, 0, 0}}))
                throw JournalError("the rental periods of tenant " + tenant + " changed their dates during the repair");
            j.bind(insertPeriod, 1, static_cast<std::int64_t>(entry));
            j.bind(insertPeriod, 2, static_cast<std::int64_t>(i));
            j.bind(insertPeriod, 3, b.periodFrom);
            j.bind(insertPeriod, 4, b.rentDue);
            j.bind(insertPeriod, 5, b.paid);
            j.bind(insertPeriod, 6, b.extraCharges);
            j.bind(insertPeriod, 7, b.extraChargesPaid);
            j.bind(insertPeriod, 8, a.rentDue);
            j.bind(insertPeriod, 9, a.paid);
            j.bind(insertPeriod, 10, a.extraCharges);
            j.bind(insertPeriod, 11, a.extraChargesPaid);
            j.step(insertPeriod);
        }
        j.pending.push_back(entry);
    } catch (const engine::EngineError& error) {
        j.rollback(error.description);
        throw JournalError(error.description);
    } catch (const JournalError& error) {
        j.rollback(error.what());
        throw;
    }
}

void RepairJournal::Sync() {
    Impl& j = open();
    if (!j.lostReason.empty())
        throw JournalError(std::exchange(j.lostReason, {}));
    if (sqlite3_get_autocommit(j.db.get()) != 0)
        return;
    try {
        j.commit();
    } catch (const engine::EngineError& error) {
        j.rollback();
        j.lostReason.clear();
        throw JournalError(error.description);
    }
    j.lastSync.swap(j.pending);
    j.pending.clear();
}

void RepairJournal::ForgetLastSync() {
    if (!impl_ || impl_->lastSync.empty())
        return;
    Impl& j = *impl_;
    try {
        j.rollback();
        j.begin();
        for (long long entry : j.lastSync) {
            for (const char* sql : {"delete from periods where entry = ?1", "delete from tenants where id = ?1"}) {
                sqlite3_stmt* stmt = j.statement(sql);
                j.bind(stmt, 1, static_cast<std::int64_t>(entry));
                j.step(stmt);
            }
        }
        j.commit();
    } catch (const engine::EngineError&) {
        // Left in the journal, such a tenant's rows are still its "before"
        // rows, and an undo recognises it and leaves it alone.
        j.rollback();
    }
    j.lastSync.clear();
}

void RepairJournal::EndAction(long long action) {
    if (!impl_)
        return;
    Impl& j = *impl_;
    try {
        if (sqlite3_get_autocommit(j.db.get()) == 0)
            return; // tenants not yet synced: the action is not empty
        sqlite3_stmt* stmt = j.statement(
            "delete from actions where id = ?1 and not exists (select 1 from tenants where action_id = ?1)");
        j.bind(stmt, 1, static_cast<std::int64_t>(action));
        j.step(stmt);
    } catch (const engine::EngineError&) {
        // An empty action is never offered for undo; it may stay.
    }
}

bool RepairJournal::exists() const {
    return impl_ || std::filesystem::exists(platform::nativePath(path()));
}

std::optional<Action> RepairJournal::LastUndoable(const std::string& database) {
    // Without a journal file there is nothing to undo; none is created for asking.
    if (!exists())
        return std::nullopt;
    Impl& j = open();
    try {
        sqlite3_stmt* stmt =
            j.statement(actionSelect() + "where a.database_name = ?1 and a.kind <> 'undo' and a.undone_by is null and "
                                         "exists (select 1 from tenants t where t.action_id = a.id) order by a.id "
                                         "desc limit 1");
        j.bind(stmt, 1, database);
        std::optional<Action> last;
        eachRow(j.db.get(), stmt, [&](sqlite3_stmt* row) { last = readAction(row); });
        return last;
    } catch (const engine::EngineError& error) {
        throw JournalError(error.description);
    }
}

std::vector<Action> RepairJournal::Actions(const std::string& database) {
    if (!exists())
        return {};
    Impl& j = open();
    try {
        sqlite3_stmt* stmt = j.statement(actionSelect() + "where a.database_name = ?1 order by a.id desc");
        j.bind(stmt, 1, database);
        std::vector<Action> actions;
        eachRow(j.db.get(), stmt, [&](sqlite3_stmt* row) { actions.push_back(readAction(row)); });
        return actions;
    } catch (const engine::EngineError& error) {
        throw JournalError(error.description);
    }
}

std::optional<LaterChange> RepairJournal::LastChangeOf(const std::string& database, const std::string& tenant,
                                                       long long since) {
    Impl& j = open();
    try {
        sqlite3_stmt* stmt =
            j.statement(actionSelect() + "where a.database_name = ?1 and a.id > ?2 and a.undone_by is null and exists "
                                         "(select 1 from tenants t where t.action_id = a.id and t.tenant = ?3) order "
                                         "by a.id desc limit 1");
        j.bind(stmt, 1, database);
        j.bind(stmt, 2, static_cast<std::int64_t>(since));
        j.bind(stmt, 3, tenant);
        std::optional<Action> later;
        eachRow(j.db.get(), stmt, [&](sqlite3_stmt* row) { later = readAction(row); });
        if (!later)
            return std::nullopt;
        sqlite3_stmt* entry = j.statement("select max(id) from tenants where action_id = ?1 and tenant = ?2");
        j.bind(entry, 1, static_cast<std::int64_t>(later->id));
        j.bind(entry, 2, tenant);
        long long entryId = 0;
        eachRow(j.db.get(), entry, [&](sqlite3_stmt* row) { entryId = sqlite3_column_int64(row, 0); });
        return LaterChange{*later, Entry(entryId)};
    } catch (const engine::EngineError& error) {
        throw JournalError(error.description);
    }
}

void RepairJournal::SetNote(long long action, const std::string& note) {
    Impl& j = open();
    try {
        sqlite3_stmt* stmt = j.statement("update actions set note = ?2 where id = ?1");
        j.bind(stmt, 1, static_cast<std::int64_t>(action));
        j.bind(stmt, 2, note.empty() ? engine::Variant::null() : engine::Variant(note));
        j.step(stmt);
        if (sqlite3_changes(j.db.get()) == 0)
            throw JournalError("the action is no longer in the journal");
    } catch (const engine::EngineError& error) {
        throw JournalError(error.description);
    }
}

std::vector<long long> RepairJournal::TenantEntries(long long action) {
    Impl& j = open();
    try {
        sqlite3_stmt* stmt = j.statement("select id from tenants where action_id = ?1 order by id");
        j.bind(stmt, 1, static_cast<std::int64_t>(action));
        std::vector<long long> entries;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            entries.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_reset(stmt);
        if (rc != SQLITE_DONE)
            throw engine::sqliteError(j.db.get());
        return entries;
    } catch (const engine::EngineError& error) {
        throw JournalError(error.description);
    }
}

TenantEntry RepairJournal::Entry(long long entry) {
    Impl& j = open();
    try {
        TenantEntry result;
        sqlite3_stmt* tenant = j.statement("select tenant from tenants where id = ?1");
        j.bind(tenant, 1, static_cast<std::int64_t>(entry));
        if (sqlite3_step(tenant) == SQLITE_ROW)
            result.tenant = textColumn(tenant, 0);
        sqlite3_reset(tenant);
        sqlite3_stmt* stmt = j.statement("select period_from, rent_due_before, paid_before, extra_charges_before, "
                                         "extra_charges_paid_before, rent_due_after, paid_after, extra_charges_after, "
                                         "extra_charges_paid_after from periods where entry = ?1 order by position");
        j.bind(stmt, 1, static_cast<std::int64_t>(entry));
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const engine::Variant from = column(stmt, 0);
            result.before.push_back({from, column(stmt, 1), column(stmt, 2), column(stmt, 3), column(stmt, 4)});
            result.after.push_back({from, column(stmt, 5), column(stmt, 6), column(stmt, 7), column(stmt, 8)});
        }
        sqlite3_reset(stmt);
        if (rc != SQLITE_DONE)
            throw engine::sqliteError(j.db.get());
        return result;
    } catch (const engine::EngineError& error) {
        throw JournalError(error.description);
    }
}

void RepairJournal::MarkUndone(long long action, long long undo) {
    Impl& j = open();
    try {
        j.begin();
        sqlite3_stmt* stmt = j.statement("update actions set undone_by = ?2 where id = ?1");
        j.bind(stmt, 1, static_cast<std::int64_t>(action));
        j.bind(stmt, 2, static_cast<std::int64_t>(undo));
        j.step(stmt);
        // An undo undone puts back what the action it undid made: that action
        // is in force again.
        sqlite3_stmt* again = j.statement("update actions set undone_by = null where undone_by = ?1 and id = (select "
                                          "undoes from actions where id = ?1 and kind = 'undo')");
        j.bind(again, 1, static_cast<std::int64_t>(action));
        j.step(again);
        j.commit();
    } catch (const engine::EngineError& error) {
        j.rollback();
        throw JournalError(error.description);
    }
}

} // namespace journal

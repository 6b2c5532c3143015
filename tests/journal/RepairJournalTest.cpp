// The repair journal on its own: what it keeps, for how long, which action
// Undo is offered, and what "exactly the same rows" means.

#include "PropertyDb.h"
#include "Recorders.h"

#include "journal/RepairJournal.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using engine::Variant;
using journal::PeriodRow;
using journal::PeriodRows;
using journal::RepairJournal;

// 1 January 2025 (a serial, not parsed: the parser is not ready before main runs).
const Variant january = Variant(engine::Date(45658));

journal::Action action(const std::string& kind, const std::string& database, const std::string& tenant = {}) {
    journal::Action a;
    a.kind = kind;
    a.madeAt = {2026, 12, 8, 14, 2, 0};
    a.login = "tester";
    a.database = database;
    a.tenant = tenant;
    return a;
}

TEST(RepairJournal, EntriesComeBackAsTheyWereGiven) {
    TempDir dir;
    RepairJournal journal(dir.file("data/journal")); // the folders are made on first use
    const PeriodRows before = {{january, Variant(-100), Variant(7.25), Variant::null(), Variant("12.5")},
                               {Variant("2025-02-01"), Variant(0.1 + 0.2), Variant(0), Variant(20.0), Variant(0.0)}};
    const PeriodRows after = {
        {january, Variant(100), Variant(100.0), Variant::null(), Variant("12.5")},
        {Variant("2025-02-01"), Variant(0.1 + 0.2), Variant(150.5), Variant(20.0), Variant(20.0)}};
    const long long id = journal.BeginAction(action(journal::kindFixAll, "/srv/property.mdb"));
    journal.AddTenant(id, "O'NEIL01", before, after);
    journal.Sync();

    RepairJournal reopened(dir.file("data/journal"));
    auto last = reopened.LastUndoable("/srv/property.mdb");
    ASSERT_TRUE(last);
    EXPECT_EQ(last->kind, journal::kindFixAll);
    EXPECT_EQ(last->tenants, 1);
    EXPECT_EQ(last->madeAt.hour, 14);
    EXPECT_EQ(last->madeAt.minute, 2);
    auto entries = reopened.TenantEntries(id);
    ASSERT_EQ(entries.size(), 1u);
    journal::TenantEntry entry = reopened.Entry(entries[0]);
    EXPECT_EQ(entry.tenant, "O'NEIL01");
    EXPECT_TRUE(journal::SamePeriods(entry.before, before));
    EXPECT_TRUE(journal::SamePeriods(entry.after, after));
    EXPECT_FALSE(journal::SamePeriods(entry.before, after));
}

TEST(RepairJournal, SameRowsMeansExactlyTheSameValues) {
    struct Case {
        const char* name;
        Variant a;
        Variant b;
        bool same;
    };
    const Case cases[] = {
        {"an integer and the same real", Variant(100), Variant(100.0), true},
        {"money and the same real", Variant(engine::Currency::fromDouble(12.5)), Variant(12.5), true},
        {"a sum's rounding is a change", Variant(0.1 + 0.2), Variant(0.3), false},
        {"Null only equals Null", Variant::null(), Variant(0), false},
        {"Null and Null", Variant::null(), Variant::null(), true},
        {"text is compared exactly", Variant("abc"), Variant("ABC"), false},
        {"a number is not its text", Variant(5), Variant("five"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(journal::SamePeriods({{january, c.a, 0, 0, 0}}, {{january, c.b, 0, 0, 0}}), c.same);
    }
    EXPECT_TRUE(journal::SamePeriods({{january, 1, 2, 3, 4}}, {{Variant("2025-01-01"), 1, 2, 3, 4}}));
    EXPECT_FALSE(journal::SamePeriods({{january, 1, 2, 3, 4}}, {{Variant("2025-01-02"), 1, 2, 3, 4}}));
    EXPECT_FALSE(journal::SamePeriods({{january, 1, 2, 3, 4}}, {}));
}

TEST(RepairJournal, UndoIsOfferedTheNewestActionOfThisDatabaseNotYetUndone) {
    TempDir dir;
    RepairJournal journal(dir.path().string());
    EXPECT_FALSE(journal.LastUndoable("a.mdb")); // no journal file yet: nothing, and none is made
    EXPECT_FALSE(std::filesystem::exists(journal.path()));

    const PeriodRows rows = {{january, 1, 2, 3, 4}};
    const long long first = journal.BeginAction(action(journal::kindRepair, "a.mdb", "T1"));
    journal.AddTenant(first, "T1", rows, rows);
    journal.Sync();
    const long long otherDatabase = journal.BeginAction(action(journal::kindRepair, "b.mdb", "T2"));
    journal.AddTenant(otherDatabase, "T2", rows, rows);
    journal.Sync();
    const long long empty = journal.BeginAction(action(journal::kindFixAll, "a.mdb"));
    EXPECT_EQ(journal.LastUndoable("a.mdb")->id, first); // an action without tenants is never offered
    journal.EndAction(empty);

    const long long undo = journal.BeginAction(action(journal::kindUndo, "a.mdb", "T1"));
    journal.AddTenant(undo, "T1", rows, rows);
    journal.Sync();
    EXPECT_EQ(journal.LastUndoable("a.mdb")->id, first); // never the undo itself
    journal.MarkUndone(first, undo);
    EXPECT_FALSE(journal.LastUndoable("a.mdb"));
    EXPECT_EQ(journal.LastUndoable("b.mdb")->id, otherDatabase);

    // A group whose host commit failed is taken out again.
    const long long failed = journal.BeginAction(action(journal::kindRepair, "a.mdb", "T3"));
    journal.AddTenant(failed, "T3", rows, rows);
    journal.Sync();
    journal.ForgetLastSync();
    journal.EndAction(failed);
    EXPECT_FALSE(journal.LastUndoable("a.mdb"));
}

TEST(RepairJournal, KeepsTheLastTwoHundredActions) {
    TempDir dir;
    RepairJournal journal(dir.path().string());
    const PeriodRows rows = {{january, 1, 2, 3, 4}};
    std::vector<long long> ids;
    for (int i = 0; i < RepairJournal::keptActions + 5; ++i) {
        ids.push_back(journal.BeginAction(action(journal::kindRepair, "a.mdb", "T" + std::to_string(i))));
        journal.AddTenant(ids.back(), "T" + std::to_string(i), rows, rows);
        journal.Sync();
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(journal.TenantEntries(ids[i]).size(), i < 5 ? 0u : 1u);
    }
    // Undo goes back through the kept ones only.
    for (std::size_t i = ids.size(); i-- > 5;) {
        auto last = journal.LastUndoable("a.mdb");
        ASSERT_TRUE(last);
        EXPECT_EQ(last->id, ids[i]);
        journal.MarkUndone(last->id, -1);
    }
    EXPECT_FALSE(journal.LastUndoable("a.mdb"));
}

TEST(RepairJournal, KeepsNoMoreThanTheBytesItMayTake) {
    TempDir dir;
    const long long bound = 256 * 1024;
    RepairJournal journal(dir.path().string(), bound);
    PeriodRows rows;
    PeriodRow row{january, 100.25, 50.5, 12.0, 3.0};
    for (int i = 0; i < 200; ++i) {
        row.periodFrom = Variant(engine::Date(45658.0 + i));
        rows.push_back(row);
    }
    std::vector<long long> ids;
    for (int i = 0; i < 60; ++i) {
        ids.push_back(journal.BeginAction(action(journal::kindFixAll, "a.mdb")));
        journal.AddTenant(ids.back(), "T" + std::to_string(i), rows, rows);
        journal.Sync();
    }
    // The oldest went, the newest are there in order, and the file stopped growing.
    EXPECT_TRUE(journal.TenantEntries(ids.front()).empty());
    EXPECT_EQ(journal.TenantEntries(ids.back()).size(), 1u);
    EXPECT_EQ(journal.TenantEntries(ids[ids.size() - 2]).size(), 1u);
    EXPECT_LT(std::filesystem::file_size(journal.path()), static_cast<std::uintmax_t>(2 * bound));
}

TEST(RepairJournal, ALostEntryStopsTheNextSync) {
    TempDir dir;
    RepairJournal journal(dir.path().string());
    const PeriodRows rows = {{january, 1, 2, 3, 4}};
    const long long id = journal.BeginAction(action(journal::kindFixAll, "a.mdb"));
    journal.AddTenant(id, "T1", rows, rows);
    // A failure of the next tenant loses T1's entry with it; the host database
    // must then not commit T1's repair.
    EXPECT_THROW(journal.AddTenant(id, "T2", rows, {}), journal::JournalError);
    EXPECT_THROW(journal.Sync(), journal::JournalError);
    EXPECT_TRUE(journal.TenantEntries(id).empty());
    journal.AddTenant(id, "T3", rows, rows);
    EXPECT_NO_THROW(journal.Sync());
    EXPECT_EQ(journal.TenantEntries(id).size(), 1u);
}

// A journal as the released version wrote it: its schema statements and its
// rows, written here with SQLite itself. Every action opens as it was, gains
// a note without loss, and the released version can still write to it.
TEST(RepairJournal, AJournalOfTheReleasedVersionOpensWithEveryActionAndTakesANote) {
    TempDir dir;
    const std::string path = dir.file(RepairJournal::fileName);
    const char* released = R"(
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
-- A repair of T1 undone, a Fix All of two tenants (T2's entry from before
-- only the changed periods were kept: its first period is as it was), an
-- action on another database.
insert into actions (kind, made_at, login, database_name, tenant, undoes, undone_by) values
    ('repair', '2026-11-02 09:15:00', 'ann', 'a.mdb', 'T1', null, 2),
    ('undo', '2026-11-02 09:20:00', 'ann', 'a.mdb', 'T1', 1, null),
    ('fix all', '2026-11-03 17:45:30', 'bob', 'a.mdb', null, null, null),
    ('repair', '2026-11-04 08:00:00', 'bob', 'b.mdb', 'T9', null, null);
insert into tenants (action_id, tenant) values (1, 'T1'), (2, 'T1'), (3, 'T2'), (3, 'T3'), (4, 'T9');
insert into periods values
    (1, 0, '2025-01-01', 100, 0, 0, 0, 100, 100, 0, 0),
    (2, 0, '2025-01-01', 100, 100, 0, 0, 100, 0, 0, 0),
    (3, 0, '2025-01-01', 100, 100.0, 20, 20, 100, 100, 20, 20),
    (3, 1, '2025-02-01', 100, 0, 0, 0, 100, 50.5, 0, 0),
    (4, 0, '2025-01-01', -100, 0, 20, 0, 100, 100, 20, 5.25),
    (5, 0, '2025-01-01', 100, 0, 0, 0, 100, 100, 0, 0);
)";
    RunSql(path, released);

    {
        RepairJournal journal(dir.path().string());
        const std::vector<journal::Action> actions = journal.Actions("a.mdb");
        ASSERT_EQ(actions.size(), 3u);
        struct Expected {
            const char* kind;
            const char* login;
            int hour;
            int tenants;
            int periods;
            long long undoneBy;
        };
        const Expected expected[] = {
            {"fix all", "bob", 17, 2, 2, 0}, {"undo", "ann", 9, 1, 1, 0}, {"repair", "ann", 9, 1, 1, 2}};
        for (std::size_t i = 0; i < actions.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(actions[i].kind, expected[i].kind);
            EXPECT_EQ(actions[i].login, expected[i].login);
            EXPECT_EQ(actions[i].madeAt.hour, expected[i].hour);
            EXPECT_EQ(actions[i].tenants, expected[i].tenants);
            EXPECT_EQ(actions[i].periods, expected[i].periods);
            EXPECT_EQ(actions[i].undoneBy, expected[i].undoneBy);
            EXPECT_EQ(actions[i].note, "");
        }
        ASSERT_TRUE(actions[2].undoneAt);
        EXPECT_EQ(actions[2].undoneAt->minute, 20);
        EXPECT_EQ(journal.LastUndoable("a.mdb")->id, actions[0].id);
        const journal::TenantEntry t3 = journal.Entry(journal.TenantEntries(actions[0].id)[1]);
        EXPECT_EQ(t3.tenant, "T3");
        EXPECT_TRUE(journal::SamePeriods(t3.after, {{january, 100, 100, 20, 5.25}}));
        journal.SetNote(actions[0].id, "Asked by the landlord, \"end of year\"");
        EXPECT_EQ(journal.Actions("b.mdb").size(), 1u);
    }
    // The released version's own writing, after the note's column was added.
    RunSql(path, "insert into actions (kind, made_at, login, database_name, tenant, undoes) values ('repair', "
                 "'2026-11-05 10:00:00', 'ann', 'a.mdb', 'T4', null)");
    RepairJournal reopened(dir.path().string());
    const std::vector<journal::Action> actions = reopened.Actions("a.mdb");
    ASSERT_EQ(actions.size(), 4u);
    EXPECT_EQ(actions[0].tenant, "T4");
    EXPECT_EQ(actions[1].note, "Asked by the landlord, \"end of year\"");
    EXPECT_EQ(reopened.TenantEntries(actions[3].id).size(), 1u);
}

} // namespace

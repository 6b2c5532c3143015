#pragma once
// The repair journal: an SQLite file of the tool's own, in the user's data
// folder, that holds each repair's way back. An action is one press (a single
// repair, a whole "Fix All", an undo); for each tenant it repaired the journal
// holds the tenant's rental periods before the repair and after it, as read
// inside the repair's own transaction.
//
// Order of writing: a tenant's rows are added to the journal's open
// transaction while the host database's transaction is still open, and Sync()
// commits them to disk (synchronous=FULL) before the host database commits.
// So the journal may hold a tenant whose host commit never happened (its rows
// are still the "before" rows), but never lacks one whose commit did.

#include "journal/PeriodRows.h"
#include "platform/Seams.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace journal {

// What the journal could not do; what() is the reason as the file system or
// SQLite gives it ("unable to open database file", "database or disk is full").
class JournalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Kinds of action.
inline constexpr const char* kindRepair = "repair";   // "Fix this value" beside the paid rows
inline constexpr const char* kindRebuild = "rebuild"; // "Fix this value" beside the Extra Charges row
inline constexpr const char* kindFixAll = "fix all";
inline constexpr const char* kindFixThese = "fix these"; // the listed tenants of a check
inline constexpr const char* kindUndo = "undo";

struct Action {
    long long id = 0; // given by BeginAction
    std::string kind;
    platform::LocalTime madeAt;
    std::string login;
    std::string database; // the host database's name, as the engine gives it
    std::string tenant;   // the tenant of a single repair; empty for "Fix All"
    long long undoes = 0; // for an undo: the action it undoes
    // What the journal says of it when it is read back:
    int tenants = 0;                             // tenants recorded, each once
    int periods = 0;                             // periods whose amounts it changed
    long long undoneBy = 0;                      // the undo that undid it; 0 while it is in force
    std::optional<platform::LocalTime> undoneAt; // when that undo was made (none once it is no longer kept)
    std::string note;                            // why it was made, who asked: as the user typed it
};

// One tenant of an action.
struct TenantEntry {
    std::string tenant;
    PeriodRows before;
    PeriodRows after;
};

// The newest action since another that changed a tenant, and its entry for it.
struct LaterChange {
    Action action;
    TenantEntry entry;
};

class RepairJournal {
public:
    // What is kept: the last keptActions actions, and fewer when they would
    // take more than keptBytes of the file (the oldest go first; the newest
    // action is always kept).
    static constexpr int keptActions = 200;
    static constexpr long long keptBytes = 256LL * 1024 * 1024;
    static constexpr const char* fileName = "repair-journal.sqlite";

    // Nothing is opened or created until it is first needed. maxBytes: what
    // the actions kept may take, keptBytes unless told.
    explicit RepairJournal(std::string folder, long long maxBytes = keptBytes);
    ~RepairJournal();
    RepairJournal(const RepairJournal&) = delete;
    RepairJournal& operator=(const RepairJournal&) = delete;

    const std::string& folder() const { return folder_; }
    std::string path() const;

    // Records a new action and commits it, synced; creates the folder and the
    // file when they are missing, and drops the oldest actions beyond
    // keptActions or beyond the bytes the journal may take. Returns the action's id. Raises JournalError when the
    // journal cannot be opened or written; nothing of the action is kept then.
    long long BeginAction(const Action& action);

    // Adds the tenant's rows before and after its repair to the action, in the
    // journal's open transaction (begun here when none is open); Sync commits
    // them. before and after must hold the same periods (same number, same
    // period_from in order). Raises JournalError; the open transaction is then
    // rolled back, so what was added since the last Sync is lost.
    void AddTenant(long long action, const std::string& tenant, const PeriodRows& before, const PeriodRows& after);

    // Commits what AddTenant added since the last Sync, synced to disk, and
    // remembers it as the last group. Nothing to commit is no error. Raises
    // JournalError when it cannot commit, and also when something added since
    // the last Sync was lost by a failure in between (once, with that
    // failure's reason), so the host database never commits a repair whose
    // entry the journal does not hold.
    void Sync();

    // After the host database failed to commit the last group: removes the
    // tenants that the last Sync committed. Best effort: never raises.
    void ForgetLastSync();

    // Removes the action when no tenant has been recorded for it. Best effort.
    void EndAction(long long action);

    // The newest action made on database that is not an undo, has not been
    // undone, and has at least one tenant; nothing when there is none (or no
    // journal file yet). Raises JournalError.
    std::optional<Action> LastUndoable(const std::string& database);

    // Every action made on database that the journal holds, newest first;
    // none when there is no journal file yet (none is created for asking).
    // Raises JournalError.
    std::vector<Action> Actions(const std::string& database);

    // The newest action on database after the action since, not undone, that
    // recorded tenant, with its entry for the tenant (the last, when it has
    // two); nothing when there is none. Raises JournalError.
    std::optional<LaterChange> LastChangeOf(const std::string& database, const std::string& tenant, long long since);

    // Keeps note with action, synced (the empty text: no note). Raises
    // JournalError, also when the action is no longer kept.
    void SetNote(long long action, const std::string& note);

    // The action's tenants, by entry id, in the order they were recorded.
    // Raises JournalError.
    std::vector<long long> TenantEntries(long long action);
    // One tenant entry with its rows. Raises JournalError.
    TenantEntry Entry(long long entry);

    // Marks action as undone by the undo action undo, synced. When action is
    // itself an undo, the action it undid is in force again (no longer marked
    // undone). Raises JournalError.
    void MarkUndone(long long action, long long undo);

private:
    struct Impl;
    // Opens the journal, creating it when missing; a journal written before
    // notes were kept gains their column, every action kept.
    Impl& open();
    // True when the journal file is there (or open).
    bool exists() const;

    std::string folder_;
    long long maxBytes_;
    std::unique_ptr<Impl> impl_;
};

} // namespace journal

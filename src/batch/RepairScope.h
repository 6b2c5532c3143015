#pragma once
// The transaction around the repair of one tenant, and the batch transaction
// that groups several tenants' repairs per commit.
//
// A repair runs inside a savepoint, or, where the database has none (the
// Access driver), in a transaction of its own. Failures reported while it is
// open are held back, so no message box waits for the user while the write lock is
// held; when the repair ends the savepoint is released, or rolled back if
// anything failed, and only then are the held reports shown.

#include "batch/BatchSummary.h"
#include "database/Database.h"

#include <chrono>
#include <string>
#include <vector>

// Holds reports until flush() hands them, in order, to the reporter it replaced.
class HeldReports : public ErrorReporter {
public:
    explicit HeldReports(Database& database);
    ~HeldReports() override;
    HeldReports(const HeldReports&) = delete;
    HeldReports& operator=(const HeldReports&) = delete;

    void ReportError(const std::string& label, const engine::EngineError& error) override;
    bool empty() const { return held_.empty(); }
    void flush();

private:
    struct Held {
        std::string label;
        engine::EngineError error;
    };
    Database& database_;
    ErrorReporter& previous_;
    std::vector<Held> held_;
};

class RepairScope {
public:
    // Opens the savepoint (the transaction where the database has no
    // savepoints); a failure to open it is reported and the scope is failed
    // from the start.
    explicit RepairScope(Database& database);
    ~RepairScope();
    RepairScope(const RepairScope&) = delete;
    RepairScope& operator=(const RepairScope&) = delete;

    // True while nothing has been reported since the scope opened and fail()
    // has not been called.
    bool ok() const { return !failed_ && database_.failureCount() == failuresAtStart_; }
    // Marks the repair failed for a reason told elsewhere (the repair journal
    // could not take it), so finish() rolls it back.
    void fail() { failed_ = true; }

    // Releases the savepoint (commits the transaction) when everything
    // succeeded, else rolls back to it (rolls it back), so the tenant's rows
    // are either all repaired or exactly as they were.
    // Then shows the held reports. Returns true when the repair was kept.
    bool finish();

private:
    Database& database_;
    long long failuresAtStart_;
    HeldReports held_;
    bool open_ = false;
    bool ownTransaction_ = false; // no savepoints: the scope is a transaction
    bool finished_ = false;
    bool failed_ = false;
};

// What must reach the disk before a batch's commit (the repair journal): the
// batch asks before each commit and says when a commit failed.
class CommitGuard {
public:
    virtual ~CommitGuard() = default;
    // False refuses the commit: the batch rolls its open group back instead.
    virtual bool beforeCommit() = 0;
    // The commit that beforeCommit allowed failed; nothing of the group was kept.
    virtual void commitFailed() = 0;
};

// The transaction of a "Fix All" batch: tenants' repairs are committed in
// groups. A group opens at the first write of a tenant's repair and is
// committed at a tenant boundary once it has held the write lock for maxHold;
// the window's events run only then, with no lock held, so a window held by
// the user (a drag on Windows) never keeps other users out. Where the database
// has no savepoints there is no batch transaction: each tenant's repair
// commits on its own, and the events run after every tenant.
class BatchTransaction {
public:
    static constexpr std::chrono::milliseconds maxHold{250};

    // summary, when given, learns of each commit: the repairs it kept are
    // repaired only once their group is committed. guard, when given, is
    // asked before each commit (the repair journal).
    explicit BatchTransaction(Database& database, BatchSummary* summary = nullptr, CommitGuard* guard = nullptr);
    ~BatchTransaction();
    BatchTransaction(const BatchTransaction&) = delete;
    BatchTransaction& operator=(const BatchTransaction&) = delete;

    // Before a tenant's repair writes: opens a group unless one is open.
    void beginGroup();
    // At a tenant boundary: after the first tenant, when the group has been
    // open for maxHold, or when reports are waiting (so their boxes are shown
    // with no lock held), commits and shows them. True when no lock is held
    // now, so that the window's events may run.
    bool tenantDone();
    // Commits what is open and shows what is held, e.g. before a message box.
    void commitNow();
    // True while a batch transaction is open; when false, each tenant's
    // repair commits on its own.
    bool holdsTransaction() const { return open_; }

private:
    void commit();

    Database& database_;
    BatchSummary* summary_;
    CommitGuard* guard_;
    HeldReports held_;
    bool open_ = false;
    bool firstDone_ = false;
    std::chrono::steady_clock::time_point openedAt_;
};

#include "batch/RepairScope.h"

namespace {

constexpr const char* savepointName = "tenant_repair";

} // namespace

HeldReports::HeldReports(Database& database) : database_(database), previous_(database.setReporter(*this)) {}

HeldReports::~HeldReports() {
    database_.setReporter(previous_);
    flush();
}

void HeldReports::ReportError(const std::string& label, const engine::EngineError& error) {
    held_.push_back({label, error});
}

void HeldReports::flush() {
    std::vector<Held> reports;
    reports.swap(held_);
    for (const Held& report : reports)
        previous_.ReportError(report.label, report.error);
}

RepairScope::RepairScope(Database& database)
    : database_(database), failuresAtStart_(database.failureCount()), held_(database) {
    try {
        if (!database_.CurrentDatabase)
            throw engine::EngineError(91, engine::engineSource, "No database is open.");
        // A lost connection is opened again first, or the repair does nothing.
        if (!database_.CheckConnection())
            return;
        engine::Database& db = *database_.CurrentDatabase;
        // Asked of the database, never of its backend.
        if (db.SupportsSavepoints()) {
            // Any failure inside rolls the whole tenant back, so its statements
            // need no fence of their own and its row writes may go together.
            db.Savepoint(savepointName, true);
        } else {
            db.BeginTrans();
            ownTransaction_ = true;
        }
        open_ = true;
    } catch (const engine::EngineError& error) {
        database_.report("Begin Repair", error);
    }
}

RepairScope::~RepairScope() {
    finish();
}

bool RepairScope::finish() {
    if (finished_)
        return false;
    finished_ = true;
    bool kept = false;
    if (open_) {
        const bool keep = ok();
        try {
            engine::Database& db = *database_.CurrentDatabase;
            if (keep) {
                if (ownTransaction_)
                    db.CommitTrans();
                else
                    db.ReleaseSavepoint(savepointName);
                kept = true;
            } else if (ownTransaction_) {
                db.Rollback();
            } else {
                db.RollbackToSavepoint(savepointName);
            }
        } catch (const engine::EngineError& error) {
            // A commit that cannot be made (another user's lock) must not leave
            // the transaction open with half of it written.
            database_.report(keep ? "Commit Repair" : "Roll Back Repair", error);
            kept = false;
            try {
                if (database_.CurrentDatabase->InTransaction())
                    database_.CurrentDatabase->Rollback();
            } catch (const engine::EngineError&) {
            }
        }
    }
    held_.flush();
    return kept;
}

BatchTransaction::BatchTransaction(Database& database, BatchSummary* summary, CommitGuard* guard)
    : database_(database), summary_(summary), guard_(guard), held_(database) {}

BatchTransaction::~BatchTransaction() {
    commitNow();
}

void BatchTransaction::beginGroup() {
    try {
        // Without savepoints a tenant cannot be undone inside a batch
        // transaction: each tenant's repair is then a transaction of its own.
        if (database_.CurrentDatabase && database_.CheckConnection() &&
            database_.CurrentDatabase->SupportsSavepoints() && !database_.CurrentDatabase->InTransaction()) {
            database_.CurrentDatabase->BeginTrans();
            open_ = true;
            openedAt_ = std::chrono::steady_clock::now();
        }
    } catch (const engine::EngineError& error) {
        // Without a batch transaction each tenant still commits on its own.
        database_.report("Begin Fix All", error);
    }
}

void BatchTransaction::commit() {
    if (!open_) {
        // Outside a batch transaction each kept repair committed on its own.
        if (summary_)
            summary_->groupCommitted();
        return;
    }
    open_ = false;
    const auto rollback = [this] {
        try {
            if (database_.CurrentDatabase->InTransaction())
                database_.CurrentDatabase->Rollback();
        } catch (const engine::EngineError&) {
        }
    };
    // Nothing is committed whose way back has not reached the disk.
    if (guard_ && !guard_->beforeCommit()) {
        rollback();
        if (summary_)
            summary_->groupLost(
                engine::EngineError(0, "Repair journal", "the repair journal could not record these repairs"));
        return;
    }
    try {
        database_.CurrentDatabase->CommitTrans();
        if (summary_)
            summary_->groupCommitted();
    } catch (const engine::EngineError& error) {
        database_.report("Commit Fix All", error);
        if (summary_)
            summary_->groupLost(error);
        rollback();
        if (guard_)
            guard_->commitFailed();
    }
}

bool BatchTransaction::tenantDone() {
    // A sync of the database per tenant would make a batch many times slower:
    // groups are committed at most every maxHold.
    const bool due = !firstDone_ || !held_.empty() || std::chrono::steady_clock::now() - openedAt_ >= maxHold;
    firstDone_ = true;
    if (due || !open_)
        commitNow();
    return !open_;
}

void BatchTransaction::commitNow() {
    commit();
    held_.flush();
}

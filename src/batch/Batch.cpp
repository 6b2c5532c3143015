#include "batch/Batch.h"

#include "batch/JournalCommit.h"

#include <utility>

namespace batch {

namespace {

// Sends the database's reports to reporter for as long as it lives.
class ReportsTo {
public:
    ReportsTo(Database& database, ErrorReporter& reporter)
        : database_(database), previous_(database.setReporter(reporter)) {}
    ~ReportsTo() { database_.setReporter(previous_); }
    ReportsTo(const ReportsTo&) = delete;
    ReportsTo& operator=(const ReportsTo&) = delete;

private:
    Database& database_;
    ErrorReporter& previous_;
};

} // namespace

Batch::Batch(Database& database, ErrorReport& log, Journalling& journalling, platform::Program& program,
             const std::string& name, int total)
    : database_(database), journalling_(journalling), program_(program), summary_(log, total, name) {}

bool Batch::begin(const char* kind, const std::string& databaseName, std::string& why) {
    // The whole batch is one action of the journal; without the journal it does not start.
    if (!journalling_.journal())
        return true;
    action_ = journalling_.beginAction(kind, databaseName, std::string(), 0, why);
    return action_ != 0;
}

BatchSummary::End Batch::run(BatchWalk& walk, const std::function<std::optional<BatchSummary::End>()>& endAsked) {
    using End = BatchSummary::End;
    End end = End::EndOfList;
    {
        // Every failure of the batch goes to the log, none to a box: also
        // those the batch transaction holds back, which it hands on at its
        // commits; the others straight away, so each is known to its tenant.
        ReportsTo toLog(database_, summary_);
        JournalCommit journalCommit(journalling_.journal(), journalling_.failure());
        BatchTransaction transaction(database_, &summary_, &journalCommit);
        ReportsTo direct(database_, summary_);
        transaction_ = &transaction;
        summary_.beginTenant();
        walk.begin();
        // A connection lost before the first tenant (in the reading ahead)
        // ends the batch before it.
        if (summary_.connectionLost())
            end = End::ConnectionLost;
        while (end != End::ConnectionLost) {
            const BatchWalk::Done done = walk.repairCurrent();
            if (done.outcome == BatchWalk::Outcome::Skipped)
                summary_.tenantSkipped(done.index, done.tenant);
            else
                summary_.tenantDone(done.index, done.tenant, done.outcome != BatchWalk::Outcome::Failed,
                                    done.outcome == BatchWalk::Outcome::AlreadyAgreed);
            // Nothing more can be done without the server: the batch stops here.
            if (summary_.connectionLost()) {
                end = End::ConnectionLost;
                break;
            }
            // Nothing is repaired without its way back.
            if (!journalling_.failure().empty()) {
                end = End::JournalFailed;
                break;
            }
            // The rest would fail the same way; at the list's end there is no rest.
            if (summary_.shouldStop() && walk.more()) {
                end = End::Stopped;
                break;
            }
            summary_.beginTenant();
            if (!walk.next())
                break;
            // The window's events run only when no lock is held: after the
            // first tenant, then at each commit (at least every quarter second).
            if (transaction.tenantDone()) {
                program_.letPendingEventsRun();
                if (const std::optional<End> asked = endAsked()) {
                    end = *asked;
                    break;
                }
            }
        }
        transaction.commitNow();
        walk.end();
        transaction_ = nullptr;
    }
    if (journalling_.journal())
        journalling_.journal()->EndAction(action_);
    return end;
}

std::string Batch::text(BatchSummary::End end) {
    std::string text = summary_.text(end);
    if (!journalling_.failure().empty())
        text += " " + journalling_.problem(std::exchange(journalling_.failure(), {}),
                                           "so the repairs it could not record were not kept; the others can be "
                                           "undone.");
    return text;
}

bool Batch::failed(BatchSummary::End end) {
    return end == BatchSummary::End::Stopped || end == BatchSummary::End::JournalFailed ||
           end == BatchSummary::End::ConnectionLost;
}

} // namespace batch

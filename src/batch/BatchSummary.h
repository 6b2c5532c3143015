#pragma once
// The account of a "Fix All" batch. While the batch runs, every failure goes
// to the error log in full and no box is shown; tenant by tenant it counts
// what was repaired and what was left as it was; at the end it gives the one
// text that tells the user what the batch did, and why it ended where it did.

#include "database/ErrorReporter.h"
#include "general/ErrorReport.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

class BatchSummary : public ErrorReporter {
public:
    // How the batch ended: past the last entry of the list, on Exit or the
    // window's close box, by the early stop (see shouldStop), because the
    // repair journal could not be written, or because the connection to the
    // database server was lost (see connectionLost).
    enum class End { EndOfList, ExitPressed, WindowClosed, Stopped, JournalFailed, ConnectionLost };

    // The first this many tenants failing with one and the same error stop
    // the batch: the rest would fail the same way.
    static constexpr std::size_t sameFailureStop = 10;
    // Tenants named in the text; the log holds the rest.
    static constexpr std::size_t namesShown = 10;
    // Reports written to the log in full; the rest are counted, and one line
    // at the end says how many there were.
    static constexpr std::size_t reportsLogged = 20;

    // tenantCount: the entries of the list the batch walks; name: the
    // batch's name as the text begins ("Fix All", "Fix these").
    BatchSummary(ErrorReport& log, int tenantCount, std::string name = "Fix All");
    // Writes the line that counts the reports not written out, if any.
    ~BatchSummary() override;
    BatchSummary(const BatchSummary&) = delete;
    BatchSummary& operator=(const BatchSummary&) = delete;

    // Writes the report text to the error log, with no box, and notes the
    // first error of the tenant in hand.
    void ReportError(const std::string& label, const engine::EngineError& error) override;
    // Writes a message the batch would otherwise show in a box to the error log.
    void log(const std::string& text);

    // The work on the next tenant begins (its analysis): what is reported
    // from now on belongs to it.
    void beginTenant();
    // The repair of entry index (named tenant) ended. A kept repair counts as
    // repaired only once the group it belongs to is committed; one that was
    // not kept left the tenant as it was; one that found the tenant already
    // agreeing (agreed) wrote nothing.
    void tenantDone(int index, const std::string& tenant, bool kept, bool agreed = false);
    // Entry index (named tenant) was not repaired because it no longer
    // disagrees; the text names it.
    void tenantSkipped(int index, const std::string& tenant);
    // The batch transaction committed the kept repairs since the last commit,
    // or could not (error): those tenants were rolled back.
    void groupCommitted();
    void groupLost(const engine::EngineError& error);

    // True when the first sameFailureStop tenants done all failed with the
    // same engine error and none was repaired.
    bool shouldStop() const;
    // True once a failure said that the connection to the database server
    // is lost: the batch stops at once, since nothing more can be done.
    bool connectionLost() const { return lostError_.has_value(); }

    // The text of the box at the end. Any repair still waiting for a commit
    // counts as not repaired.
    std::string text(End end) const;

private:
    enum class Outcome { Repaired, Waiting, Failed, Agreed, Skipped };
    struct Entry {
        std::string tenant;
        Outcome outcome = Outcome::Failed;
        std::optional<engine::EngineError> cause;
    };

    std::string lostText() const;

    ErrorReport& log_;
    int tenantCount_;
    std::string name_;
    std::optional<engine::EngineError> firstError_;
    std::optional<engine::EngineError> lostError_;
    std::size_t logged_ = 0;
    std::size_t notLogged_ = 0;
    std::map<int, Entry> entries_;
    std::vector<int> order_; // entries in the order they were first done
    // Entries done as waiting since the last group's end: a group commits
    // after each tenant where no transaction holds the repairs (a tenant
    // passed over), and visiting every entry then made a batch's time grow
    // with the square of its tenants.
    std::vector<int> waiting_;
};

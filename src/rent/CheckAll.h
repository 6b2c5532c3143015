#pragma once
// "Check All": every tenant checked against the money received, reading only,
// and the list of those whose periods a repair would change. A tenant's
// figures are the texts the window's captions show for it; its repair is the
// one its figures call for (the rebuild first when the total of its period
// charges differs from its periods' extra charges), worked out by the same
// function the repair itself uses.
//
// The check reads set-wise, a few statements for a group of tenants at a
// time, and writes nothing: no statement that changes a row, no lock held
// beyond the reading of one statement.

#include "engine/Database.h"
#include "engine/Variant.h"
#include "platform/Seams.h"

#include <functional>
#include <string>
#include <vector>

namespace rent {

// One tenant as the check saw it.
struct TenantCheck {
    std::string tenant;
    std::string name;
    // The figures as the window's captions show them (Label6, Label7, Label20,
    // Label19, Label21, Label22, Label14, and Label14 after the repair);
    // empty where a figure could not be worked out.
    std::string rentReceived;
    std::string rentPaid;
    std::string extraReceived;
    std::string extraPaid;
    std::string charges;
    std::string chargesInPeriods;
    std::string dueNow;
    std::string dueAfter;
    int periodsChanged = 0;
    // The start (period_from) of the first period whose rent is not paid in
    // full, now and after the repair; Empty when every period's is.
    engine::Variant firstUnpaidNow;
    engine::Variant firstUnpaidAfter;
    // The repair its figures call for: the extra-charge rebuild first.
    bool rebuild = false;
    // Why the tenant could not be checked, in plain words; empty when it was.
    std::string problem;

    bool checked() const { return problem.empty(); }
};

struct CheckResult {
    int tenants = 0;                 // tenants of the list
    int reached = 0;                 // tenants checked before the end (all, unless stopped)
    bool stopped = false;            // stopped before the end of the list
    std::vector<TenantCheck> listed; // those that disagree or could not be checked, in list order

    int disagreeing() const;    // listed and checked
    int notChecked() const;     // listed for a problem
    int periodsChanged() const; // over the tenants that disagree
    // "37 of 5,000 tenants disagree with the money received; a repair would
    // change 412 of their periods. 2 tenants could not be checked."
    std::string summary() const;
};

// The ledger settings the figures depend on, as the tenant list is loaded.
struct Ledger {
    std::string rentGroup;
    std::string extraChargeCodes; // quoted codes for an "in (...)" list
};

// Called after each group of tenants: done of total checked, the last one
// named. Returns false to stop the check there.
using CheckProgress = std::function<bool(int done, int total, const std::string& tenant)>;

// Checks the tenants (the references of the tenant list, in its order).
// A tenant whose figures cannot be worked out is listed with the reason; a
// failure of the database itself (the connection lost) raises its
// engine::EngineError.
CheckResult CheckAll(engine::Database& database, const std::vector<std::string>& tenants, const Ledger& ledger,
                     const platform::Locale& locale, const CheckProgress& progress = {});

} // namespace rent

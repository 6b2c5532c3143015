#pragma once
// A tenant's rental periods as the repair journal keeps them, read and written
// through the engine's own Database and Recordset, so the same code serves
// every backend the engine opens.
//
// A period is identified within its tenant by its period_from; the periods of
// a tenant are always taken earliest first, so two lists of the same tenant
// are compared row for row.

#include "engine/Database.h"
#include "engine/Variant.h"

#include <string>
#include <vector>

namespace journal {

struct PeriodRow {
    engine::Variant periodFrom;
    engine::Variant rentDue;
    engine::Variant paid;
    engine::Variant extraCharges;
    engine::Variant extraChargesPaid;
};

using PeriodRows = std::vector<PeriodRow>;

// The tenant's rows of rent_periods, earliest period_from first, as the open
// transaction (if any) sees them. An empty list for a tenant without periods.
// Raises the engine's error.
PeriodRows ReadPeriods(engine::Database& database, const std::string& tenant);

// True when both values are the same: numbers equal as numbers (whatever
// their kind), dates as dates, Null only to Null, text only to equal text.
bool SameValue(const engine::Variant& a, const engine::Variant& b);

// True when both lists have the same number of rows and each row has the same
// period_from and the same four amounts (SameValue).
bool SamePeriods(const PeriodRows& a, const PeriodRows& b);

// The rows of rows at the periods of which (the same period_from, in the
// order of which): fewer than which when a period is not among rows.
PeriodRows PeriodsOf(const PeriodRows& rows, const PeriodRows& which);

// Writes the amounts of replacement over the tenant's rows at the periods of
// expected (all of the tenant's periods, or some of them), when those rows
// are exactly expected now (SamePeriods); rows whose amounts already agree are
// not written, and the tenant's other rows are left alone. Returns false,
// having written nothing, when the rows are not expected. replacement must
// have the rows of expected (same number, same period_from) or
// errInvalidOperation is raised before anything is written. Raises the
// engine's error; the caller's transaction then undoes what was written.
bool ReplacePeriods(engine::Database& database, const std::string& tenant, const PeriodRows& expected,
                    const PeriodRows& replacement);

} // namespace journal

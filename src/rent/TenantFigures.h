#pragma once
// The statements the analysis of one tenant is made of, and the readings the
// repair makes of the same figures, so the window, the repair and the check
// of every tenant all mean the same by them. A tenant reference is matched as
// the database matches text (without regard to case).

#include "engine/Database.h"
#include "platform/Seams.h"
#include "rent/Allocation.h"
#include "rent/CheckAll.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace rent {

// The analysis's totals, each a select of one row with one field: "paid" for
// the income and the period charges, "amount" for the sums over the periods.
std::string RentIncomeSql(const Ledger& ledger, const std::string& tenant);        // Label6
std::string ExtraChargeIncomeSql(const Ledger& ledger, const std::string& tenant); // Label20
std::string PeriodChargesSql(const std::string& tenant);                           // Label21
std::string PeriodSumSql(const char* expression, const std::string& tenant);       // Label22, 7, 19, 14

// The criteria of the first rent transaction (Label11): the tenant's rent
// income on the property of its tenancy.
std::string FirstRentTransactionWhere(const Ledger& ledger, const std::string& propertyCode, const std::string& tenant);

// The rent income (t0), the extra charges' income (t1) and the first rent
// transaction on the property that propertyCode (an expression) gives (t8),
// over a table r(g, p, amount, d) of the income added up by its codes and
// properties as typed: the select list, then the where that keeps the
// ledger's codes. The groups are compared as lcase() with lcase(), which is
// how the columns compare without regard to case.
std::string IncomeOverGroupsColumns(const Ledger& ledger, const std::string& propertyCode);
std::string IncomeOverGroupsWhere(const Ledger& ledger);

// The expressions those four sums add up over the tenant's periods.
inline constexpr std::array<const char*, 4> periodSums = {"extra_charges", "paid", "extra_charges_paid",
                                                          "rent_due + extra_charges - paid - extra_charges_paid"};

// The analysis's seven totals (Label6, Label20, Label21, Label22, Label7,
// Label19, Label14, in that order), its first period (Label10) and its first
// rent transaction on propertyCode (Label11) read in one statement, each the
// value its own statement gives: one reading of the tenant's periods instead
// of six, and on a server one round trip instead of nine. Empty when that
// statement fails for any reason (a value that is not a number, a database
// that does not take it): the caller then reads each on its own, so that a
// failure is told for the figure it belongs to. A lost connection raises its
// engine::EngineError.
struct TenancyFields {
    engine::Variant whenStarted;
    engine::Variant name;
    engine::Variant propertyCode;
};

struct AnalysisTotals {
    std::array<engine::Variant, 7> totals;
    engine::Variant firstPeriod;
    engine::Variant firstTransaction;
    std::optional<TenancyFields> tenancy; // read with them (ReadTenancyAndTotals)
};
std::optional<AnalysisTotals> ReadAnalysisTotals(engine::Database& database, const Ledger& ledger,
                                                 const std::string& tenant, const std::string& propertyCode);

// On a database server, where each statement is a round trip: the tenancy's
// fields that the analysis shows (its start, name and property code) and the
// totals above, in one statement, the first rent transaction taken on the
// tenancy's property. Empty on a file (which reads the tenancy's row on its
// own, costing less there than a statement that takes it in), and when that
// statement fails or gives no row (tenancy does not hold the reference): the
// caller then reads the tenancy's row and the totals one after the other. A
// lost connection raises its engine::EngineError.
std::optional<AnalysisTotals> ReadTenancyAndTotals(engine::Database& database, const Ledger& ledger,
                                                   const std::string& tenant);

// A test's result in a select list, as the database gives it: a number, a
// boolean, or a boolean's text.
bool TestTruth(const engine::Variant& value);

// The tenant's rental periods for the repair, earliest first: every column,
// editable, so the repair writes back the rows it read.
std::string PeriodsForRepairSql(const std::string& tenant);

// The tenant's rows of rent_periods_charges, in the order the database gives
// them, as the rebuild adds them up. Raises the engine's error.
std::vector<Charge> ReadCharges(engine::Database& database, const std::string& tenant);

// The two income totals worked out again, as their captions would show them
// (Label6, Label20), read as the analysis of the tenant on propertyCode read
// them. Raises the engine's error.
struct IncomeTotals {
    std::string rent;
    std::string extraCharges;
};
// The two income totals of figures the analysis read, as their captions show them.
IncomeTotals IncomeTotalsOf(const AnalysisTotals& totals, const platform::Locale& locale);
IncomeTotals ReadIncomeTotals(engine::Database& database, const Ledger& ledger, const std::string& tenant,
                              const std::string& propertyCode, const platform::Locale& locale);

} // namespace rent

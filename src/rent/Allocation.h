#pragma once
// The repair of one tenant worked out in memory: the rows its rental periods
// hold once "Fix this value" has run, from the rows as they are now and the
// money the analysis shows. The repair writes exactly these rows, and the
// check of every tenant compares them with the rows as they are, so the two
// can never mean different things.
//
// The money is handed out as the repair always has: every rent due made
// positive and nothing paid; the rent income against each period's rent due,
// earliest first; what is left, with the extra-charge income, against the
// extra charges of the periods that have any; any surplus added to the rent
// paid of the latest period. The rebuild first sets each period's extra
// charges to the sum of its individual charges. Amounts written are money, as
// a money column holds them (four places, half to even).

#include "engine/Currency.h"
#include "engine/Variant.h"
#include "journal/PeriodRows.h"
#include "platform/Seams.h"

#include <optional>
#include <string>
#include <vector>

namespace rent {

using journal::PeriodRow;
using journal::PeriodRows;

// One row of rent_periods_charges: its amount and the start of its period.
struct Charge {
    engine::Variant value;
    engine::Variant periodFrom;
};

struct RepairResult {
    PeriodRows after;          // the rows the repair leaves, in the order given
    std::vector<bool> changed; // for each row: whether the repair writes to it
    // The charges a rebuild left out (no date, an amount that is not a
    // number), each in plain words naming the tenant.
    std::vector<std::string> leftOut;

    int periodsChanged() const;
};

// The repair of tenant's periods (the tenant's rows of rent_periods, earliest
// period_from first) with the income totals given; with charges (the tenant's
// rows of rent_periods_charges, in the order read), the extra-charge rebuild
// first. A row is changed when any of its four amounts would be stored
// differently. Throws engine::EngineError (errTypeMismatch, errOverflow) with
// a description in plain words when an amount the repair must use is not a
// number or leaves the range of money; the repair then writes nothing.
RepairResult ComputeRepair(const std::string& tenant, const PeriodRows& periods, engine::Currency rentIncome,
                           engine::Currency extraChargeIncome, const std::vector<Charge>* charges,
                           const platform::Locale& locale);

// Whether a money column that holds stored holds the same once written is
// written to it: the same value, or the same number.
bool StoredAs(const engine::Variant& stored, const engine::Variant& written);

// The start of the first period whose rent is not paid in full (its rent due
// more than its rent paid); Empty when there is none.
engine::Variant FirstPeriodNotPaid(const PeriodRows& periods);

// A total of money as the database adds it up in the analysis: each value
// taken as money and added exactly; Null over no values (all Null); the kind
// of the values' own (money kept exactly by the database gives money, doubles
// a double, integers alone an integer), so that its text is the caption's.
// Throws errTypeMismatch for a value that is not a number, errOverflow
// outside the range.
engine::Variant MoneyTotal(const std::vector<engine::Variant>& values);

// The totals of the periods as the analysis shows them (Label22, Label7,
// Label19, Label14: the last of rent_due + extra_charges - paid -
// extra_charges_paid, each row worked out as the database works it out,
// exactly for money kept exactly, else in doubles).
struct PeriodTotals {
    engine::Variant extraCharges;
    engine::Variant paid;
    engine::Variant extraChargesPaid;
    engine::Variant due;
};
PeriodTotals TotalsOf(const PeriodRows& periods);
// The total due alone, as TotalsOf gives it.
engine::Variant DueTotalOf(const PeriodRows& periods);

// The amount a caption shows, read back as the repair reads it: its leading
// number, whatever follows, as money. Throws errOverflow outside the range.
engine::Currency CaptionAmount(const std::string& caption);

} // namespace rent

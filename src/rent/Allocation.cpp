#include "rent/Allocation.h"

#include "engine/EngineError.h"
#include "engine/NumberText.h"
#include "general/TextForm.h"

#include <cmath>

namespace rent {

namespace {

using engine::Currency;
using engine::Variant;

// The period a row is, for the words of a failure.
std::string periodName(const PeriodRow& row, const platform::Locale& locale) {
    try {
        return "the period from " + ShortDate(row.periodFrom.toDate(), locale);
    } catch (const engine::EngineError&) {
        return "a period";
    }
}

// The amount in column of row as a number, or a failure in plain words.
double amount(const Variant& value, const char* what, const PeriodRow& row, const std::string& tenant,
              const platform::Locale& locale) {
    if (value.isNull() || value.isEmpty())
        throw engine::EngineError(engine::errTypeMismatch, engine::engineSource,
                                  "The " + std::string(what) + " of " + periodName(row, locale) + " of tenant " +
                                      tenant + " is empty.");
    try {
        return value.toDouble();
    } catch (const engine::EngineError&) {
        throw engine::EngineError(engine::errTypeMismatch, engine::engineSource,
                                  "The " + std::string(what) + " of " + periodName(row, locale) + " of tenant " +
                                      tenant + " is not a number: " + TextForm(value, locale) + ".");
    }
}

Currency money(double value, const char* what, const std::string& tenant) {
    try {
        return Currency::fromDouble(value);
    } catch (const engine::EngineError&) {
        throw engine::EngineError(engine::errOverflow, engine::engineSource,
                                  "The " + std::string(what) + " of tenant " + tenant +
                                      " is outside the range of amounts that can be allocated.");
    }
}

bool sameRow(const PeriodRow& a, const PeriodRow& b) {
    return StoredAs(a.rentDue, b.rentDue) && StoredAs(a.paid, b.paid) && StoredAs(a.extraCharges, b.extraCharges) &&
           StoredAs(a.extraChargesPaid, b.extraChargesPaid);
}

// A period that the extra-charge pass visits: its extra charges are not 0 (an
// empty amount is not; one that is not a number is, and stops the pass).
bool hasExtraCharges(const Variant& value) {
    if (value.isNull() || value.isEmpty())
        return false;
    try {
        return value.toDouble() != 0;
    } catch (const engine::EngineError&) {
        return true;
    }
}

// One pass of the allocation: remaining goes to the periods' dues, earliest
// first, each taking up to its due; it stops as soon as nothing remains, and
// a negative amount is handed out too.
void allocatePass(PeriodRows& rows, const std::vector<std::size_t>& visited, Currency& remaining,
                  Variant PeriodRow::*due, Variant PeriodRow::*paid, const char* dueName, const std::string& tenant,
                  const platform::Locale& locale) {
    for (std::size_t i : visited) {
        if (remaining == Currency())
            return;
        PeriodRow& row = rows[i];
        const double owed = amount(row.*due, dueName, row, tenant, locale);
        if (remaining.toDouble() > owed) {
            row.*paid = money(owed, dueName, tenant);
            remaining = money(remaining.toDouble() - owed, "money left to allocate", tenant);
        } else {
            row.*paid = remaining;
            remaining = Currency();
        }
    }
}

void rebuild(PeriodRows& rows, const std::vector<Charge>& charges, const std::string& tenant,
             const platform::Locale& locale, std::vector<std::string>& leftOut) {
    for (PeriodRow& row : rows)
        row.extraCharges = Currency();
    for (const Charge& charge : charges) {
        // A charge whose amount or date cannot be read is left out with a word
        // naming it, and the others are still added.
        const Variant& value = charge.value;
        const bool noAmount =
            value.isNull() || value.isEmpty() || (value.kind() == Variant::Kind::Text && value.text().empty());
        std::optional<engine::Date> date;
        std::optional<double> added;
        try {
            date = charge.periodFrom.toDate().dateOnly();
        } catch (const engine::EngineError&) {
        }
        try {
            if (!noAmount)
                added = value.toDouble();
        } catch (const engine::EngineError&) {
        }
        const Variant& from = charge.periodFrom;
        if (!date) {
            leftOut.push_back("A charge of tenant " + tenant + " has " +
                              (from.isNull() || from.isEmpty() || TextForm(from, locale).empty()
                                   ? std::string("no period_from date")
                                   : "a period_from that is not a date: " + TextForm(from, locale)) +
                              "; it was left out.");
            continue;
        }
        if (!added) {
            leftOut.push_back(
                "A charge of tenant " + tenant + " for the period from " + ShortDate(*date, locale) + " has " +
                (noAmount ? std::string("no amount") : "an amount that is not a number: " + TextForm(value, locale)) +
                "; it was left out.");
            continue;
        }
        // The charge is added as its text in a statement would give it, to
        // the period that starts on its date (a start with a time of day is
        // another moment).
        const double sum = engine::LeadingNumber(engine::NumberText(*added));
        for (PeriodRow& row : rows) {
            try {
                if (row.periodFrom.toDate() == *date)
                    row.extraCharges = money(row.extraCharges.toDouble() + sum, "extra charges of a period", tenant);
            } catch (const engine::EngineError& error) {
                if (error.number == engine::errOverflow)
                    throw;
            }
        }
    }
}

} // namespace

bool StoredAs(const Variant& stored, const Variant& written) {
    if (stored == written)
        return true;
    if (written.isNull() || stored.isNull() || !stored.isNumeric() || !written.isNumeric())
        return false;
    return stored.toDouble() == written.toDouble();
}

int RepairResult::periodsChanged() const {
    int n = 0;
    for (bool c : changed)
        n += c ? 1 : 0;
    return n;
}

RepairResult ComputeRepair(const std::string& tenant, const PeriodRows& periods, Currency rentIncome,
                           Currency extraChargeIncome, const std::vector<Charge>* charges,
                           const platform::Locale& locale) {
    RepairResult result;
    PeriodRows& rows = result.after;
    rows = periods;
    if (charges)
        rebuild(rows, *charges, tenant, locale, result.leftOut);

    // Every rent due made positive, nothing paid.
    for (PeriodRow& row : rows) {
        if (!row.rentDue.isNull())
            row.rentDue = money(std::abs(amount(row.rentDue, "rent due", row, tenant, locale)), "rent due", tenant);
        row.paid = Currency();
        row.extraChargesPaid = Currency();
    }

    std::vector<std::size_t> all;
    std::vector<std::size_t> withExtraCharges;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        all.push_back(i);
        if (hasExtraCharges(rows[i].extraCharges))
            withExtraCharges.push_back(i);
    }
    Currency remaining = rentIncome;
    allocatePass(rows, all, remaining, &PeriodRow::rentDue, &PeriodRow::paid, "rent due", tenant, locale);
    // What the rent did not take goes, with the extra-charge income, to the
    // extra charges.
    try {
        remaining = remaining + extraChargeIncome;
    } catch (const engine::EngineError&) {
        throw engine::EngineError(engine::errOverflow, engine::engineSource,
                                  "The income of tenant " + tenant +
                                      " is outside the range of amounts that can be allocated.");
    }
    allocatePass(rows, withExtraCharges, remaining, &PeriodRow::extraCharges, &PeriodRow::extraChargesPaid,
                 "extra charges", tenant, locale);
    // Any surplus is rent paid on the latest period.
    if (remaining != Currency() && !rows.empty()) {
        PeriodRow& latest = rows.back();
        latest.paid = money(latest.paid.toDouble() + remaining.toDouble(), "rent paid of the latest period", tenant);
    }

    result.changed.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        result.changed.push_back(!sameRow(periods[i], rows[i]));
    return result;
}

Variant FirstPeriodNotPaid(const PeriodRows& periods) {
    for (const PeriodRow& row : periods) {
        try {
            if (row.rentDue.isNull() || row.rentDue.isEmpty())
                continue;
            const double paid = row.paid.isNull() || row.paid.isEmpty() ? 0 : row.paid.toDouble();
            if (Currency::fromDouble(row.rentDue.toDouble()) > Currency::fromDouble(paid))
                return row.periodFrom;
        } catch (const engine::EngineError&) {
        }
    }
    return {};
}

namespace {

// MoneyTotal added up a value at a time, so that a column of the periods is
// added up where it lies rather than copied out first.
class MoneySum {
public:
    void add(const Variant& value) {
        switch (value.kind()) {
        case Variant::Kind::Null:
        case Variant::Kind::Empty:
            return;
        case Variant::Kind::Double:
            doubles_ = true;
            break;
        case Variant::Kind::Currency:
            exact_ = true;
            break;
        case Variant::Kind::Integer:
            break;
        default:
            throw engine::EngineError(
                engine::errTypeMismatch, engine::engineSource,
                "The value " + (value.kind() == Variant::Kind::Text ? "'" + value.text() + "'" : std::string("given")) +
                    " in a sum is not a number.");
        }
        any_ = true;
        total_ = total_ + value.toCurrency();
    }
    Variant value() const {
        if (!any_)
            return Variant::null();
        if (doubles_)
            return total_.toDouble();
        if (exact_)
            return total_;
        if (total_.scaled() % 10000 == 0)
            return static_cast<std::int64_t>(total_.scaled() / 10000);
        return total_.toDouble();
    }

private:
    Currency total_;
    bool any_ = false;
    bool doubles_ = false;
    bool exact_ = false;
};

} // namespace

Variant MoneyTotal(const std::vector<Variant>& values) {
    MoneySum sum;
    for (const Variant& value : values)
        sum.add(value);
    return sum.value();
}

namespace {

// A row's rent_due + extra_charges - paid - extra_charges_paid as the
// database works it out: exactly for money kept exactly, else in doubles;
// Null when an amount is missing.
Variant rowDue(const PeriodRow& row) {
    const Variant* values[] = {&row.rentDue, &row.extraCharges, &row.paid, &row.extraChargesPaid};
    bool exact = true;
    for (const Variant* v : values) {
        if (v->isNull() || v->isEmpty())
            return Variant::null();
        exact = exact && v->kind() == Variant::Kind::Currency;
    }
    if (exact)
        return Variant(row.rentDue.currency() + row.extraCharges.currency() - row.paid.currency() -
                       row.extraChargesPaid.currency());
    return Variant(row.rentDue.toDouble() + row.extraCharges.toDouble() - row.paid.toDouble() -
                   row.extraChargesPaid.toDouble());
}

template <typename Value> Variant columnTotal(const PeriodRows& periods, Value value) {
    MoneySum sum;
    for (const PeriodRow& row : periods)
        sum.add(value(row));
    return sum.value();
}

} // namespace

PeriodTotals TotalsOf(const PeriodRows& periods) {
    PeriodTotals totals;
    totals.extraCharges = columnTotal(periods, [](const PeriodRow& row) -> const Variant& { return row.extraCharges; });
    totals.paid = columnTotal(periods, [](const PeriodRow& row) -> const Variant& { return row.paid; });
    totals.extraChargesPaid =
        columnTotal(periods, [](const PeriodRow& row) -> const Variant& { return row.extraChargesPaid; });
    totals.due = DueTotalOf(periods);
    return totals;
}

Variant DueTotalOf(const PeriodRows& periods) {
    return columnTotal(periods, rowDue);
}

Currency CaptionAmount(const std::string& caption) {
    return Currency::fromDouble(engine::LeadingNumber(caption));
}

} // namespace rent

#include "rent/ListFigures.h"

#include "database/SqlText.h"
#include "engine/EngineError.h"
#include "general/Lookup.h"
#include "general/TextForm.h"
#include "rent/Allocation.h"
#include "rent/RunningTotal.h"
#include "rent/StoredPeriods.h"

#include <functional>
#include <span>

namespace rent {

namespace {

// What the tables hold for one tenant code of the list.
struct Slot {
    bool tenancyRead = false;
    TenancyFields tenancy;
    std::string property; // the tenancy's property code as the analysis takes it, folded
    RunningTotal rent;
    RunningTotal extra;
    RunningTotal charges;
    // The first rent transaction on the tenancy's property.
    engine::Variant firstTransaction = engine::Variant::null();
    bool unsure = false;
};

// Whether the database's min() of these dates is the least of them here: a
// date of the engine is a text of the one form yyyy-mm-dd[ hh:mm:ss], which
// the database orders as the dates go from the year 1900 on.
bool certainDate(const engine::Variant& value) {
    return value.kind() == engine::Variant::Kind::Date && value.date().serial() >= 0;
}

} // namespace

std::optional<ListFigures> ListFigures::Read(engine::Database& database, const std::vector<std::string>& tenants,
                                             const Ledger& ledger, const platform::Locale& locale) {
    const std::optional<engine::ChangeMark> before = database.ReadChangeMark();
    if (!before)
        return std::nullopt;
    ListFigures figures(tenants.size());
    std::vector<Slot> slots;
    for (const std::string& tenant : tenants) {
        if (figures.codes_.add(tenant) == slots.size())
            slots.emplace_back();
    }
    const auto slotOf = [&](const engine::Variant& code) -> Slot* {
        const std::optional<std::size_t> number = figures.codes_.findValue(code);
        return number ? &slots[*number] : nullptr;
    };
    const auto scan = [&](std::string sql, const std::function<void(const std::vector<engine::Variant>&)>& row) {
        NormaliseSql(sql);
        database.ReadRows(sql, [&](const std::vector<std::string>&, const std::vector<engine::Variant>& values) {
            row(values);
            return true;
        });
    };

    StoredPeriods periods(slots.size());
    try {
        // The tenancy's first row, as the analysis reads it.
        scan("select reference, [when started], name, [property code] from tenancy",
             [&](const std::vector<engine::Variant>& row) {
                 Slot* slot = slotOf(row[0]);
                 if (!slot || slot->tenancyRead)
                     return;
                 slot->tenancyRead = true;
                 slot->tenancy = {row[1], row[2], row[3]};
                 try {
                     slot->property = FoldedCode(TextForm(ValueOrDefault(row[3], std::string()), locale));
                 } catch (const engine::EngineError&) {
                     slot->unsure = true;
                 }
             });
        // A row that is not the rent group's pays extra charges (the where).
        const std::string rentGroup = SqlQuote(ledger.rentGroup);
        const std::string isRent = "([revenue group] = " + rentGroup + ")";
        scan("select tenant_code, " + isRent + " as isrent, amount, [property code], date from revenues where " +
                 isRent + " or ([revenue group] in (" + ledger.extraChargeCodes + "))",
             [&](const std::vector<engine::Variant>& row) {
                 Slot* slot = slotOf(row[0]);
                 if (!slot)
                     return;
                 if (!TestTruth(row[1])) {
                     slot->extra.add(row[2]);
                     return;
                 }
                 slot->rent.add(row[2]);
                 // The property codes compare as the database compares text
                 // without regard to case; a code that is not text is not
                 // told here.
                 const engine::Variant& property = row[3];
                 if (property.isNull() || row[4].isNull())
                     return;
                 if (property.kind() != engine::Variant::Kind::Text || !slot->tenancyRead) {
                     slot->unsure = true;
                     return;
                 }
                 if (!TenantCodes::same(slot->property, property.text()))
                     return;
                 if (!certainDate(row[4])) {
                     slot->unsure = true;
                     return;
                 }
                 if (slot->firstTransaction.isNull() || row[4].date().serial() < slot->firstTransaction.date().serial())
                     slot->firstTransaction = row[4];
             });
        scan("select tenantcode, value from rent_periods_charges", [&](const std::vector<engine::Variant>& row) {
            if (Slot* slot = slotOf(row[0]))
                slot->charges.add(row[1]);
        });
        scan("select tenant_code, period_from, rent_due, paid, extra_charges, extra_charges_paid from rent_periods",
             [&](const std::vector<engine::Variant>& row) {
                 if (const std::optional<std::size_t> number = figures.codes_.findValue(row[0]))
                     periods.add(*number, std::span<const engine::Variant, 5>(row.data() + 1, 5));
             });
    } catch (const engine::EngineError& error) {
        if (error.connectionLost)
            throw;
        return std::nullopt;
    }
    // Every table read from the same state of the database.
    const std::optional<engine::ChangeMark> after = database.ReadChangeMark();
    if (!after || *after != *before)
        return std::nullopt;
    figures.mark_ = *after;

    figures.figures_.resize(slots.size());
    for (std::size_t number = 0; number < slots.size(); ++number) {
        Slot& slot = slots[number];
        std::optional<journal::PeriodRows> rows = periods.take(number);
        if (!slot.tenancyRead || slot.unsure || slot.rent.unsure() || slot.extra.unsure() || slot.charges.unsure() ||
            !rows)
            continue;
        AnalysisTotals totals;
        try {
            const PeriodTotals sums = TotalsOf(*rows);
            totals.totals = {slot.rent.value(), slot.extra.value(), slot.charges.value(),
                             sums.extraCharges, sums.paid,          sums.extraChargesPaid,
                             sums.due};
        } catch (const engine::EngineError&) {
            continue;
        }
        totals.firstPeriod = rows->empty() ? engine::Variant::null() : rows->front().periodFrom;
        totals.firstTransaction = slot.firstTransaction;
        totals.tenancy = slot.tenancy;
        figures.figures_[number] = std::move(totals);
    }
    return figures;
}

bool ListFigures::Current(engine::Database& database) {
    if (!valid_)
        return false;
    const std::optional<engine::ChangeMark> now = database.ReadChangeMark();
    if (!now || *now != mark_) {
        valid_ = false;
        figures_.clear();
    }
    return valid_;
}

const AnalysisTotals* ListFigures::Find(engine::Database& database, const std::string& tenant) {
    const std::optional<std::size_t> number = codes_.find(tenant);
    if (!number || *number >= figures_.size() || !figures_[*number] || !Current(database))
        return nullptr;
    return &*figures_[*number];
}

void ListFigures::Written(engine::Database& database, const std::string& tenant) {
    if (!valid_)
        return;
    if (const std::optional<std::size_t> number = codes_.find(tenant); number && *number < figures_.size())
        figures_[*number].reset();
    const std::optional<engine::ChangeMark> now = database.ReadChangeMark();
    if (!now || now->others != mark_.others) {
        valid_ = false;
        figures_.clear();
        return;
    }
    mark_.own = now->own;
}

} // namespace rent

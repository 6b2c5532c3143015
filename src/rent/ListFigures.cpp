#include "rent/ListFigures.h"

#include "database/SqlText.h"
#include "engine/EngineError.h"
#include "general/Lookup.h"
#include "general/TextForm.h"
#include "rent/Allocation.h"
#include "rent/RunningTotal.h"
#include "rent/StoredPeriods.h"
#include "rent/TenantRows.h"

#include <functional>
#include <span>
#include <unordered_map>

namespace rent {

namespace {

// Whether the database's min() of these dates is the least of them here: a
// date of the engine is a text of the one form yyyy-mm-dd[ hh:mm:ss], which
// the database orders as the dates go from the year 1900 on.
bool certainDate(const engine::Variant& value) {
    return value.kind() == engine::Variant::Kind::Date && value.date().serial() >= 0;
}

// What the tables hold for one tenant code of the list; what the rows of the
// income and the charges add to first, in the first cache lines.
struct Slot {
    RunningTotal rent;
    RunningTotal extra;
    RunningTotal charges;
    bool tenancyRead = false;
    bool unsure = false;
    // The first rent transaction on the tenancy's property.
    engine::Variant firstTransaction = engine::Variant::null();
    std::string property; // the tenancy's property code as the analysis takes it, folded
    TenancyFields tenancy;
};

// A row of the income as the slot takes it.
struct Income {
    bool rent = false;
    engine::Variant amount;
    engine::Variant property; // of a rent row
    engine::Variant date;     // of a rent row
};

// The row taken into the slot.
void take(Slot& slot, const Income& row) {
    if (!row.rent) {
        slot.extra.add(row.amount);
        return;
    }
    slot.rent.add(row.amount);
    // The property codes compare as the database compares text without regard
    // to case; a code that is not text is not told here.
    if (row.property.isNull() || row.date.isNull())
        return;
    if (row.property.kind() != engine::Variant::Kind::Text || !slot.tenancyRead) {
        slot.unsure = true;
        return;
    }
    if (!TenantCodes::same(slot.property, row.property.text()))
        return;
    if (!certainDate(row.date)) {
        slot.unsure = true;
        return;
    }
    if (slot.firstTransaction.isNull() || row.date.date().serial() < slot.firstTransaction.date().serial())
        slot.firstTransaction = row.date;
}

} // namespace

std::optional<ListFigures> ListFigures::Read(engine::Database& database, const std::vector<std::string>& tenants,
                                             const Ledger& ledger, const platform::Locale& locale) {
    if (!database.IsFile())
        return readOnServer(database, tenants, ledger, locale);
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
    const auto scan = [&](std::string sql, const auto& row) {
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
        const auto touchSlot = [&](std::size_t number) {
            __builtin_prefetch(&slots[number]);
            __builtin_prefetch(reinterpret_cast<const char*>(&slots[number]) + 64);
        };
        auto income = ByTenant<Income>(figures.codes_, touchSlot,
                                       [&](std::size_t number, const Income& row) { take(slots[number], row); });
        scan("select tenant_code, " + isRent + " as isrent, amount, [property code], date from revenues where " +
                 isRent + " or ([revenue group] in (" + ledger.extraChargeCodes + "))",
             [&](const std::vector<engine::Variant>& row) {
                 if (TestTruth(row[1]))
                     income.add(row[0], Income{true, row[2], row[3], row[4]});
                 else
                     income.add(row[0], Income{false, row[2], {}, {}});
             });
        income.flush();
        auto charges =
            ByTenant<engine::Variant>(figures.codes_, touchSlot, [&](std::size_t number, const engine::Variant& value) {
                slots[number].charges.add(value);
            });
        scan("select tenantcode, value from rent_periods_charges",
             [&](const std::vector<engine::Variant>& row) { charges.add(row[0], row[1]); });
        charges.flush();
        auto rows = ByTenant<StoredPeriods::Row>(
            figures.codes_, [&](std::size_t number) { periods.prefetch(number); },
            [&](std::size_t number, const StoredPeriods::Row& row) { periods.add(number, row); });
        scan("select tenant_code, period_from, rent_due, paid, extra_charges, extra_charges_paid from rent_periods",
             [&](const std::vector<engine::Variant>& row) {
                 if (row[0].kind() == engine::Variant::Kind::Text)
                     rows.add(row[0], periods.keep(std::span<const engine::Variant, 5>(row.data() + 1, 5)));
             });
        rows.flush();
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

    // A tenant's periods are put in order and added up at its turn (see
    // settle), held compactly until then.
    figures.figures_.resize(slots.size());
    figures.settled_.assign(slots.size(), 0);
    figures.locale_ = &locale;
    for (std::size_t number = 0; number < slots.size(); ++number) {
        const Slot& slot = slots[number];
        if (!slot.tenancyRead || slot.unsure || slot.rent.unsure() || slot.extra.unsure() || slot.charges.unsure())
            continue;
        AnalysisTotals& totals = figures.figures_[number].emplace();
        totals.totals.fill(engine::Variant::null());
        totals.totals[0] = slot.rent.value();
        totals.totals[1] = slot.extra.value();
        totals.totals[2] = slot.charges.value();
        totals.firstTransaction = slot.firstTransaction;
        totals.tenancy = slot.tenancy;
    }
    figures.stored_.emplace(std::move(periods));
    return figures;
}

bool ListFigures::Current(engine::Database& database) {
    if (!valid_)
        return false;
    if (!mark_)
        return true;
    const std::optional<engine::ChangeMark> now = database.ReadChangeMark();
    if (!now || *now != *mark_) {
        valid_ = false;
        figures_.clear();
    }
    return valid_;
}

const AnalysisTotals* ListFigures::Find(engine::Database& database, const std::string& tenant) {
    const std::optional<std::size_t> number = codes_.find(tenant);
    if (!number || *number >= figures_.size() || !figures_[*number] || !Current(database))
        return nullptr;
    if (stored_ && !settled_[*number]) {
        settle(*number, tenant);
        if (!figures_[*number])
            return nullptr;
    }
    return &*figures_[*number];
}

void ListFigures::Written(engine::Database& database, const std::string& tenant) {
    if (!valid_)
        return;
    if (const std::optional<std::size_t> number = codes_.find(tenant); number && *number < figures_.size()) {
        figures_[*number].reset();
        if (agreed_ && agreed_->first == *number)
            agreed_.reset();
    }
    if (!mark_)
        return;
    const std::optional<engine::ChangeMark> now = database.ReadChangeMark();
    if (!now || now->others != mark_->others) {
        valid_ = false;
        figures_.clear();
        return;
    }
    mark_->own = now->own;
}

const ListFigures::AgreedRepair* ListFigures::Agreed(const std::string& tenant) const {
    const std::optional<std::size_t> number = codes_.find(tenant);
    if (!number || !agreed_ || agreed_->first != *number || *number >= figures_.size() || !figures_[*number])
        return nullptr;
    return &agreed_->second;
}

namespace {

// Ends the snapshot's transaction, whatever way the reading ends.
class SnapshotEnd {
public:
    explicit SnapshotEnd(engine::Database& database) : database_(database) {}
    ~SnapshotEnd() {
        try {
            if (database_.InTransaction())
                database_.Rollback();
        } catch (const engine::EngineError&) {
            // Only read: a transaction the server has ended holds nothing.
        }
    }
    SnapshotEnd(const SnapshotEnd&) = delete;
    SnapshotEnd& operator=(const SnapshotEnd&) = delete;

private:
    engine::Database& database_;
};

} // namespace

std::optional<ListFigures> ListFigures::readOnServer(engine::Database& database,
                                                     const std::vector<std::string>& tenants, const Ledger& ledger,
                                                     const platform::Locale& locale) {
    if (!database.BeginSnapshot())
        return std::nullopt;
    const SnapshotEnd end(database);
    ListFigures figures(tenants.size());
    // The server's rows name a tenancy reference as tenancy spells it, which
    // is how the list holds it; a code the list spells two ways is not read
    // ahead (the database and the list might not take them alike).
    std::vector<const std::string*> spelling;
    for (const std::string& tenant : tenants) {
        const std::size_t number = figures.codes_.add(tenant);
        if (number == spelling.size())
            spelling.push_back(&tenant);
        else if (spelling[number] && *spelling[number] != tenant)
            spelling[number] = nullptr;
    }
    std::unordered_map<std::string, std::size_t> numberOf;
    for (std::size_t number = 0; number < spelling.size(); ++number) {
        if (spelling[number])
            numberOf.emplace(*spelling[number], number);
    }
    figures.figures_.resize(spelling.size());
    figures.settled_.assign(spelling.size(), 0);
    figures.stored_.emplace(spelling.size());
    figures.locale_ = &locale;

    const auto scan = [&](std::string sql,
                          const std::function<void(std::size_t, const std::vector<engine::Variant>&)>& row) {
        NormaliseSql(sql);
        database.ReadRows(sql, [&](const std::vector<std::string>&, const std::vector<engine::Variant>& values) {
            if (values[0].kind() == engine::Variant::Kind::Text) {
                const auto found = numberOf.find(values[0].text());
                if (found != numberOf.end())
                    row(found->second, values);
            }
            return true;
        });
    };
    // The tenancy references the analysis reads on their own: those that
    // tenancy holds once (its statement is refused for one held twice). Each
    // table's rows are joined to them as the database compares the codes
    // (lcase() with lcase() compares as the columns do, and lets the server
    // join by hashing rather than walk its index for each tenant), and added
    // up by the server as the analysis's statement adds up one tenant's.
    const std::string once = "(select u.reference, u.[when started], u.name, u.[property code] from tenancy as u where "
                             "(select count(*) from tenancy as v where v.reference = u.reference) = 1) as t";
    try {
        scan("select cstr(t.reference) as tenant, t.[when started], t.name, t.[property code] from " + once,
             [&](std::size_t number, const std::vector<engine::Variant>& row) {
                 AnalysisTotals& read = figures.figures_[number].emplace();
                 read.totals.fill(engine::Variant::null());
                 read.firstTransaction = engine::Variant::null();
                 read.tenancy = TenancyFields{row[1], row[2], row[3]};
             });
        // The income: added up first by the codes as they are spelt (which
        // the server groups several times as fast as text compared without
        // regard to case), then by tenant over the few rows that makes. The
        // first rent transaction is the least date of the rent rows on the
        // tenancy's property.
        const std::string byCode =
            "(select cstr(tenant_code) as c, cstr([revenue group]) as g, cstr([property code]) as p, sum(amount) as "
            "amount, min(date) as d from revenues group by cstr(tenant_code), cstr([revenue group]), "
            "cstr([property code])) as r";
        std::string income = "select cstr(t.reference) as tenant, " +
                             IncomeOverGroupsColumns(ledger, "iif(t.[property code] is null, '', t.[property code])");
        income += " from " + once + " inner join " + byCode + " on lcase(r.c) = lcase(t.reference) ";
        income += "where " + IncomeOverGroupsWhere(ledger) + " group by cstr(t.reference)";
        scan(income, [&](std::size_t number, const std::vector<engine::Variant>& row) {
            if (std::optional<AnalysisTotals>& read = figures.figures_[number]) {
                read->totals[0] = row[1];
                read->totals[1] = row[2];
                read->firstTransaction = row[3];
            }
        });
        scan("select cstr(t.reference) as tenant, sum(c.value)+0 as t2 from " + once +
                 " inner join (select cstr(tenantcode) as c, sum(value) as value from rent_periods_charges group by "
                 "cstr(tenantcode)) as c on lcase(c.c) = lcase(t.reference) group by cstr(t.reference)",
             [&](std::size_t number, const std::vector<engine::Variant>& row) {
                 if (std::optional<AnalysisTotals>& read = figures.figures_[number])
                     read->totals[2] = row[1];
             });
        scan("select cstr(t.reference) as tenant, p.period_from, p.rent_due, p.paid, p.extra_charges, "
             "p.extra_charges_paid from " +
                 once + " inner join rent_periods as p on lcase(p.tenant_code) = lcase(t.reference)",
             [&](std::size_t number, const std::vector<engine::Variant>& row) {
                 figures.stored_->add(number, std::span<const engine::Variant, 5>(row.data() + 1, 5));
             });
    } catch (const engine::EngineError& error) {
        if (error.connectionLost)
            throw;
        return std::nullopt;
    }
    return figures;
}

void ListFigures::settle(std::size_t number, const std::string& tenant) {
    settled_[number] = 1;
    AnalysisTotals& totals = *figures_[number];
    const std::optional<journal::PeriodRows> rows = stored_->take(number);
    std::optional<PeriodTotals> sums;
    try {
        if (rows)
            sums = TotalsOf(*rows);
    } catch (const engine::EngineError&) {
    }
    if (!sums) {
        figures_[number].reset();
        return;
    }
    totals.totals[3] = sums->extraCharges;
    totals.totals[4] = sums->paid;
    totals.totals[5] = sums->extraChargesPaid;
    totals.totals[6] = sums->due;
    totals.firstPeriod = rows->empty() ? engine::Variant::null() : rows->front().periodFrom;
    try {
        // From the money as the window will show it.
        IncomeTotals shown = IncomeTotalsOf(totals, *locale_);
        RepairResult repair = ComputeRepair(tenant, *rows, CaptionAmount(shown.rent), CaptionAmount(shown.extraCharges),
                                            nullptr, *locale_);
        if (repair.periodsChanged() == 0) {
            agreed_.emplace(number, AgreedRepair{std::move(shown), std::move(repair.leftOut)});
            return;
        }
    } catch (const engine::EngineError&) {
    }
    // On a file the figures are what the database holds now (see Current),
    // and the repair of a tenant that disagrees checks the money against
    // them; on a server a tenant that disagrees is read at its turn.
    if (!mark_)
        figures_[number].reset();
}

} // namespace rent

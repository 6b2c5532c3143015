#pragma once
// The rental periods of many tenants as a reading of rent_periods in its
// stored order meets them, held compactly until the reading ends and then
// handed back a tenant at a time, earliest first.
//
// The stored order interleaves the tenants (a month's periods are added for
// every tenancy together), so the rows are kept until every one has passed:
// that spares the database a walk through its index of (tenant, start) with a
// lookup of the table's row for every period, which costs more than the
// reading itself. The price is ordering a tenant's periods here, and that is
// only done where the order is beyond doubt (see take); for the other
// tenants the database is to be asked.
//
// What is held grows with the periods of the tenants asked for, some 25 bytes
// a period: a row keeps each value in four bytes where it can be had back
// exactly from them (a date without a time of day as its day, an amount in
// whole cents as their count), anything else aside. A tenant's rows lie in
// runs of a few, each run linked to the next: a tenant's list holds little
// room it does not use, and is read back a run at a time rather than a row
// at a time from anywhere in memory.

#include "journal/PeriodRows.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace rent {

class StoredPeriods {
public:
    // For tenants numbered 0 to tenants - 1.
    explicit StoredPeriods(std::size_t tenants);

    // A row of the tenant's, in the order read: its period_from, rent_due,
    // paid, extra_charges and extra_charges_paid.
    void add(std::size_t tenant, std::span<const engine::Variant, 5> values) { add(tenant, keep(values)); }

    // The same in two steps, for a reading that finds the rows' tenants a
    // batch at a time: a row kept (as it is held), then added; before it is,
    // prefetch fetches the memory it will go to.
    struct Row {
        std::int32_t values[5];
        std::uint16_t tags; // tagBits for each value
    };
    Row keep(std::span<const engine::Variant, 5> values);
    void add(std::size_t tenant, const Row& row);
    void prefetch(std::size_t tenant) const {
        const Tenant& held = tenants_[tenant];
        if (held.last != none && held.inLast < runRows)
            __builtin_prefetch(&run(held.last).rows[held.inLast], 1);
    }

    // The tenant's periods earliest first, as the database orders them by
    // period_from; an empty list for a tenant without periods. Nothing when
    // that order cannot be told here for sure: a period_from that is not a
    // date or has a time of day, or two periods that start on the same day
    // (whose order the database decides by its own means). Once for each
    // tenant: its rows are let go.
    std::optional<journal::PeriodRows> take(std::size_t tenant);

private:
    // How a value is kept: in the row's four bytes (a day, cents, a small
    // integer), or as it is aside (anything else, which a period rarely holds).
    enum class Tag : std::uint8_t { Null, Empty, Day, Cents, Integer, CurrencyCents, Aside };
    static constexpr int tagBits = 3;
    static constexpr std::uint32_t none = UINT32_MAX;
    static constexpr std::size_t runRows = 8;
    struct Run {
        Row rows[runRows];
        std::uint32_t next = none;
    };
    static constexpr std::size_t blockRuns = 1024;
    // A tenant's first and last runs, and the rows in its last.
    struct Tenant {
        std::uint32_t first = none;
        std::uint32_t last = none;
        std::uint32_t inLast = 0;
    };

    Run& run(std::uint32_t at) { return blocks_[at / blockRuns][at % blockRuns]; }
    const Run& run(std::uint32_t at) const { return blocks_[at / blockRuns][at % blockRuns]; }
    std::uint32_t newRun();
    Tag keep(const engine::Variant& value, std::int32_t& kept);
    engine::Variant value(Tag tag, std::int32_t kept) const;

    std::vector<Tenant> tenants_;
    std::vector<std::unique_ptr<Run[]>> blocks_;
    std::uint32_t runs_ = 0;
    std::vector<engine::Variant> aside_;
};

} // namespace rent

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
// only done where the order is beyond doubt (see periodsOf); for the other
// tenants the database is to be asked.

#include "journal/PeriodRows.h"

#include <cstdint>
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
    void add(std::size_t tenant, std::span<const engine::Variant, 5> values);

    // The tenant's periods earliest first, as the database orders them by
    // period_from; an empty list for a tenant without periods. Nothing when
    // that order cannot be told here for sure: a period_from that is not a
    // date or has a time of day, or two periods that start on the same day
    // (whose order the database decides by its own means). Once for each
    // tenant: its rows are let go.
    std::optional<journal::PeriodRows> take(std::size_t tenant);

private:
    // How a value is kept: numbers, money and dates in the row itself, anything
    // else (text, which a period rarely holds) aside.
    enum class Tag : std::uint8_t { Null, Empty, Integer, Double, Currency, Date, Other };
    struct Row {
        Tag tags[5];
        std::uint64_t bits[5];
    };

    void keep(const engine::Variant& value, Tag& tag, std::uint64_t& bits);
    engine::Variant value(Tag tag, std::uint64_t bits) const;

    // Each tenant's rows in the order read: the rows of ten thousand tenants
    // added to by turns touch only the ends of their lists.
    std::vector<std::vector<Row>> rows_;
    std::vector<engine::Variant> others_;
};

} // namespace rent

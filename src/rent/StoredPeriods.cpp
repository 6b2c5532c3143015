#include "rent/StoredPeriods.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace rent {

using engine::Variant;

StoredPeriods::StoredPeriods(std::size_t tenants) : rows_(tenants) {}

void StoredPeriods::keep(const Variant& value, Tag& tag, std::uint64_t& bits) {
    bits = 0;
    switch (value.kind()) {
    case Variant::Kind::Null:
        tag = Tag::Null;
        return;
    case Variant::Kind::Empty:
        tag = Tag::Empty;
        return;
    case Variant::Kind::Integer:
        tag = Tag::Integer;
        bits = static_cast<std::uint64_t>(value.integer());
        return;
    case Variant::Kind::Double:
        tag = Tag::Double;
        bits = std::bit_cast<std::uint64_t>(value.number());
        return;
    case Variant::Kind::Currency:
        tag = Tag::Currency;
        bits = static_cast<std::uint64_t>(value.currency().scaled());
        return;
    case Variant::Kind::Date:
        tag = Tag::Date;
        bits = std::bit_cast<std::uint64_t>(value.date().serial());
        return;
    default:
        tag = Tag::Other;
        bits = others_.size();
        others_.push_back(value);
        return;
    }
}

Variant StoredPeriods::value(Tag tag, std::uint64_t bits) const {
    switch (tag) {
    case Tag::Null:
        return Variant::null();
    case Tag::Empty:
        return Variant();
    case Tag::Integer:
        return Variant(static_cast<std::int64_t>(bits));
    case Tag::Double:
        return Variant(std::bit_cast<double>(bits));
    case Tag::Currency:
        return Variant(engine::Currency::fromScaled(static_cast<std::int64_t>(bits)));
    case Tag::Date:
        return Variant(engine::Date(std::bit_cast<double>(bits)));
    case Tag::Other:
        break;
    }
    return others_[bits];
}

void StoredPeriods::add(std::size_t tenant, std::span<const Variant, 5> values) {
    Row& row = rows_[tenant].emplace_back();
    for (std::size_t i = 0; i < 5; ++i)
        keep(values[i], row.tags[i], row.bits[i]);
}

std::optional<journal::PeriodRows> StoredPeriods::take(std::size_t tenant) {
    std::vector<Row> rows = std::move(rows_[tenant]);
    rows_[tenant] = {};
    // The start of each period as a day: dates alone (the form the periods'
    // starts are given in) have whole serials, one apart a day, so that their
    // order is that of their ISO texts, which the database compares.
    std::vector<double> starts(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].tags[0] != Tag::Date)
            return std::nullopt;
        const engine::Date start(std::bit_cast<double>(rows[i].bits[0]));
        if (start.hasTimeOfDay())
            return std::nullopt;
        starts[i] = start.serial();
    }
    // Mostly the table holds a tenant's periods in the order of their start.
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (!std::is_sorted(starts.begin(), starts.end()))
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return starts[a] < starts[b]; });
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (starts[order[i - 1]] == starts[order[i]])
            return std::nullopt;
    }
    journal::PeriodRows periods;
    periods.reserve(rows.size());
    for (std::size_t i : order) {
        const Row& row = rows[i];
        periods.push_back({value(row.tags[0], row.bits[0]), value(row.tags[1], row.bits[1]),
                           value(row.tags[2], row.bits[2]), value(row.tags[3], row.bits[3]),
                           value(row.tags[4], row.bits[4])});
    }
    return periods;
}

} // namespace rent

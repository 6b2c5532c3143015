#include "rent/StoredPeriods.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

namespace rent {

using engine::Variant;

namespace {

bool fitsInFourBytes(double value) {
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

bool fitsInFourBytes(std::int64_t value) {
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

bool sameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

double fromCents(std::int32_t cents) {
    return static_cast<double>(cents) / 100.0;
}

} // namespace

StoredPeriods::StoredPeriods(std::size_t tenants) : tenants_(tenants) {}

StoredPeriods::Tag StoredPeriods::keep(const Variant& value, std::int32_t& kept) {
    kept = 0;
    switch (value.kind()) {
    case Variant::Kind::Null:
        return Tag::Null;
    case Variant::Kind::Empty:
        return Tag::Empty;
    case Variant::Kind::Integer:
        if (fitsInFourBytes(value.integer())) {
            kept = static_cast<std::int32_t>(value.integer());
            return Tag::Integer;
        }
        break;
    case Variant::Kind::Double: {
        // Kept as cents only when they give back the very same double.
        const double cents = std::nearbyint(value.number() * 100.0);
        if (fitsInFourBytes(cents) && sameBits(fromCents(static_cast<std::int32_t>(cents)), value.number())) {
            kept = static_cast<std::int32_t>(cents);
            return Tag::Cents;
        }
        break;
    }
    case Variant::Kind::Currency: {
        const std::int64_t scaled = value.currency().scaled();
        if (scaled % 100 == 0 && fitsInFourBytes(scaled / 100)) {
            kept = static_cast<std::int32_t>(scaled / 100);
            return Tag::CurrencyCents;
        }
        break;
    }
    case Variant::Kind::Date: {
        const double serial = value.date().serial();
        if (fitsInFourBytes(serial) && sameBits(static_cast<double>(static_cast<std::int32_t>(serial)), serial)) {
            kept = static_cast<std::int32_t>(serial);
            return Tag::Day;
        }
        break;
    }
    default:
        break;
    }
    kept = static_cast<std::int32_t>(aside_.size());
    aside_.push_back(value);
    return Tag::Aside;
}

Variant StoredPeriods::value(Tag tag, std::int32_t kept) const {
    switch (tag) {
    case Tag::Null:
        return Variant::null();
    case Tag::Empty:
        return Variant();
    case Tag::Day:
        return Variant(engine::Date(static_cast<double>(kept)));
    case Tag::Cents:
        return Variant(fromCents(kept));
    case Tag::Integer:
        return Variant(static_cast<std::int64_t>(kept));
    case Tag::CurrencyCents:
        return Variant(engine::Currency::fromScaled(static_cast<std::int64_t>(kept) * 100));
    case Tag::Aside:
        break;
    }
    return aside_[static_cast<std::size_t>(kept)];
}

std::uint32_t StoredPeriods::newRun() {
    if (runs_ % blockRuns == 0)
        blocks_.push_back(std::make_unique<Run[]>(blockRuns));
    return runs_++;
}

StoredPeriods::Row StoredPeriods::keep(std::span<const Variant, 5> values) {
    Row kept{};
    for (std::size_t i = 0; i < 5; ++i)
        kept.tags |=
            static_cast<std::uint16_t>(static_cast<unsigned>(keep(values[i], kept.values[i])) << (tagBits * i));
    return kept;
}

void StoredPeriods::add(std::size_t tenant, const Row& row) {
    Tenant& held = tenants_[tenant];
    if (held.last == none || held.inLast == runRows) {
        const std::uint32_t at = newRun();
        if (held.last == none)
            held.first = at;
        else
            run(held.last).next = at;
        held.last = at;
        held.inLast = 0;
    }
    run(held.last).rows[held.inLast++] = row;
}

std::optional<journal::PeriodRows> StoredPeriods::take(std::size_t tenant) {
    std::vector<const Row*> read; // the tenant's rows, in the order read
    const Tenant held = std::exchange(tenants_[tenant], Tenant{});
    for (std::uint32_t at = held.first; at != none;) {
        const Run& rows = run(at);
        const std::size_t count = at == held.last ? held.inLast : runRows;
        for (std::size_t i = 0; i < count; ++i)
            read.push_back(&rows.rows[i]);
        at = at == held.last ? none : rows.next;
    }
    const auto tagOf = [](const Row& kept, std::size_t i) {
        return static_cast<Tag>((kept.tags >> (tagBits * i)) & ((1u << tagBits) - 1));
    };
    // The start of each period as a day: dates alone (the form the periods'
    // starts are given in) have whole serials, one apart a day, so that their
    // order is that of their ISO texts, which the database compares.
    std::vector<double> starts(read.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        const Row& kept = *read[i];
        const Tag tag = tagOf(kept, 0);
        if (tag == Tag::Day) {
            starts[i] = kept.values[0];
            continue;
        }
        const Variant start = value(tag, kept.values[0]);
        if (start.kind() != Variant::Kind::Date || start.date().hasTimeOfDay())
            return std::nullopt;
        starts[i] = start.date().serial();
    }
    // Mostly the table holds a tenant's periods in the order of their start.
    std::vector<std::size_t> order(read.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (!std::is_sorted(starts.begin(), starts.end()))
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return starts[a] < starts[b]; });
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (starts[order[i - 1]] == starts[order[i]])
            return std::nullopt;
    }
    journal::PeriodRows periods;
    periods.reserve(read.size());
    for (std::size_t i : order) {
        const Row& kept = *read[i];
        const auto at = [&](std::size_t column) { return value(tagOf(kept, column), kept.values[column]); };
        periods.push_back({at(0), at(1), at(2), at(3), at(4)});
    }
    return periods;
}

} // namespace rent

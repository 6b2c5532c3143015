#pragma once
// The tables of a property database in its SQLite form, as the host
// application keeps them: dates as ISO text in DATETIME columns, money as
// REAL, booleans as -1 / 0, text compared and sorted without regard to case.

#include <array>
#include <cstddef>

namespace property_schema {

// The six tables, without their indexes.
inline constexpr char tableDefinitions[] = R"sql(
create table tenancy (
    reference text collate nocase not null,
    name text collate nocase,
    [property code] text collate nocase,
    [when started] datetime,
    [when ended] datetime
);
create table options (
    company_name text collate nocase,
    rent_group text collate nocase
);
create table glcodes (
    gl_code text collate nocase not null,
    description text collate nocase,
    pay_extra_charges integer not null default 0
);
create table revenues (
    id integer primary key,
    tenant_code text collate nocase,
    [revenue group] text collate nocase,
    amount real,
    date datetime,
    [property code] text collate nocase,
    description text collate nocase
);
create table rent_periods (
    id integer primary key,
    tenant_code text collate nocase not null,
    period_from datetime not null,
    period_to datetime,
    rent_due real not null default 0,
    paid real not null default 0,
    extra_charges real not null default 0,
    extra_charges_paid real not null default 0
);
create table rent_periods_charges (
    id integer primary key,
    tenantcode text collate nocase not null,
    period_from datetime not null,
    description text collate nocase,
    value real
);
)sql";

// The indexes the host keeps on the tenant columns and period dates; a bulk
// load creates them after the rows are in.
inline constexpr char indexDefinitions[] = R"sql(
create index tenancy_reference on tenancy (reference);
create index revenues_tenant on revenues (tenant_code, [revenue group]);
create index rent_periods_tenant on rent_periods (tenant_code, period_from);
create index rent_periods_charges_tenant on rent_periods_charges (tenantcode, period_from);
)sql";

namespace detail {
template <std::size_t First, std::size_t Second>
constexpr std::array<char, First + Second - 1> join(const char (&first)[First], const char (&second)[Second]) {
    std::array<char, First + Second - 1> joined{};
    for (std::size_t index = 0; index + 1 < First; ++index) {
        joined[index] = first[index];
    }
    for (std::size_t index = 0; index < Second; ++index) {
        joined[First - 1 + index] = second[index];
    }
    return joined;
}
inline constexpr auto createTablesText = join(tableDefinitions, indexDefinitions);
} // namespace detail

// Tables and indexes together, for a database made in one step.
inline constexpr const char* createTables = detail::createTablesText.data();

} // namespace property_schema

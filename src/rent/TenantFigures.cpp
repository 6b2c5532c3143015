#include "rent/TenantFigures.h"

#include "database/Schema.h"
#include "database/SqlText.h"
#include "general/Lookup.h"
#include "general/TextForm.h"

namespace rent {

std::string RentIncomeSql(const Ledger& ledger, const std::string& tenant) {
    return "select sum(amount)+0 as paid from revenues where [revenue group] = " + SqlQuote(ledger.rentGroup) +
           " and tenant_code = " + SqlQuote(tenant);
}

std::string ExtraChargeIncomeSql(const Ledger& ledger, const std::string& tenant) {
    return "select sum(amount)+0 as paid from revenues where [revenue group] in (" + ledger.extraChargeCodes +
           ")  and [revenue group]  <> " + SqlQuote(ledger.rentGroup) + " and tenant_code = " + SqlQuote(tenant);
}

std::string PeriodChargesSql(const std::string& tenant) {
    return "select sum(value)+0 as paid from rent_periods_charges where tenantcode = " + SqlQuote(tenant);
}

std::string PeriodSumSql(const char* expression, const std::string& tenant) {
    return std::string("select sum(") + expression +
           ") as amount from rent_periods where tenant_code = " + SqlQuote(tenant);
}

std::string FirstRentTransactionWhere(const Ledger& ledger, const std::string& propertyCode,
                                      const std::string& tenant) {
    return "where [revenue group] = " + SqlQuote(ledger.rentGroup) +
           " and [property code] = " + SqlQuote(propertyCode) + " and tenant_code = " + SqlQuote(tenant);
}

std::string IncomeOverGroupsColumns(const Ledger& ledger, const std::string& propertyCode) {
    const std::string rent = "lcase(" + SqlQuote(ledger.rentGroup) + ")";
    return "sum(iif(lcase(r.g) = " + rent + ", r.amount, null))+0 as t0, sum(iif(lcase(r.g) <> " + rent +
           ", r.amount, null))+0 as t1, min(iif(lcase(r.g) = " + rent + " and lcase(r.p) = lcase(" + propertyCode +
           "), r.d, null)) as t8";
}

std::string IncomeOverGroupsWhere(const Ledger& ledger) {
    return "lcase(r.g) in (lcase(" + SqlQuote(ledger.rentGroup) + "), " + LowerCasedValues(ledger.extraChargeCodes) +
           ")";
}

namespace {

// The statement of the analysis's totals, the first rent transaction taken on
// the property that propertyCode (an expression of the statement) gives; with
// the tenancy, its row's fields as well.
std::optional<AnalysisTotals> readTotals(engine::Database& database, const Ledger& ledger, const std::string& tenant,
                                         const std::string& propertyCode, bool withTenancy) {
    // The tenant's income rows are read once: the rent income, the extra
    // charges' income and the first rent transaction each add up the rows
    // their own statement keeps (above), tested row by row. The totals of
    // each table are the one row of a select of its own, taken side by side;
    // the values compared stay values of the statement (in a where, or in a
    // named column of a select that adds up), so that it is prepared once
    // for every tenant.
    const std::string rent = SqlQuote(ledger.rentGroup);
    const std::string quotedTenant = SqlQuote(tenant);
    std::string periods;
    for (std::size_t i = 0; i < periodSums.size(); ++i)
        periods.append("sum(").append(periodSums[i]).append(") as t").append(std::to_string(i + 3)).append(", ");
    std::string income;
    if (database.FoldsCaseAtEachCompare()) {
        // Where every compare of text folds the case of both (citext), the
        // tenant's rows are added up first by their codes as typed, and only
        // those few groups are compared: lcase() with lcase() compares as the
        // columns do. The sums of the groups add up to the sums of the rows
        // exactly, and the least of their least dates is the least date.
        income = "select " + IncomeOverGroupsColumns(ledger, propertyCode) +
                 " from (select cstr([revenue group]) as g, cstr([property code]) as p, sum(amount) as amount, "
                 "min(date) as d from revenues where tenant_code = " +
                 quotedTenant + " group by cstr([revenue group]), cstr([property code])) as r where " +
                 IncomeOverGroupsWhere(ledger);
    } else {
        income = "select sum(iif([revenue group] = " + rent + ", amount, null))+0 as t0, ";
        income += "sum(iif([revenue group] <> " + rent + ", amount, null))+0 as t1, ";
        income +=
            "min(iif([revenue group] = " + rent + " and [property code] = " + propertyCode + ", date, null)) as t8 ";
        income += "from revenues where tenant_code = " + quotedTenant + " and [revenue group] in (" + rent + ", " +
                  ledger.extraChargeCodes + ")";
    }
    // The one total of the period charges is a value of the select list: as
    // a table of the from list it would be one more that SQLite writes out
    // and reads back for every tenant (a fifth of the statement's time).
    std::string sql = "select r.t0, r.t1, (" + PeriodChargesSql(tenant) +
                      ") as t2, p.t3, p.t4, p.t5, p.t6, p.t7, r.t8" + (withTenancy ? ", t.t9, t.t10, t.t11" : "") +
                      " from (" + income + ") as r, (select " + periods +
                      "min(period_from) as t7 from rent_periods where tenant_code = " + quotedTenant + ") as p";
    if (withTenancy)
        sql += ", (select [when started] as t9, name as t10, [property code] as t11 from tenancy where reference = " +
               quotedTenant + ") as t";
    NormaliseSql(sql);
    try {
        auto rs = database.OpenRecordset(sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
        if (rs->Eof())
            return std::nullopt;
        AnalysisTotals read;
        for (std::size_t i = 0; i < read.totals.size(); ++i)
            read.totals[i] = rs->Fields("t" + std::to_string(i)).Value();
        read.firstPeriod = rs->Fields("t7").Value();
        read.firstTransaction = rs->Fields("t8").Value();
        if (withTenancy)
            read.tenancy =
                TenancyFields{rs->Fields("t9").Value(), rs->Fields("t10").Value(), rs->Fields("t11").Value()};
        return read;
    } catch (const engine::EngineError& error) {
        // Without the connection no statement can be read on its own either.
        if (error.connectionLost)
            throw;
        return std::nullopt;
    }
}

} // namespace

std::optional<AnalysisTotals> ReadAnalysisTotals(engine::Database& database, const Ledger& ledger,
                                                 const std::string& tenant, const std::string& propertyCode) {
    return readTotals(database, ledger, tenant, SqlQuote(propertyCode), false);
}

std::optional<AnalysisTotals> ReadTenancyAndTotals(engine::Database& database, const Ledger& ledger,
                                                   const std::string& tenant) {
    if (database.IsFile())
        return std::nullopt;
    // The property is the tenancy's as the analysis takes it, an empty code
    // for none. Where tenancy holds the reference more than once, a server
    // refuses the statement and the caller reads the tenancy's first row on
    // its own; one that takes the first row takes it for both.
    const std::string property =
        "(select iif([property code] is null, '', [property code]) from tenancy where reference = " + SqlQuote(tenant) +
        ")";
    return readTotals(database, ledger, tenant, property, true);
}

bool TestTruth(const engine::Variant& value) {
    if (value.kind() == engine::Variant::Kind::Text)
        return value.text() == "1" || value.text() == "-1" || value.text() == "t" || value.text() == "true";
    return !value.isNull() && !value.isEmpty() && value.toDouble() != 0;
}

std::string PeriodsForRepairSql(const std::string& tenant) {
    return "select * from rent_periods where tenant_code = " + SqlQuote(tenant) + " order by period_from";
}

std::vector<Charge> ReadCharges(engine::Database& database, const std::string& tenant) {
    std::string sql = "select * from rent_periods_charges where tenantcode = " + SqlQuote(tenant);
    NormaliseSql(sql);
    auto rs = database.OpenRecordset(sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
    std::vector<Charge> charges;
    for (; !rs->Eof(); rs->MoveNext())
        charges.push_back({rs->Fields(schema::rentPeriodsChargesValue).Value(),
                           rs->Fields(schema::rentPeriodsChargesPeriodFrom).Value()});
    return charges;
}

IncomeTotals IncomeTotalsOf(const AnalysisTotals& totals, const platform::Locale& locale) {
    return {TextForm(ValueOrDefault(totals.totals[0], 0), locale),
            TextForm(ValueOrDefault(totals.totals[1], 0), locale)};
}

IncomeTotals ReadIncomeTotals(engine::Database& database, const Ledger& ledger, const std::string& tenant,
                              const std::string& propertyCode, const platform::Locale& locale) {
    // As the analysis read them, so that a database that keeps what it read
    // (inside a transaction, while the tables are not written) need not be
    // asked again.
    std::optional<AnalysisTotals> together = ReadTenancyAndTotals(database, ledger, tenant);
    if (!together)
        together = ReadAnalysisTotals(database, ledger, tenant, propertyCode);
    if (together)
        return IncomeTotalsOf(*together, locale);
    const auto total = [&](std::string sql) {
        NormaliseSql(sql);
        auto rs = database.OpenRecordset(sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
        return rs->Eof() ? std::string() : TextForm(ValueOrDefault(rs->Fields("paid").Value(), 0), locale);
    };
    return {total(RentIncomeSql(ledger, tenant)), total(ExtraChargeIncomeSql(ledger, tenant))};
}

} // namespace rent

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

IncomeTotals ReadIncomeTotals(engine::Database& database, const Ledger& ledger, const std::string& tenant,
                              const platform::Locale& locale) {
    const auto total = [&](std::string sql) {
        NormaliseSql(sql);
        auto rs = database.OpenRecordset(sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
        return rs->Eof() ? std::string() : TextForm(ValueOrDefault(rs->Fields("paid").Value(), 0), locale);
    };
    return {total(RentIncomeSql(ledger, tenant)), total(ExtraChargeIncomeSql(ledger, tenant))};
}

} // namespace rent

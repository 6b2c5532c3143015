#include "general/Lookup.h"

#include "general/TextForm.h"

std::string LookupValue(Database& database, const std::string& expression, const std::string& table,
                        const std::string& criteria, const platform::Locale& locale) {
    // The blank before the criteria is always there, also for empty criteria.
    std::string sql = "select " + expression + " as result from " + table + " " + criteria;
    RecordsetRef rs;
    database.CreateRecordset(rs, sql, engine::dbOpenDynaset,
                             static_cast<std::int16_t>(engine::dbDenyWrite | engine::dbDenyRead));
    if (database.IsRecordsetEmpty(rs) != 0)
        return {}; // a failed open (reported already), or no row
    return TextForm(ValueOrDefault(rs->Fields("result").Value(), engine::Variant("")), locale);
}

engine::Variant ValueOrDefault(const engine::Variant& value, const engine::Variant& defaultValue) {
    return value.isNull() ? defaultValue : value;
}

#include "rent/ReferenceData.h"

#include "database/Schema.h"
#include "database/SqlText.h"
#include "general/Lookup.h"
#include "general/TextForm.h"

namespace rent {

namespace {

// A recordset of its own for each statement, so one that fails to open never
// shows the rows of an earlier one.
RecordsetRef openReadOnly(Database& database, std::string sql) {
    RecordsetRef rs;
    database.CreateRecordset(rs, sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
    return rs;
}

} // namespace

void ReadReferenceData(Database& database, const platform::Locale& locale, ReferenceData& data) {
    const auto hasRow = [&database](RecordsetRef& rs) { return database.IsEof(rs) == 0; };

    RecordsetRef rs = openReadOnly(database, "select reference from tenancy order by reference");
    while (hasRow(rs)) {
        engine::Variant reference = rs->Fields(schema::tenancyReference).Value();
        if (!reference.isNull())
            data.references.push_back(TextForm(reference, locale));
        database.MoveNextRecord(rs);
    }

    rs = openReadOnly(database, "select * from options");
    if (hasRow(rs))
        data.rentGroup = TextForm(ValueOrDefault(rs->Fields(schema::optionsRentGroup).Value(), std::string()), locale);

    data.extraChargeCodes = "'xcvdfgsdfs'";
    rs = openReadOnly(database, "select * from glcodes where pay_extra_charges<>0");
    while (hasRow(rs)) {
        // A Null code stands as an empty quoted code.
        engine::Variant code = ValueOrDefault(rs->Fields(schema::glcodesCode).Value(), std::string());
        data.extraChargeCodes += "," + SqlQuote(TextForm(code, locale));
        database.MoveNextRecord(rs);
    }
}

} // namespace rent

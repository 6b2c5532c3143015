// The tenant list and the ledger settings the analysis needs.

#include "frmmain/Guarded.h"
#include "frmmain/frmMain.h"

#include "database/Schema.h"
#include "database/SqlText.h"
#include "general/Lookup.h"
#include "general/TextForm.h"

RecordsetRef frmMain::openReadOnly(std::string sql) {
    RecordsetRef rs;
    database_.CreateRecordset(rs, sql, engine::dbOpenForwardOnly, engine::dbReadOnly);
    return rs;
}

bool frmMain::hasRow(RecordsetRef& rs) {
    return database_.IsEof(rs) == 0;
}

void frmMain::LoadReferenceData() {
    Combo1->clear();
    runGuarded(database_, "Load Reference Data", [this] {
        RecordsetRef rs = openReadOnly("select reference from tenancy order by reference");
        while (hasRow(rs)) {
            // A tenancy without a reference can be neither selected nor repaired.
            engine::Variant reference = rs->Fields(schema::tenancyReference).Value();
            if (!reference.isNull())
                Combo1->addItem(TextForm(reference, platform_.locale));
            database_.MoveNextRecord(rs);
        }

        rs = openReadOnly("select * from options");
        if (hasRow(rs))
            rentGroup =
                TextForm(ValueOrDefault(rs->Fields(schema::optionsRentGroup).Value(), std::string()), platform_.locale);

        extraChargeCodes = "'xcvdfgsdfs'";
        rs = openReadOnly("select * from glcodes where pay_extra_charges<>0");
        while (hasRow(rs)) {
            // A Null code stands as an empty quoted code.
            engine::Variant code = ValueOrDefault(rs->Fields(schema::glcodesCode).Value(), std::string());
            extraChargeCodes += "," + SqlQuote(TextForm(code, platform_.locale));
            database_.MoveNextRecord(rs);
        }
    });
    // Nothing is selected until the user chooses (the list was cleared above).
}

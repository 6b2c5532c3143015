// The tenant list and the ledger settings the analysis needs.

#include "batch/Guarded.h"
#include "frmmain/frmMain.h"

#include "rent/ReferenceData.h"

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
    // What a failure part of the way leaves is kept: the references read so
    // far, and the ledger settings as they then stand.
    rent::ReferenceData data{{}, rentGroup, extraChargeCodes};
    runGuarded(database_, "Load Reference Data", [&] { rent::ReadReferenceData(database_, platform_.locale, data); });
    for (const std::string& reference : data.references)
        Combo1->addItem(reference);
    rentGroup = data.rentGroup;
    extraChargeCodes = data.extraChargeCodes;
    // Nothing is selected until the user chooses (the list was cleared above).
}

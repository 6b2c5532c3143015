// "Fix this value" beside the Extra Charges row (rebuild the periods' extra
// charges from the individual charges, then reallocate) and "Fix All".

#include "frmmain/RepairScope.h"
#include "frmmain/frmMain.h"

#include "database/Schema.h"
#include "database/SqlText.h"
#include "engine/NumberText.h"

#include <QComboBox>

void frmMain::Command1_Click() {
    repairSelectedTenant(true);
}

bool frmMain::rebuildExtraCharges(const RepairScope& scope) {
    const std::string tenant = SqlQuote(tenantReference());
    std::string sql = "update rent_periods set extra_charges = 0 where tenant_code = " + tenant;
    if (database_.ExecuteSql(sql) != -1)
        return false;

    RecordsetRef rs;
    sql = "select * from rent_periods_charges where tenantcode = " + tenant;
    database_.CreateRecordset(rs, sql, engine::dbOpenDynaset, engine::dbDenyWrite | engine::dbDenyRead);
    if (!scope.ok())
        return false;
    while (database_.IsEof(rs) == 0) {
        // The amount goes into the statement as a number, never as text from
        // the file; an empty amount leaves nothing after the plus sign and the
        // engine rejects the statement.
        engine::Variant value = rs->Fields(schema::rentPeriodsChargesValue).Value();
        std::string amount = value.isNull() ? std::string() : engine::NumberText(value.toDouble());
        engine::Date periodFrom = rs->Fields(schema::rentPeriodsChargesPeriodFrom).Value().toDate();
        sql = "update rent_periods set extra_charges = extra_charges + " + amount + " where tenant_code = " + tenant +
              " and period_from = " + SqlDateLiteral(periodFrom);
        if (database_.ExecuteSql(sql) != -1)
            return false;
        database_.MoveNextRecord(rs);
        if (!scope.ok())
            return false;
    }
    return scope.ok();
}

void frmMain::cmdFixAll_Click() {
    // One batch at a time: a press while it runs (during its pauses for the
    // window's events) is ignored.
    if (batchRunning_ || Combo1->count() == 0)
        return;
    batchRunning_ = true;
    const QString title = windowTitle();
    {
        BatchTransaction batch(database_);
        batch_ = &batch;
        SetListIndex(0);
        for (;;) {
            setWindowTitle(QStringLiteral("%1 - Fix All: %2 (%3 of %4)")
                               .arg(title, Combo1->currentText())
                               .arg(Combo1->currentIndex() + 1)
                               .arg(Combo1->count()));
            cmdFix_Click();
            batch.tenantDone();
            // The advance is taken from the current selection, which the user
            // may have changed while the window's events ran.
            if (!SetListIndex(Combo1->currentIndex() + 1))
                break;
            platform_.program.letPendingEventsRun();
            if (platform_.program.endRequested())
                break;
        }
        batch_ = nullptr;
    }
    setWindowTitle(title);
    batchRunning_ = false;
}

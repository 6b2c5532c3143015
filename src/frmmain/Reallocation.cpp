// "Fix this value" beside the paid rows: the money received, as the analysis
// shows it, handed out again across the tenant's rental periods, oldest first
// (batch/TenantRepair).

#include "frmmain/frmMain.h"

#include "batch/Batch.h"
#include "batch/TenantRepair.h"
#include "rent/Allocation.h"

void frmMain::cmdFix_Click() {
    repairSelectedTenant(false);
}

void frmMain::notify(const std::string& text) {
    if (running_)
        running_->summary().log(text);
    else
        showMessage(text);
}

frmMain::RepairOutcome frmMain::repairSelectedTenant(bool rebuildExtraChargesFirst) {
    const std::string tenant = tenantReference();
    // The repair writes the figures the window shows; they must be the
    // analysis of the tenant selected now, or another tenant's money would be
    // written into this tenant's periods.
    if (!incomeTotalsTenant_ || *incomeTotalsTenant_ != tenant) {
        notify(tenant.empty() ? std::string("No tenant is selected. Nothing was changed.")
                              : "The income totals shown were not worked out for tenant " + tenant +
                                    ", so they cannot be allocated. Select the tenant again. Nothing was changed.");
        return RepairOutcome::Failed;
    }
    // The captions are read back as the platform reads a leading number.
    batch::TenantRepairRequest request;
    request.tenant = tenant;
    request.rentShown = Label6->caption();
    request.extraShown = Label20->caption();
    try {
        request.rentIncome = rent::CaptionAmount(request.rentShown);
        request.extraChargeIncome = rent::CaptionAmount(request.extraShown);
    } catch (const engine::EngineError&) {
        notify("The income totals of tenant " + tenant + " (" + request.rentShown + " and " + request.extraShown +
               ") are outside the range of amounts that can be allocated. " + "Nothing was changed.");
        return RepairOutcome::Failed;
    }
    request.rebuildExtraChargesFirst = rebuildExtraChargesFirst;
    request.ledger = ledger();
    request.propertyCode = propertyCode;
    batch::RepairBatch in;
    if (running_)
        in = {running_->transaction(), running_->action()};
    const batch::TenantRepairResult repair =
        batch::RepairTenant(database_, request, platform_.locale, listFigures_, in, journalling_);
    // Said once the transaction has ended, so no box waits while the write lock is held.
    for (const std::string& text : repair.messages)
        notify(text);
    if (repair.analyseAgain)
        Combo1_Click();
    if (!running_)
        historyChanged();
    switch (repair.outcome) {
    case batch::TenantRepairResult::Outcome::Repaired:
        return RepairOutcome::Repaired;
    case batch::TenantRepairResult::Outcome::AlreadyAgreed:
        return RepairOutcome::AlreadyAgreed;
    case batch::TenantRepairResult::Outcome::Failed:
        break;
    }
    return RepairOutcome::Failed;
}

// "Fix this value" beside the Extra Charges row (rebuild the periods' extra
// charges from the individual charges, then reallocate), "Fix All", and
// "Fix these" of the list of Check All: one batch (batch/Batch), which
// repairs tenant after tenant as Fix All always has.

#include "frmmain/frmMain.h"

#include "batch/Batch.h"
#include "batch/Guarded.h"
#include "general/TextForm.h"

#include <optional>
#include <utility>

void frmMain::Command1_Click() {
    repairSelectedTenant(true);
}

void frmMain::cmdFixAll_Click() {
    runBatch(nullptr);
}

std::optional<rent::ListFigures> frmMain::readListFigures() {
    engine::Database* db = database_.CurrentDatabase.get();
    if (!db || db->ConnectionLost())
        return std::nullopt;
    // Without them each analysis reads its tenant's rows, as it always can.
    try {
        return rent::ListFigures::Read(*db, listedTenants(), ledger(), platform_.locale);
    } catch (const engine::EngineError& error) {
        if (error.connectionLost)
            database_.report("Fix All", error);
        return std::nullopt;
    }
}

void frmMain::showBatchProgress(const std::string& caption, int done, int total) {
    Me->setCaption(caption);
    Me->showProgress(done, total);
}

// Fix All: the tenant list from its first entry, each tenant reallocated; the
// advance is taken from the current selection, which the user may have
// changed while the window's events ran.
class frmMain::FixAllWalk : public batch::BatchWalk {
public:
    FixAllWalk(frmMain& form, const std::string& title) : form_(form), title_(title) {}

    void begin() override {
        form_.listFigures_ = form_.readListFigures();
        // Selecting the first tenant would open a connection lost in the
        // reading ahead again, and wait on the same silence that lost it.
        const engine::Database* db = form_.database_.CurrentDatabase.get();
        if (!db || !db->ConnectionLost())
            form_.SetListIndex(0);
    }
    Done repairCurrent() override {
        controls::ComboBox& list = *form_.Combo1;
        // The window's own name last, once, as the desktop shows every window's title.
        form_.showBatchProgress("Fix All: " + list.text() + " (" + GroupedCount(list.listIndex() + 1) + " of " +
                                    GroupedCount(list.listCount()) + ") - " + title_,
                                list.listIndex() + 1, list.listCount());
        Done done;
        done.index = list.listIndex();
        done.tenant = form_.tenantReference();
        const RepairOutcome outcome = form_.repairSelectedTenant(false);
        done.outcome = outcome == RepairOutcome::Repaired        ? Outcome::Repaired
                       : outcome == RepairOutcome::AlreadyAgreed ? Outcome::AlreadyAgreed
                                                                 : Outcome::Failed;
        return done;
    }
    bool more() const override { return form_.Combo1->listIndex() + 1 < form_.Combo1->listCount(); }
    bool next() override { return form_.SetListIndex(form_.Combo1->listIndex() + 1); }
    void end() override { form_.listFigures_.reset(); }

private:
    frmMain& form_;
    const std::string& title_;
};

// Fix these: exactly the chosen tenants, in their order.
class frmMain::ChosenWalk : public batch::BatchWalk {
public:
    ChosenWalk(frmMain& form, const std::string& title, const std::vector<rent::TenantCheck>& chosen)
        : form_(form), title_(title), chosen_(chosen) {}

    void begin() override {}
    Done repairCurrent() override {
        const int total = static_cast<int>(chosen_.size());
        const rent::TenantCheck& entry = chosen_[static_cast<std::size_t>(position_)];
        form_.showBatchProgress("Fix these: " + entry.tenant + " (" + GroupedCount(position_ + 1) + " of " +
                                    GroupedCount(total) + ") - " + title_,
                                position_ + 1, total);
        return {position_, entry.tenant, outcomeOf(form_.repairChosenTenant(entry))};
    }
    bool more() const override { return position_ + 1 < static_cast<int>(chosen_.size()); }
    bool next() override { return ++position_ < static_cast<int>(chosen_.size()); }
    void end() override {}

private:
    static Outcome outcomeOf(ChosenOutcome outcome) {
        switch (outcome) {
        case ChosenOutcome::Repaired:
            return Outcome::Repaired;
        case ChosenOutcome::AlreadyAgreed:
            return Outcome::AlreadyAgreed;
        case ChosenOutcome::Skipped:
            return Outcome::Skipped;
        case ChosenOutcome::Failed:
            break;
        }
        return Outcome::Failed;
    }

    frmMain& form_;
    const std::string& title_;
    const std::vector<rent::TenantCheck>& chosen_;
    int position_ = 0;
};

bool frmMain::runBatch(const std::vector<rent::TenantCheck>* chosen) {
    const int total = chosen ? static_cast<int>(chosen->size()) : Combo1->listCount();
    // One batch at a time: a press while it runs (during its pauses for the
    // window's events) is ignored.
    if (batchRunning_ || total == 0)
        return false;
    batch::Batch batch(database_, errorReport_, journalling_, platform_.program, chosen ? "Fix these" : "Fix All",
                       total);
    std::string why;
    if (!batch.begin(chosen ? kindFixThese : journal::kindFixAll, databaseName(), why)) {
        notify(why);
        return false;
    }
    batchRunning_ = true;
    endDuringBatch_.reset();
    const std::string title = Me->caption();
    running_ = &batch;
    FixAllWalk fixAll(*this, title);
    std::optional<ChosenWalk> fixThese;
    if (chosen)
        fixThese.emplace(*this, title, *chosen);
    const BatchSummary::End end = batch.run(fixThese ? static_cast<batch::BatchWalk&>(*fixThese) : fixAll,
                                            [this]() -> std::optional<BatchSummary::End> {
                                                if (endDuringBatch_)
                                                    return endDuringBatch_;
                                                if (platform_.program.endRequested())
                                                    return BatchSummary::End::ExitPressed;
                                                return std::nullopt;
                                            });
    running_ = nullptr;
    Me->setCaption(title);
    batchRunning_ = false;
    const std::string text = batch.text(end);
    // A batch that stopped on a failure shows it on the taskbar until its summary is read.
    if (batch::Batch::failed(end))
        Me->showProgressFailed();
    else
        Me->clearProgress();
    historyChanged();
    showMessage(text);
    Me->clearProgress();
    if (endDuringBatch_)
        platform_.program.endProgram(0);
    return true;
}

frmMain::ChosenOutcome frmMain::repairChosenTenant(const rent::TenantCheck& chosen) {
    int index = -1;
    for (int i = 0; i < Combo1->listCount() && index < 0; ++i)
        if (Combo1->list(i) == chosen.tenant)
            index = i;
    if (index < 0) {
        notify("Tenant " + chosen.tenant + " is no longer in the tenant list, so it was not repaired.");
        return ChosenOutcome::Failed;
    }
    SetListIndex(index);
    const std::vector<std::string> shown = {Label6->caption(),  Label7->caption(),  Label20->caption(),
                                            Label19->caption(), Label21->caption(), Label22->caption(),
                                            Label14->caption()};
    const std::vector<std::string> checked = {chosen.rentReceived, chosen.rentPaid, chosen.extraReceived,
                                              chosen.extraPaid,    chosen.charges,  chosen.chargesInPeriods,
                                              chosen.dueNow};
    bool rebuild = chosen.rebuild;
    if (shown != checked) {
        // Changed since the check (another user recorded a payment): the
        // tenant is checked again as it is now, so the repair is the one its
        // new figures call for.
        std::optional<rent::CheckResult> again;
        runGuarded(database_, "Fix these", [&] {
            again = rent::CheckAll(*database_.CurrentDatabase, {chosen.tenant}, ledger(), platform_.locale);
        });
        if (!again)
            return ChosenOutcome::Failed;
        if (again->listed.empty())
            return ChosenOutcome::Skipped;
        const rent::TenantCheck& now = again->listed.front();
        if (!now.checked()) {
            notify("Tenant " + chosen.tenant + " could not be checked again, so it was not repaired: " + now.problem);
            return ChosenOutcome::Failed;
        }
        rebuild = now.rebuild;
    }
    switch (repairSelectedTenant(rebuild)) {
    case RepairOutcome::Repaired:
        return ChosenOutcome::Repaired;
    case RepairOutcome::AlreadyAgreed:
        return ChosenOutcome::AlreadyAgreed;
    case RepairOutcome::Failed:
        break;
    }
    return ChosenOutcome::Failed;
}

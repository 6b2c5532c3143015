// "Check All": every tenant of the list checked against the money received,
// reading only, and the list of those that disagree in a window of its own.

#include "batch/Guarded.h"
#include "frmmain/frmCheckAll.h"
#include "frmmain/frmMain.h"

#include "general/TextForm.h"

#include <optional>
#include <utility>

namespace {

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

void frmMain::cmdCheckAll_Click() {
    // Not while a batch or another check runs (during their pauses for the
    // window's events).
    if (batchRunning_ || undoRunning_ || !database_.CurrentDatabase)
        return;
    // An action of its own (not one while a batch pauses): after a lost
    // connection it is opened again first, or the check does not start.
    database_.BeginAction();
    if (!database_.CheckConnection())
        return;
    const std::vector<std::string> tenants = listedTenants();
    if (tenants.empty()) {
        showMessage("There are no tenants to check.");
        return;
    }
    // Running as a batch does: Fix All and Undo wait, Exit and the close box
    // stop the check and then end the program.
    batchRunning_ = true;
    endDuringBatch_.reset();
    checkStopped_ = false;
    const std::string title = Me->caption();
    const int total = static_cast<int>(tenants.size());
    const auto progressCaption = [&](int done) {
        return "Check All: " + tenants[static_cast<std::size_t>(done)] + " (" + GroupedCount(done + 1) + " of " +
               GroupedCount(total) + ") - " + title;
    };
    showBatchProgress(progressCaption(0), 0, total);
    const rent::CheckProgress progress = [&](int done, int, const std::string&) {
        if (done < total)
            showBatchProgress(progressCaption(done), done, total);
        // The check holds no lock between its groups of tenants.
        platform_.program.letPendingEventsRun();
        return !checkStopped_ && !endDuringBatch_ && !platform_.program.endRequested();
    };
    std::optional<rent::CheckResult> result;
    // A failure of the database itself ends the check; it is said once.
    runGuarded(database_, "Check All", [&] {
        result = rent::CheckAll(*database_.CurrentDatabase, tenants, ledger(), platform_.locale, progress);
    });
    Me->setCaption(title);
    Me->clearProgress();
    batchRunning_ = false;
    if (endDuringBatch_) {
        platform_.program.endProgram(0);
        return;
    }
    if (!result || platform_.program.endRequested())
        return;
    if (!checkAll_) {
        checkAllWindow_ = frontEnd_.openWindow();
        checkAll_ = std::make_unique<frmCheckAll>(*this, *checkAllWindow_, platform_.messages, frontEnd_.fileDialog(),
                                                  frontEnd_.clipboard(), platform_.clock, platform_.locale);
    }
    checkAll_->Show(std::move(*result));
}

void frmMain::mnuStop_Click() {
    // Fix All and Fix these stop by Exit or the close box, which say why in
    // their summary; Escape is for the check, which writes nothing.
    if (batchRunning_ && !running_)
        checkStopped_ = true;
}

bool frmMain::SelectTenant(const std::string& tenant) {
    int index = -1;
    for (int i = 0; i < Combo1->listCount() && index < 0; ++i)
        if (Combo1->list(i) == tenant)
            index = i;
    for (int i = 0; i < Combo1->listCount() && index < 0; ++i)
        if (sameText(Combo1->list(i), tenant))
            index = i;
    if (index < 0) {
        showMessage("Tenant " + tenant + " is no longer in the tenant list.");
        return false;
    }
    return SetListIndex(index);
}

std::optional<rent::CheckResult> frmMain::FixThese(const std::vector<rent::TenantCheck>& tenants,
                                                   const rent::CheckResult& checked) {
    if (tenants.empty() || !runBatch(&tenants) || platform_.program.endRequested())
        return std::nullopt;
    // The list as it is now: the tenants the batch could not repair, and any
    // whose figures changed again, stay in it.
    std::vector<std::string> again;
    for (const rent::TenantCheck& t : checked.listed)
        again.push_back(t.tenant);
    std::optional<rent::CheckResult> now;
    runGuarded(database_, "Check All",
               [&] { now = rent::CheckAll(*database_.CurrentDatabase, again, ledger(), platform_.locale); });
    if (!now)
        return std::nullopt;
    rent::CheckResult result = checked;
    result.listed = std::move(now->listed);
    return result;
}

#pragma once
// The tool's one window: the tenant list, the figures of the selected tenant,
// and the buttons that repair the tenant's rental periods. The handlers are
// written once, against the controls of Controls.h; a front end (Qt, Win32)
// makes the real controls and calls the handlers.

#include "batch/BatchSummary.h"
#include "batch/Journalling.h"
#include "database/Database.h"
#include "engine/Date.h"
#include "frmmain/Controls.h"
#include "frmmain/frmCheckAll.h"
#include "frmmain/frmHistory.h"
#include "general/ErrorReport.h"
#include "journal/RepairJournal.h"
#include "platform/Platform.h"
#include "rent/CheckAll.h"
#include "rent/ListFigures.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace batch {
class Batch;
}

class frmMain : public frmCheckAll::Owner, public frmHistory::Owner {
public:
    // Makes the window and its controls through frontEnd, then runs
    // Form_Load. Nothing is opened until the front end has shown the window
    // and runs Form_Activate.
    frmMain(const platform::Platform& platform, controls::FrontEnd& frontEnd);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Handlers, named as the control and event they answer.
    void Form_Load();
    void Form_Activate();
    void LoadReferenceData();
    void Combo1_Click();
    void cmdFix_Click();
    void Command1_Click();
    void cmdFixAll_Click();
    void cmdExit_Click();
    // "Check All": every tenant of the list checked against the money
    // received, writing nothing; then the list of those that disagree in a
    // window of its own (frmCheckAll). Escape or the close box stops it.
    void cmdCheckAll_Click();
    // Escape: stops "Check All" after the group of tenants in hand; the list
    // shows the tenants checked until then.
    void mnuStop_Click();
    // "History..." (and Ctrl+H): the repair history of the open database, in
    // a window of its own (frmHistory). Not during a batch or a check.
    void cmdHistory_Click();
    // The standard Undo key (Ctrl+Z): after the user confirms, puts back the
    // rental periods of the newest repair made on the open database that is
    // not yet undone, tenant by tenant where the rows are still as that repair
    // left them. Does nothing during "Fix All".
    void mnuUndo_Click();

    // Undoes action, any action of the repair journal on the open database
    // (batch::UndoAction), without asking; says what it did and shows the
    // selected tenant's figures again. Returns false, doing nothing, during a
    // batch or another undo, or without a journal or a database.
    bool UndoAction(const journal::Action& action) override;

    // The journal's kind of action of "Fix these" (one action for the batch).
    static constexpr const char* kindFixThese = journal::kindFixThese;

    // Switches the repair journal off, for the benchmark's figure without it:
    // repairs made afterwards cannot be undone.
    void disableRepairJournal();

    // The close box. Returns true (Cancel) to keep the window open: during
    // "Fix All", which then ends at the next tenant and says what it did
    // before the program ends. Otherwise the program ends.
    bool Form_QueryUnload();

    // Sets the selection index of Combo1 from code; like a user's choice it
    // runs Combo1_Click. An index past the end of the list changes nothing and
    // returns false.
    bool SetListIndex(int index);
    // Selects the tenant in Combo1, as a user's choice does (the analysis
    // runs); its text is found exactly, else without regard to case. A
    // tenant not in the list is said in a box; returns false then.
    bool SelectTenant(const std::string& tenant) override;

    // "Fix these": repairs exactly the tenants given (checked ones of a
    // check's list), each with the repair its figures call for, as "Fix All"
    // repairs each, as one action of the journal. A tenant whose figures
    // have changed since the check is checked again first and repaired with
    // the new figures, or skipped when it no longer disagrees. Then checks
    // the tenants of checked's list again and returns checked with its list
    // as it is now; nothing when no batch ran, the program is ending, or the
    // check again failed (reported).
    std::optional<rent::CheckResult> FixThese(const std::vector<rent::TenantCheck>& tenants,
                                              const rent::CheckResult& checked) override;

    // The list window of the last "Check All"; none before the first.
    frmCheckAll* checkAllForm() { return checkAll_.get(); }
    // The History window; none before it was first opened.
    frmHistory* historyForm() { return history_.get(); }
    rent::Ledger ledger() const { return {rentGroup, extraChargeCodes}; }

    Database& database() { return database_; }
    bool batchRunning() const override { return batchRunning_; }

    // The window, and its controls in creation order.
    controls::Window* Me;
    controls::Button* Command1;
    controls::Button* cmdFixAll;
    controls::Button* cmdFix;
    controls::ComboBox* Combo1;
    controls::Button* cmdExit;
    controls::Label* Label23;
    controls::Label* Label22;
    controls::Label* Label21;
    controls::Label* Label20;
    controls::Label* Label19;
    controls::Label* Label18;
    controls::Label* Label17;
    controls::Label* Label16;
    controls::Label* Label15;
    controls::Label* Label14;
    controls::Label* Label13;
    controls::Label* Label12;
    controls::Label* Label11;
    controls::Label* Label10;
    controls::Label* Label9;
    controls::Label* Label8;
    controls::Label* Label7;
    controls::Label* Label6;
    controls::Label* Label5;
    controls::Label* Label4;
    controls::Label* Label2;
    controls::Label* Label3;
    controls::Label* lblDatabase;
    controls::Label* Label1;
    controls::Button* cmdCheckAll;
    controls::Button* cmdHistory;

    // Window state for the handlers.
    std::string rentGroup;
    std::string propertyCode;
    engine::Date tenancyStart;
    std::string extraChargeCodes;

private:
    class FixAllWalk;
    class ChosenWalk;

    void createControls(controls::FrontEnd& ui);
    // An action was made or undone: the History window, when it is shown,
    // lists it.
    void historyChanged();
    // UndoAction; again names what tries the tenants that failed again.
    bool undoAction(const journal::Action& action, const char* again);
    // The open database's name as the journal keys its actions; empty when none is open.
    std::string databaseName() const;
    std::string tenantReference() const;
    // The references of the tenant drop-down, in its order.
    std::vector<std::string> listedTenants() const;
    void showMessage(const std::string& text);
    // Opens sql forward-only and read-only into a recordset of its own, so a
    // statement that fails to open never shows the rows of an earlier one.
    RecordsetRef openReadOnly(std::string sql);
    bool hasRow(RecordsetRef& rs);

    // The repair of the selected tenant, in one transaction: the extra-charge
    // rebuild first when asked, then the reallocation; then the analysis again.
    // Repaired when the repair was kept (a batch commits it later);
    // AlreadyAgreed when the rows were already as it leaves them, so nothing
    // was written.
    enum class RepairOutcome { Failed, Repaired, AlreadyAgreed };
    RepairOutcome repairSelectedTenant(bool rebuildExtraChargesFirst);
    // The batch of "Fix All" (chosen: none; the whole list from its first
    // entry, each tenant reallocated) and of "Fix these" (the chosen tenants,
    // each with its own repair). Returns false when it did not start.
    bool runBatch(const std::vector<rent::TenantCheck>* chosen);
    // Every tenant's figures of the list, where the database can give them in
    // one go (a file); see listFigures_. A connection lost meanwhile is
    // reported (the batch then stops before its first tenant).
    std::optional<rent::ListFigures> readListFigures();
    // "Fix these" of one chosen tenant: selected, checked again when its
    // figures are no longer the check's, repaired or skipped.
    enum class ChosenOutcome { Failed, Repaired, AlreadyAgreed, Skipped };
    ChosenOutcome repairChosenTenant(const rent::TenantCheck& chosen);
    // The progress of a batch or of "Check All": the window's title shows
    // caption, done of total tenants reached. (The taskbar's progress goes
    // here too, where the platform has one.)
    void showBatchProgress(const std::string& caption, int done, int total);
    // A message for the user in plain words: a box; during a batch a line in
    // the error log instead.
    void notify(const std::string& text);
    // The analysis's word on a value it cannot show: said once, not again
    // while the same tenant is analysed again (as after its repair).
    void notifyOnce(const std::string& text);

    platform::Platform platform_;
    controls::FrontEnd& frontEnd_;
    ErrorReport errorReport_;
    Database database_;
    bool batchRunning_ = false;
    // The running "Fix All" or "Fix these": its transaction, which a repair
    // opens a group of before it writes, and its summary.
    batch::Batch* running_ = nullptr;
    // During "Fix All" on a file: the figures of every tenant of the list,
    // read before the first, which each analysis and repair of the batch
    // takes while the database still holds what they were read from.
    std::optional<rent::ListFigures> listFigures_;
    // Exit or the close box during a batch: the batch ends at the next
    // tenant boundary, says what it did, then the program ends.
    std::optional<BatchSummary::End> endDuringBatch_;
    // The tenant of the last analysis and what notifyOnce has said of it.
    std::string analysedTenant_;
    std::set<std::string> told_;
    bool undoRunning_ = false;
    // Escape during "Check All".
    bool checkStopped_ = false;
    // The list window: its front end, then its form (which uses it).
    std::unique_ptr<controls::SecondWindow> checkAllWindow_;
    std::unique_ptr<frmCheckAll> checkAll_;
    // The History window, the same way.
    std::unique_ptr<controls::SecondWindow> historyWindow_;
    std::unique_ptr<frmHistory> history_;

    // The repair journal in the user's data folder.
    batch::Journalling journalling_;

    // The tenant whose rent and extra-charge income totals the captions of
    // Label6 and Label20 now show, when the last analysis computed both for
    // the tenant selected then. A repair writes only such figures.
    std::optional<std::string> incomeTotalsTenant_;
    // The database location Form_Load chose, password and all (the label
    // shows it masked).
    std::string databaseLocation_;
};

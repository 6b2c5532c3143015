#include "frmmain/frmMain.h"

#include "engine/ConnectionText.h"
#include "general/DatabaseLocation.h"

namespace {

constexpr const char* windowCaption = "Habitorium Rent Analysis";

} // namespace

frmMain::frmMain(const platform::Platform& platform, controls::FrontEnd& frontEnd)
    : platform_(platform), frontEnd_(frontEnd),
      errorReport_(platform.messages, platform.clock, platform.files, platform.locale, platform.user.stateFolder()),
      database_(platform.messages, platform.files, errorReport_),
      journalling_(platform.user.dataFolder(), platform.clock, platform.user) {
    createControls(frontEnd);
    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::createControls(controls::FrontEnd& ui) {
    using controls::TwipRect;
    // Each click or choice of the user is an action: after a lost connection
    // the next one opens the database again (Database::BeginAction).
    auto action = [this](void (frmMain::*handler)()) {
        return [this, handler] {
            database_.BeginAction();
            (this->*handler)();
        };
    };
    Me = &ui.createWindow("frmMain", windowCaption, 7515, 5760);
    Command1 =
        &ui.addButton("Command1", "Fix this value", TwipRect{5520, 3960, 1695, 375}, action(&frmMain::Command1_Click));
    cmdFixAll =
        &ui.addButton("cmdFixAll", "Fix All", TwipRect{240, 4320, 1695, 375}, action(&frmMain::cmdFixAll_Click));
    cmdFix = &ui.addButton("cmdFix", "Fix this value", TwipRect{5520, 3120, 1695, 375}, action(&frmMain::cmdFix_Click));
    Combo1 = &ui.addComboBox("Combo1", TwipRect{2160, 960, 2175, 315}, action(&frmMain::Combo1_Click));
    cmdExit = &ui.addButton("cmdExit", "Exit", TwipRect{3120, 4320, 1455, 375}, [this] { cmdExit_Click(); });
    Label23 = &ui.addLabel("Label23", "Extra Charges", TwipRect{240, 3960, 2415, 255}, false);
    Label22 = &ui.addLabel("Label22", "", TwipRect{2760, 3960, 1215, 255}, false);
    Label21 = &ui.addLabel("Label21", "", TwipRect{4200, 3960, 1215, 255}, false);
    Label20 = &ui.addLabel("Label20", "", TwipRect{4200, 2880, 1215, 255}, false);
    Label19 = &ui.addLabel("Label19", "", TwipRect{4200, 3240, 1215, 255}, false);
    Label18 = &ui.addLabel("Label18", "", TwipRect{4200, 3600, 1215, 255}, false);
    Label17 = &ui.addLabel("Label17", "Extra Charges", TwipRect{4200, 2640, 1215, 255}, false);
    Label16 = &ui.addLabel("Label16", "Rent", TwipRect{2760, 2640, 1215, 255}, false);
    Label15 = &ui.addLabel("Label15", "Total of Rental Periods Due", TwipRect{240, 3600, 2415, 255}, false);
    Label14 = &ui.addLabel("Label14", "", TwipRect{2760, 3600, 1215, 255}, false);
    Label13 = &ui.addLabel("Label13", "", TwipRect{2760, 1560, 1215, 255}, false);
    Label12 = &ui.addLabel("Label12", "Tenancy start date", TwipRect{240, 1560, 2415, 255}, false);
    Label11 = &ui.addLabel("Label11", "", TwipRect{2760, 1920, 1215, 255}, false);
    Label10 = &ui.addLabel("Label10", "", TwipRect{2760, 2280, 1215, 255}, false);
    Label9 = &ui.addLabel("Label9", "First transaction date", TwipRect{240, 1920, 2415, 255}, false);
    Label8 = &ui.addLabel("Label8", "Rental Periods start date", TwipRect{240, 2280, 2415, 255}, false);
    Label7 = &ui.addLabel("Label7", "", TwipRect{2760, 3240, 1215, 255}, false);
    Label6 = &ui.addLabel("Label6", "", TwipRect{2760, 2880, 1215, 255}, false);
    Label5 = &ui.addLabel("Label5", "Total of Rental Periods paid", TwipRect{240, 3240, 2415, 255}, false);
    Label4 = &ui.addLabel("Label4", "Total of income transactions paid", TwipRect{240, 2880, 2415, 255}, false);
    Label2 = &ui.addLabel("Label2", "", TwipRect{4440, 960, 3015, 255}, false);
    Label3 = &ui.addLabel("Label3", "Select Tenant", TwipRect{120, 960, 1935, 255}, false);
    // Two lines high, for a long path.
    lblDatabase = &ui.addLabel("lblDatabase", "", TwipRect{1800, 240, 5655, 495}, true);
    Label1 = &ui.addLabel("Label1", "Database Location", TwipRect{120, 240, 1575, 255}, false);
    // In the free place of the bottom row, under the two "Fix this value" buttons.
    cmdCheckAll =
        &ui.addButton("cmdCheckAll", "Check All", TwipRect{5520, 4320, 1695, 375}, [this] { cmdCheckAll_Click(); });
    // Under Check All, in the free strip below the bottom row: the column of
    // buttons that act on the figures, the grid above untouched.
    cmdHistory =
        &ui.addButton("cmdHistory", "History...", TwipRect{5520, 4800, 1695, 375}, [this] { cmdHistory_Click(); });
    // Keyboard order by tab index; labels take no focus.
    ui.setTabOrder({"cmdExit", "Combo1", "cmdFix", "cmdFixAll", "Command1", "cmdCheckAll", "cmdHistory"});
}

void frmMain::disableRepairJournal() {
    journalling_.disable();
}

std::string frmMain::databaseName() const {
    return database_.CurrentDatabase ? database_.CurrentDatabase->Name() : std::string();
}

void frmMain::showMessage(const std::string& text) {
    platform_.messages.showMessage(text);
}

std::string frmMain::tenantReference() const {
    return Combo1->text();
}

std::vector<std::string> frmMain::listedTenants() const {
    std::vector<std::string> tenants;
    for (int i = 0; i < Combo1->listCount(); ++i)
        tenants.push_back(Combo1->list(i));
    return tenants;
}

void frmMain::Form_Load() {
    // The label shows the location with any password masked; the open uses
    // the location as it was read.
    databaseLocation_ = ChooseDatabaseLocation(platform_.registry, platform_.files, platform_.messages);
    lblDatabase->setCaption(engine::MaskPassword(databaseLocation_));
}

bool frmMain::Form_QueryUnload() {
    if (batchRunning_) {
        // The window stays until the batch has said what it did.
        if (!endDuringBatch_)
            endDuringBatch_ = BatchSummary::End::WindowClosed;
        return true;
    }
    platform_.program.endProgram(0);
    return false;
}

void frmMain::Form_Activate() {
    std::string path = lblDatabase->caption();
    if (path == engine::MaskPassword(databaseLocation_))
        path = databaseLocation_;
    if (database_.OpenDatabaseFile(path) != -1) {
        showMessage("Unable to start habitorium database.");
        // A start that failed ends with a status that scripts can see.
        platform_.program.endProgram(1);
        return;
    }
    LoadReferenceData();
}

void frmMain::cmdExit_Click() {
    if (batchRunning_) {
        // The batch ends at the next tenant boundary and then ends the program.
        if (!endDuringBatch_)
            endDuringBatch_ = BatchSummary::End::ExitPressed;
        return;
    }
    platform_.program.endProgram(0);
}

bool frmMain::SetListIndex(int index) {
    if (index < -1 || index >= Combo1->listCount())
        return false;
    // Like a user's choice, the selection raises Combo1_Click.
    Combo1->setListIndex(index);
    return true;
}

void frmMain::cmdHistory_Click() {
    // Not while a batch or a check runs (during their pauses for the window's events).
    if (batchRunning_ || undoRunning_ || !database_.CurrentDatabase)
        return;
    if (!history_) {
        historyWindow_ = frontEnd_.openWindow();
        history_ = std::make_unique<frmHistory>(*this, *historyWindow_, journalling_, platform_.messages,
                                                frontEnd_.fileDialog(), platform_.clock, platform_.locale);
    }
    history_->Show(databaseName());
}

void frmMain::historyChanged() {
    if (history_ && history_->visible())
        history_->Refresh();
}

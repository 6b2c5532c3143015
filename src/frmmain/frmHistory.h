#pragma once
// The repair history of the open database, from the repair journal: a second
// window beside frmMain. Above the list, how far back the journal reaches;
// the list has a row an action, newest first (when, who, what, the tenants
// and periods it changed, whether and when it was undone, its note), sorted
// by a click on a heading; below it, the selected action's periods with
// their four amounts before and after, the changed ones named. "Undo this
// action" undoes the selected action, whichever it is; the note typed is kept
// with it ("Keep note", or Enter); "Save as CSV..." writes the history to a
// file; a double-click (or Enter) on a period selects its tenant in the main
// window. Written once, against the controls of Controls.h; the main window's
// front end makes the window.

#include "batch/Journalling.h"
#include "frmmain/Controls.h"
#include "frmmain/ListWindow.h"
#include "frmmain/SortedRows.h"
#include "journal/RepairJournal.h"
#include "platform/Seams.h"

#include <string>
#include <vector>

class frmHistory {
public:
    // What the history asks of the window whose database it is.
    class Owner : public listwindow::Owner {
    public:
        // Undoes action without asking, and says what it did; false when it
        // cannot now (a batch runs).
        virtual bool UndoAction(const journal::Action& action) = 0;
    };

    // Columns of the list of actions, in order.
    enum ActionColumn { actWhen, actWho, actWhat, actTenants, actPeriods, actUndone, actNote, actionColumns };
    // Columns of the list of the selected action's periods, in order.
    enum PeriodColumn {
        perTenant,
        perFrom,
        perRentDueBefore,
        perRentDueAfter,
        perPaidBefore,
        perPaidAfter,
        perExtraBefore,
        perExtraAfter,
        perExtraPaidBefore,
        perExtraPaidAfter,
        perChanged,
        periodColumns
    };

    // Builds the window's controls through ui (hidden until Show). main and
    // journalling outlive this form.
    frmHistory(Owner& main, controls::SecondWindow& ui, batch::Journalling& journalling, platform::MessageBox& messages,
               platform::FileDialog& fileDialog, platform::Clock& clock, const platform::Locale& locale);
    frmHistory(const frmHistory&) = delete;
    frmHistory& operator=(const frmHistory&) = delete;

    // Lists the journal's actions on the database named database, the newest
    // selected, and shows the window in front.
    void Show(const std::string& database);
    // Lists them again (an action was made or undone), the selection kept on
    // the same action and the note typed for it kept.
    void Refresh();
    bool visible() const { return ui_.visible(); }
    // The actions listed, newest first.
    const std::vector<journal::Action>& actions() const { return actions_; }

    // Handlers, named as the control and event they answer.
    void Form_Resize();
    void lstActions_HeadingClick(int column);
    // The selection moved: the selected action's periods and note are shown.
    void lstActions_SelChange();
    void lstPeriods_HeadingClick(int column);
    // A double-click on a period's row, or Enter on it: its tenant is
    // selected in the main window.
    void lstPeriods_DblClick(int row);
    void cmdSaveNote_Click();
    void cmdUndoAction_Click();
    void cmdSaveCsv_Click();
    void cmdClose_Click();

    // The cells of the row shown at row, as each list shows them.
    std::vector<std::string> actionRow(int row) const { return actionRows_.rowTexts(row); }
    std::vector<std::string> periodRow(int row) const { return periodRows_.rowTexts(row); }

    controls::Window* Me;
    controls::Label* lblReach;
    controls::Grid* lstActions;
    controls::Label* lblPeriods;
    controls::Grid* lstPeriods;
    controls::Label* lblNote;
    controls::TextBox* txtNote;
    controls::Button* cmdSaveNote;
    controls::Button* cmdUndoAction;
    controls::Button* cmdSaveCsv;
    controls::Button* cmdClose;

private:
    // Reads the actions and shows them, selecting the action of id (0: the newest).
    void list(long long id);
    // The action of the row selected first; none.
    const journal::Action* selected() const;
    void showPeriods();
    SortedRows::Entry actionEntry(const journal::Action& action) const;

    Owner& main_;
    controls::SecondWindow& ui_;
    batch::Journalling& journalling_;
    platform::MessageBox& messages_;
    platform::FileDialog& fileDialog_;
    platform::Clock& clock_;
    const platform::Locale& locale_;

    std::string database_;
    std::vector<journal::Action> actions_;
    SortedRows actionRows_;     // an entry an action of actions_
    SortedRows periodRows_;     // an entry a period of the selected action
    long long shownAction_ = 0; // the action whose periods and note are shown
    bool updating_ = false;     // the lists are being filled: their selection events wait
};

// Undo (Ctrl+Z): the newest repair on the open database that is not yet
// undone, put back from the repair journal (batch/Undo); and the undo of any
// action the journal holds.

#include "frmmain/frmMain.h"

#include "batch/Undo.h"
#include "journal/RepairJournal.h"

void frmMain::mnuUndo_Click() {
    // Not in the middle of a batch, nor twice at once.
    journal::RepairJournal* journal = journalling_.journal();
    if (batchRunning_ || undoRunning_ || !journal || !database_.CurrentDatabase)
        return;
    // A user's action: after a lost connection it opens the database again.
    database_.BeginAction();
    std::optional<journal::Action> last;
    try {
        last = journal->LastUndoable(database_.CurrentDatabase->Name());
    } catch (const journal::JournalError& error) {
        showMessage("The repair journal cannot be read in the folder \"" + journal->folder() + "\" (" + error.what() +
                    "). Nothing was changed.");
        return;
    }
    if (!last) {
        showMessage("There is no repair to undo on this database.");
        return;
    }
    undoRunning_ = true;
    const bool confirmed = platform_.messages.confirm(batch::UndoQuestion(*last, platform_.locale));
    undoRunning_ = false;
    if (confirmed)
        undoAction(*last, "Ctrl+Z");
}

bool frmMain::UndoAction(const journal::Action& action) {
    return undoAction(action, "Undo this action");
}

bool frmMain::undoAction(const journal::Action& action, const char* again) {
    if (batchRunning_ || undoRunning_ || !journalling_.journal() || !database_.CurrentDatabase)
        return false;
    undoRunning_ = true;
    const batch::UndoResult result = batch::UndoAction(database_, journalling_, action, platform_.locale, again);
    for (const std::string& text : result.messages)
        showMessage(text);
    undoRunning_ = false;
    if (result.started) {
        Combo1_Click();
        historyChanged();
    }
    return true;
}

#include "frmmain/frmHistory.h"

#include "frmmain/ListWindow.h"

#include "batch/ActionText.h"
#include "batch/HistoryCsv.h"
#include "batch/Undo.h"
#include "engine/Date.h"
#include "general/TextForm.h"

#include <algorithm>
#include <utility>

namespace {

constexpr const char* windowCaption = "History - Habitorium Rent Analysis";

// Twips.
using namespace listwindow;
constexpr int boxHeight = 315;
constexpr int noteLabelWidth = 600;
constexpr int minimumWidth = 8400;
constexpr int minimumHeight = 5400;

struct ColumnLayout {
    const char* heading;
    int width;
    SortedRows::Sort sort;
    bool right;
};

using Sort = SortedRows::Sort;

// In the order of frmHistory::ActionColumn.
constexpr ColumnLayout actionLayouts[frmHistory::actionColumns] = {
    {"When", 1500, Sort::Number, false},  {"Who", 1100, Sort::Text, false},     {"What", 3400, Sort::Text, false},
    {"Tenants", 900, Sort::Number, true}, {"Periods", 900, Sort::Number, true}, {"Undone", 1500, Sort::Number, false},
    {"Note", 4200, Sort::Text, false},
};

// In the order of frmHistory::PeriodColumn.
constexpr ColumnLayout periodLayouts[frmHistory::periodColumns] = {
    {"Tenant", 1200, Sort::Text, false},
    {"Period from", 1200, Sort::Number, false},
    {"Rent due before", 1300, Sort::Number, true},
    {"Rent due after", 1300, Sort::Number, true},
    {"Paid before", 1300, Sort::Number, true},
    {"Paid after", 1300, Sort::Number, true},
    {"Extra charges before", 1300, Sort::Number, true},
    {"Extra charges after", 1300, Sort::Number, true},
    {"Extra charges paid before", 1300, Sort::Number, true},
    {"Extra charges paid after", 1300, Sort::Number, true},
    {"Changed", 3000, Sort::Text, false},
};

template <std::size_t n> std::vector<Sort> sorts(const ColumnLayout (&layouts)[n]) {
    std::vector<Sort> out;
    for (const ColumnLayout& layout : layouts)
        out.push_back(layout.sort);
    return out;
}

template <std::size_t n> std::vector<controls::Grid::Column> columns(const ColumnLayout (&layouts)[n]) {
    std::vector<controls::Grid::Column> out;
    for (const ColumnLayout& layout : layouts)
        out.push_back({layout.heading, layout.width, layout.right});
    return out;
}

double serial(const platform::LocalTime& time) {
    return engine::Date::fromParts(time).serial();
}

std::optional<double> number(const engine::Variant& value) {
    if (value.isNumeric())
        return value.toDouble();
    return std::nullopt;
}

} // namespace

frmHistory::frmHistory(Owner& main, controls::SecondWindow& ui, batch::Journalling& journalling,
                       platform::MessageBox& messages, platform::FileDialog& fileDialog, platform::Clock& clock,
                       const platform::Locale& locale)
    : main_(main), ui_(ui), journalling_(journalling), messages_(messages), fileDialog_(fileDialog), clock_(clock),
      locale_(locale), actionRows_(sorts(actionLayouts)), periodRows_(sorts(periodLayouts)) {
    using controls::TwipRect;
    const int width = 14400;
    Me = &ui.createWindow(
        "frmHistory", windowCaption, {width, 8400}, {minimumWidth, minimumHeight}, [this] { Form_Resize(); }, [] {});
    lblReach = &ui.addLabel("lblReach", "", TwipRect{margin, margin, width - 2 * margin, labelHeight});
    controls::Grid::Events actionEvents;
    actionEvents.headingClick = [this](int column) { lstActions_HeadingClick(column); };
    actionEvents.selectionChanged = [this] { lstActions_SelChange(); };
    lstActions = &ui.addGrid("lstActions", TwipRect{margin, 495, width - 2 * margin, 2800}, std::move(actionEvents));
    lblPeriods = &ui.addLabel("lblPeriods", "", TwipRect{margin, 3415, width - 2 * margin, labelHeight});
    controls::Grid::Events periodEvents;
    periodEvents.headingClick = [this](int column) { lstPeriods_HeadingClick(column); };
    periodEvents.activate = [this](int row) { lstPeriods_DblClick(row); };
    lstPeriods = &ui.addGrid("lstPeriods", TwipRect{margin, 3790, width - 2 * margin, 2800}, std::move(periodEvents));
    lblNote = &ui.addLabel("lblNote", "Note:", TwipRect{margin, 7200, noteLabelWidth, labelHeight});
    txtNote = &ui.addTextBox("txtNote", "Note", TwipRect{margin + noteLabelWidth, 7170, 6000, boxHeight},
                             [this] { cmdSaveNote_Click(); });
    cmdSaveNote = &ui.addButton("cmdSaveNote", "Keep note", TwipRect{7000, 7140, buttonWidth, buttonHeight},
                                [this] { cmdSaveNote_Click(); });
    cmdUndoAction = &ui.addButton("cmdUndoAction", "Undo this action",
                                  TwipRect{margin, 7905, buttonWidth, buttonHeight}, [this] { cmdUndoAction_Click(); });
    cmdSaveCsv = &ui.addButton("cmdSaveCsv", "Save as CSV...",
                               TwipRect{margin + buttonWidth + gap, 7905, buttonWidth, buttonHeight},
                               [this] { cmdSaveCsv_Click(); });
    cmdClose = &ui.addButton("cmdClose", "Close", TwipRect{width - margin - closeWidth, 7905, closeWidth, buttonHeight},
                             [this] { cmdClose_Click(); });
    ui.setTabOrder({"lstActions", "lstPeriods", "txtNote", "cmdSaveNote", "cmdUndoAction", "cmdSaveCsv", "cmdClose"});
    lstActions->setColumns(columns(actionLayouts));
    lstPeriods->setColumns(columns(periodLayouts));
    Form_Resize();
}

void frmHistory::Form_Resize() {
    using controls::TwipRect;
    const controls::SecondWindow::Size size = ui_.clientSize();
    const int width = std::max(size.width, minimumWidth);
    const int height = std::max(size.height, minimumHeight);
    const int buttonsTop = height - margin - buttonHeight;
    const int noteTop = buttonsTop - gap - buttonHeight;
    const int listTop = margin + labelHeight + gap;
    // The two lists share what is left, the actions above their periods.
    const int lists = noteTop - gap - listTop - labelHeight - 2 * gap;
    const int actionsHeight = lists / 2;
    const int periodsLabelTop = listTop + actionsHeight + gap;
    const int periodsTop = periodsLabelTop + labelHeight + gap;
    const int noteWidth = width - 2 * margin - noteLabelWidth - gap - buttonWidth;
    ui_.place("lblReach", TwipRect{margin, margin, width - 2 * margin, labelHeight});
    ui_.place("lstActions", TwipRect{margin, listTop, width - 2 * margin, actionsHeight});
    ui_.place("lblPeriods", TwipRect{margin, periodsLabelTop, width - 2 * margin, labelHeight});
    ui_.place("lstPeriods", TwipRect{margin, periodsTop, width - 2 * margin, noteTop - gap - periodsTop});
    ui_.place("lblNote", TwipRect{margin, noteTop + (buttonHeight - labelHeight) / 2, noteLabelWidth, labelHeight});
    ui_.place("txtNote",
              TwipRect{margin + noteLabelWidth, noteTop + (buttonHeight - boxHeight) / 2, noteWidth, boxHeight});
    ui_.place("cmdSaveNote", TwipRect{width - margin - buttonWidth, noteTop, buttonWidth, buttonHeight});
    ui_.place("cmdUndoAction", TwipRect{margin, buttonsTop, buttonWidth, buttonHeight});
    ui_.place("cmdSaveCsv", TwipRect{margin + buttonWidth + gap, buttonsTop, buttonWidth, buttonHeight});
    ui_.place("cmdClose", TwipRect{width - margin - closeWidth, buttonsTop, closeWidth, buttonHeight});
}

void frmHistory::Show(const std::string& database) {
    database_ = database;
    shownAction_ = 0;
    list(0);
    ui_.show();
}

void frmHistory::Refresh() {
    const journal::Action* action = selected();
    list(action ? action->id : 0);
}

SortedRows::Entry frmHistory::actionEntry(const journal::Action& action) const {
    SortedRows::Entry entry;
    entry.texts.resize(actionColumns);
    entry.numbers.resize(actionColumns);
    entry.texts[actWhen] = ShortDateTime(action.madeAt, locale_);
    entry.numbers[actWhen] = serial(action.madeAt);
    entry.texts[actWho] = action.login;
    std::string what = batch::KindName(action.kind);
    if (action.kind == journal::kindUndo) {
        const auto undone = std::find_if(actions_.begin(), actions_.end(),
                                         [&](const journal::Action& a) { return a.id == action.undoes; });
        what += " of " + (undone != actions_.end() ? batch::DescribeAction(*undone, locale_)
                                                   : std::string("an action no longer kept"));
    } else if (!action.tenant.empty()) {
        what += " of " + action.tenant;
    }
    entry.texts[actWhat] = what;
    entry.texts[actTenants] = std::to_string(action.tenants);
    entry.numbers[actTenants] = action.tenants;
    entry.texts[actPeriods] = std::to_string(action.periods);
    entry.numbers[actPeriods] = action.periods;
    if (action.undoneBy != 0) {
        entry.texts[actUndone] = action.undoneAt ? ShortDateTime(*action.undoneAt, locale_) : std::string("yes");
        entry.numbers[actUndone] = action.undoneAt ? serial(*action.undoneAt) : 0.0;
    }
    entry.texts[actNote] = action.note;
    return entry;
}

void frmHistory::list(long long id) {
    journal::RepairJournal* journal = journalling_.journal();
    std::string problem;
    actions_.clear();
    try {
        if (journal)
            actions_ = journal->Actions(database_);
    } catch (const journal::JournalError& error) {
        problem =
            "The repair journal cannot be read in the folder \"" + journal->folder() + "\" (" + error.what() + ").";
    }
    if (!problem.empty())
        lblReach->setCaption(problem);
    else if (!journal)
        lblReach->setCaption("The repair journal is switched off.");
    else if (actions_.empty())
        lblReach->setCaption("The repair journal holds no action on this database.");
    else
        lblReach->setCaption(
            "The repair journal reaches back to " + ShortDateTime(actions_.back().madeAt, locale_) + ": " +
            GroupedCount(static_cast<long long>(actions_.size())) + (actions_.size() == 1 ? " action" : " actions") +
            " on this database. It keeps the last " + std::to_string(journal::RepairJournal::keptActions) +
            " actions (fewer when they would take more than " +
            std::to_string(journal::RepairJournal::keptBytes / (1024 * 1024)) + " MB); older ones are no longer kept.");
    std::vector<SortedRows::Entry> entries;
    std::vector<std::size_t> selected;
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        entries.push_back(actionEntry(actions_[i]));
        if (actions_[i].id == id)
            selected.push_back(i);
    }
    updating_ = true;
    actionRows_.assign(std::move(entries));
    actionRows_.show(*lstActions, selected);
    updating_ = false;
    cmdSaveCsv->setEnabled(!actions_.empty());
    lstActions_SelChange();
}

const journal::Action* frmHistory::selected() const {
    const std::vector<std::size_t> entries = actionRows_.selectedEntries(*lstActions);
    return entries.empty() || entries.front() >= actions_.size() ? nullptr : &actions_[entries.front()];
}

void frmHistory::lstActions_HeadingClick(int column) {
    const std::vector<std::size_t> chosen = actionRows_.selectedEntries(*lstActions);
    updating_ = true;
    actionRows_.sortBy(column);
    actionRows_.show(*lstActions, chosen);
    updating_ = false;
}

void frmHistory::lstActions_SelChange() {
    if (updating_)
        return;
    const journal::Action* action = selected();
    const long long id = action ? action->id : 0;
    // The note typed for the action shown stays while it is shown.
    if (id != shownAction_)
        txtNote->setText(action ? action->note : std::string());
    shownAction_ = id;
    txtNote->setEnabled(action != nullptr);
    cmdSaveNote->setEnabled(action != nullptr);
    cmdUndoAction->setEnabled(action && action->undoneBy == 0 && action->tenants > 0);
    showPeriods();
}

void frmHistory::showPeriods() {
    const journal::Action* action = selected();
    journal::RepairJournal* journal = journalling_.journal();
    std::vector<SortedRows::Entry> entries;
    std::string caption;
    if (action && journal) {
        caption = "The periods " + batch::DescribeAction(*action, locale_) + " changed, before and after it:";
        try {
            for (long long id : journal->TenantEntries(action->id)) {
                const journal::TenantEntry tenant = journal->Entry(id);
                for (std::size_t i = 0; i < tenant.before.size() && i < tenant.after.size(); ++i) {
                    const journal::PeriodRow& b = tenant.before[i];
                    const journal::PeriodRow& a = tenant.after[i];
                    SortedRows::Entry entry;
                    entry.texts = {tenant.tenant, ShownDate(b.periodFrom, locale_)};
                    entry.numbers = {std::nullopt, SortedRows::DateKey(b.periodFrom)};
                    std::string changed;
                    const struct {
                        const engine::Variant& before;
                        const engine::Variant& after;
                        const char* name;
                    } amounts[] = {{b.rentDue, a.rentDue, "rent due"},
                                   {b.paid, a.paid, "paid"},
                                   {b.extraCharges, a.extraCharges, "extra charges"},
                                   {b.extraChargesPaid, a.extraChargesPaid, "extra charges paid"}};
                    for (const auto& amount : amounts) {
                        entry.texts.push_back(ShownAmount(amount.before, locale_));
                        entry.texts.push_back(ShownAmount(amount.after, locale_));
                        entry.numbers.push_back(number(amount.before));
                        entry.numbers.push_back(number(amount.after));
                        if (!journal::SameValue(amount.before, amount.after))
                            changed += (changed.empty() ? "" : ", ") + std::string(amount.name);
                    }
                    entry.texts.push_back(changed.empty() ? std::string("nothing") : changed);
                    entry.numbers.push_back(std::nullopt);
                    entries.push_back(std::move(entry));
                }
            }
        } catch (const journal::JournalError& error) {
            caption =
                "The periods of the action cannot be read from the repair journal (" + std::string(error.what()) + ").";
        }
    }
    lblPeriods->setCaption(caption);
    periodRows_.assign(std::move(entries));
    periodRows_.show(*lstPeriods, {});
}

void frmHistory::lstPeriods_HeadingClick(int column) {
    const std::vector<std::size_t> chosen = periodRows_.selectedEntries(*lstPeriods);
    periodRows_.sortBy(column);
    periodRows_.show(*lstPeriods, chosen);
}

void frmHistory::lstPeriods_DblClick(int row) {
    const std::vector<std::string> texts = periodRow(row);
    if (!texts.empty())
        main_.SelectTenant(texts[perTenant]);
}

void frmHistory::cmdSaveNote_Click() {
    const journal::Action* action = selected();
    journal::RepairJournal* journal = journalling_.journal();
    // Not while a batch holds the journal's transaction open.
    if (!action || !journal || main_.batchRunning())
        return;
    try {
        journal->SetNote(action->id, txtNote->text());
    } catch (const journal::JournalError& error) {
        messages_.showMessage("The note could not be kept: the repair journal cannot be written in the folder \"" +
                              journal->folder() + "\" (" + error.what() + ").");
        return;
    }
    shownAction_ = 0; // the note as kept
    Refresh();
}

void frmHistory::cmdUndoAction_Click() {
    const journal::Action* chosen = selected();
    if (!chosen || main_.batchRunning())
        return;
    const journal::Action action = *chosen;
    if (action.undoneBy != 0) {
        messages_.showMessage("This action has been undone already. To repair its tenants again, undo the undo.");
        return;
    }
    if (!messages_.confirm(batch::UndoQuestion(action, locale_)))
        return;
    // The main window lists the history again once the undo has been made.
    main_.UndoAction(action);
}

void frmHistory::cmdSaveCsv_Click() {
    journal::RepairJournal* journal = journalling_.journal();
    if (!journal)
        return;
    // Oldest first, as --history writes it.
    listwindow::SaveAsCsv(fileDialog_, messages_, clock_, "repair-history", "The history", [&](std::ostream& out) {
        batch::WriteHistoryCsv(out, *journal, batch::ActionsSince(actions_, std::nullopt));
    });
}

void frmHistory::cmdClose_Click() {
    ui_.hide();
}

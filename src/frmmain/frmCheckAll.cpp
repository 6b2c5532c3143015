#include "frmmain/frmCheckAll.h"

#include "frmmain/ListWindow.h"

#include "engine/EngineError.h"
#include "engine/NumberText.h"
#include "general/TextForm.h"
#include "rent/CheckCsv.h"

#include <algorithm>
#include <utility>

namespace {

constexpr const char* windowCaption = "Check All - Habitorium Rent Analysis";

using namespace listwindow;
constexpr int summaryHeight = labelHeight;

// An amount shows as money in the user's locale; a number as it is.
enum class Kind { Text, Amount, Number, Date };

struct ColumnLayout {
    const char* heading;
    int width;
    Kind kind;
};

// In the order of frmCheckAll::Column.
constexpr ColumnLayout columnLayouts[frmCheckAll::columnCount] = {
    {"Tenant", 1200, Kind::Text},
    {"Name", 2200, Kind::Text},
    {"Rent received", 1300, Kind::Amount},
    {"Rent paid", 1300, Kind::Amount},
    {"Extra charges received", 1300, Kind::Amount},
    {"Extra charges paid", 1300, Kind::Amount},
    {"Period charges", 1300, Kind::Amount},
    {"Periods' extra charges", 1300, Kind::Amount},
    {"Due now", 1300, Kind::Amount},
    {"Due after repair", 1300, Kind::Amount},
    {"Periods changed", 1100, Kind::Number},
    {"First unpaid now", 1300, Kind::Date},
    {"First unpaid after", 1300, Kind::Date},
    {"Problem", 4500, Kind::Text},
};

// A cell's text on one line of the clipboard: tabs and line ends would split it.
std::string oneCell(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return text;
}

// How each column sorts, in the order of frmCheckAll::Column.
std::vector<SortedRows::Sort> columnSorts() {
    std::vector<SortedRows::Sort> sorts;
    for (const ColumnLayout& layout : columnLayouts)
        sorts.push_back(layout.kind == Kind::Text ? SortedRows::Sort::Text : SortedRows::Sort::Number);
    return sorts;
}

} // namespace

frmCheckAll::frmCheckAll(Owner& main, controls::SecondWindow& ui, platform::MessageBox& messages,
                         platform::FileDialog& fileDialog, platform::Clipboard& clipboard, platform::Clock& clock,
                         const platform::Locale& locale)
    : main_(main), ui_(ui), messages_(messages), fileDialog_(fileDialog), clipboard_(clipboard), clock_(clock),
      locale_(locale), rows_(columnSorts()) {
    using controls::TwipRect;
    Me = &ui.createWindow(
        "frmCheckAll", windowCaption, {14400, 6600}, {7200, 3600}, [this] { Form_Resize(); }, [] {});
    lblSummary = &ui.addLabel("lblSummary", "", TwipRect{margin, margin, 14400 - 2 * margin, summaryHeight});
    controls::Grid::Events events;
    events.headingClick = [this](int column) { lstTenants_HeadingClick(column); };
    events.activate = [this](int row) { lstTenants_DblClick(row); };
    events.copy = [this] { lstTenants_Copy(); };
    lstTenants = &ui.addGrid("lstTenants", TwipRect{margin, 480, 14400 - 2 * margin, 5000}, std::move(events));
    cmdFixThese = &ui.addButton("cmdFixThese", "Fix these", TwipRect{margin, 6105, buttonWidth, buttonHeight},
                                [this] { cmdFixThese_Click(); });
    cmdSaveCsv = &ui.addButton("cmdSaveCsv", "Save as CSV...",
                               TwipRect{margin + buttonWidth + gap, 6105, buttonWidth, buttonHeight},
                               [this] { cmdSaveCsv_Click(); });
    cmdClose = &ui.addButton("cmdClose", "Close", TwipRect{14400 - margin - closeWidth, 6105, closeWidth, buttonHeight},
                             [this] { cmdClose_Click(); });
    ui.setTabOrder({"lstTenants", "cmdFixThese", "cmdSaveCsv", "cmdClose"});

    std::vector<controls::Grid::Column> columns;
    for (const ColumnLayout& layout : columnLayouts)
        columns.push_back({layout.heading, layout.width, layout.kind == Kind::Amount || layout.kind == Kind::Number});
    lstTenants->setColumns(columns);
    Form_Resize();
}

void frmCheckAll::Form_Resize() {
    using controls::TwipRect;
    const controls::SecondWindow::Size size = ui_.clientSize();
    const int width = std::max(size.width, 7200);
    const int height = std::max(size.height, 3600);
    const int buttonsTop = height - margin - buttonHeight;
    const int listTop = margin + summaryHeight + gap;
    ui_.place("lblSummary", TwipRect{margin, margin, width - 2 * margin, summaryHeight});
    ui_.place("lstTenants", TwipRect{margin, listTop, width - 2 * margin, buttonsTop - gap - listTop});
    ui_.place("cmdFixThese", TwipRect{margin, buttonsTop, buttonWidth, buttonHeight});
    ui_.place("cmdSaveCsv", TwipRect{margin + buttonWidth + gap, buttonsTop, buttonWidth, buttonHeight});
    ui_.place("cmdClose", TwipRect{width - margin - closeWidth, buttonsTop, closeWidth, buttonHeight});
}

std::vector<std::string> frmCheckAll::cells(const rent::TenantCheck& t) const {
    std::vector<std::string> row(columnCount);
    row[colTenant] = t.tenant;
    row[colName] = t.name;
    row[colRentReceived] = t.rentReceived;
    row[colRentPaid] = t.rentPaid;
    row[colExtraReceived] = t.extraReceived;
    row[colExtraPaid] = t.extraPaid;
    row[colCharges] = t.charges;
    row[colChargesInPeriods] = t.chargesInPeriods;
    row[colDueNow] = t.dueNow;
    row[colDueAfter] = t.dueAfter;
    row[colPeriodsChanged] = t.checked() ? std::to_string(t.periodsChanged) : std::string();
    row[colFirstUnpaidNow] = ShownDate(t.firstUnpaidNow, locale_);
    row[colFirstUnpaidAfter] = ShownDate(t.firstUnpaidAfter, locale_);
    row[colProblem] = t.problem;
    return row;
}

int frmCheckAll::repairable() const {
    return result_.disagreeing();
}

void frmCheckAll::Show(rent::CheckResult result) {
    result_ = std::move(result);
    std::vector<SortedRows::Entry> entries;
    for (const rent::TenantCheck& t : result_.listed) {
        SortedRows::Entry entry;
        entry.texts = cells(t);
        entry.numbers.resize(columnCount);
        // The amounts as money; the file and the sorting keep their plain form.
        for (std::size_t c = 0; c < columnCount; ++c) {
            std::string& text = entry.texts[c];
            if ((columnLayouts[c].kind == Kind::Amount || columnLayouts[c].kind == Kind::Number) && !text.empty())
                entry.numbers[c] = engine::LeadingNumber(text);
            if (columnLayouts[c].kind == Kind::Amount)
                text = ShownAmount(engine::Variant(text), locale_);
        }
        entry.numbers[colFirstUnpaidNow] = SortedRows::DateKey(t.firstUnpaidNow);
        entry.numbers[colFirstUnpaidAfter] = SortedRows::DateKey(t.firstUnpaidAfter);
        entries.push_back(std::move(entry));
    }
    rows_.assign(std::move(entries));
    lblSummary->setCaption(result_.summary());
    cmdFixThese->setEnabled(repairable() > 0);
    cmdSaveCsv->setEnabled(true);
    rows_.show(*lstTenants, {});
    ui_.show();
}

std::vector<std::string> frmCheckAll::rowTexts(int row) const {
    return rows_.rowTexts(row);
}

void frmCheckAll::lstTenants_HeadingClick(int column) {
    const std::vector<std::size_t> selected = rows_.selectedEntries(*lstTenants);
    rows_.sortBy(column);
    rows_.show(*lstTenants, selected);
}

void frmCheckAll::lstTenants_DblClick(int row) {
    const std::vector<std::string> texts = rowTexts(row);
    if (texts.empty())
        return;
    main_.SelectTenant(texts[colTenant]);
}

void frmCheckAll::lstTenants_Copy() {
    std::string text;
    for (int row : lstTenants->selectedRows()) {
        const std::vector<std::string> texts = rowTexts(row);
        if (texts.empty())
            continue;
        for (std::size_t i = 0; i < texts.size(); ++i)
            text += (i ? "\t" : "") + oneCell(texts[i]);
        text += "\n";
    }
    if (!text.empty())
        clipboard_.setText(text);
}

void frmCheckAll::cmdFixThese_Click() {
    if (main_.batchRunning())
        return;
    const int tenants = repairable();
    if (tenants == 0) {
        messages_.showMessage("No tenant in the list can be repaired: none of them could be checked.");
        return;
    }
    const int periods = result_.periodsChanged();
    std::string question = "Fix these: repair " + GroupedCount(tenants) +
                           (tenants == 1 ? " tenant, changing " : " tenants, changing ") + GroupedCount(periods) +
                           (periods == 1 ? " rental period?" : " rental periods?");
    const int notChecked = result_.notChecked();
    if (notChecked > 0)
        question += notChecked == 1 ? " The tenant that could not be checked is left as it is."
                                    : " The " + GroupedCount(notChecked) +
                                          " tenants that could not be checked are left as they are.";
    question += " Ctrl+Z in the main window undoes it afterwards.";
    if (!messages_.confirm(question))
        return;
    std::vector<rent::TenantCheck> chosen;
    for (const rent::TenantCheck& t : result_.listed)
        if (t.checked())
            chosen.push_back(t);
    if (std::optional<rent::CheckResult> after = main_.FixThese(chosen, result_))
        Show(std::move(*after));
}

void frmCheckAll::cmdSaveCsv_Click() {
    listwindow::SaveAsCsv(fileDialog_, messages_, clock_, "check-all", "The list",
                          [this](std::ostream& out) { rent::WriteCheckCsv(out, result_); });
}

void frmCheckAll::cmdClose_Click() {
    ui_.hide();
}

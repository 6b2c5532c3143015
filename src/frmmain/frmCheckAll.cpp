#include "frmmain/frmCheckAll.h"

#include "engine/EngineError.h"
#include "engine/NumberText.h"
#include "general/TextForm.h"
#include "rent/CheckCsv.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numeric>
#include <utility>

namespace {

constexpr const char* windowCaption = "Check All - Habitorium Rent Analysis";

// Twips.
constexpr int margin = 120;
constexpr int gap = 120;
constexpr int summaryHeight = 255;
constexpr int buttonHeight = 375;
constexpr int buttonWidth = 1695;
constexpr int closeWidth = 1455;

enum class Kind { Text, Number, Date };

struct ColumnLayout {
    const char* heading;
    int width;
    Kind kind;
};

// In the order of frmCheckAll::Column.
constexpr ColumnLayout columnLayouts[frmCheckAll::columnCount] = {
    {"Tenant", 1200, Kind::Text},
    {"Name", 2200, Kind::Text},
    {"Rent received", 1300, Kind::Number},
    {"Rent paid", 1300, Kind::Number},
    {"Extra charges received", 1300, Kind::Number},
    {"Extra charges paid", 1300, Kind::Number},
    {"Period charges", 1300, Kind::Number},
    {"Periods' extra charges", 1300, Kind::Number},
    {"Due now", 1300, Kind::Number},
    {"Due after repair", 1300, Kind::Number},
    {"Periods changed", 1100, Kind::Number},
    {"First unpaid now", 1300, Kind::Date},
    {"First unpaid after", 1300, Kind::Date},
    {"Problem", 4500, Kind::Text},
};

std::string dateText(const engine::Variant& value, const platform::Locale& locale) {
    if (value.isNull() || value.isEmpty())
        return {};
    try {
        return ShortDate(value.toDate(), locale);
    } catch (const engine::EngineError&) {
        return TextForm(value, locale);
    }
}

// A cell's text on one line of the clipboard: tabs and line ends would split it.
std::string oneCell(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return text;
}

std::string folded(const std::string& text) {
    std::string f = text;
    for (char& c : f)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return f;
}

// -1, 0 or 1 as a sorts before, with or after b; an empty cell before any value.
int compareCells(Kind kind, const std::string& a, const std::string& b, const engine::Variant* dateA,
                 const engine::Variant* dateB) {
    if (a.empty() || b.empty())
        return a.empty() == b.empty() ? 0 : a.empty() ? -1 : 1;
    double x = 0;
    double y = 0;
    switch (kind) {
    case Kind::Text: {
        const int c = folded(a).compare(folded(b));
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    case Kind::Number:
        x = engine::LeadingNumber(a);
        y = engine::LeadingNumber(b);
        break;
    case Kind::Date:
        x = dateA->toDate().serial();
        y = dateB->toDate().serial();
        break;
    }
    return x < y ? -1 : x > y ? 1 : 0;
}

} // namespace

frmCheckAll::frmCheckAll(Owner& main, controls::SecondWindow& ui, platform::MessageBox& messages,
                         platform::FileDialog& fileDialog, platform::Clipboard& clipboard, platform::Clock& clock,
                         const platform::Locale& locale)
    : main_(main), ui_(ui), messages_(messages), fileDialog_(fileDialog), clipboard_(clipboard), clock_(clock),
      locale_(locale) {
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
        columns.push_back({layout.heading, layout.width, layout.kind == Kind::Number});
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
    row[colFirstUnpaidNow] = dateText(t.firstUnpaidNow, locale_);
    row[colFirstUnpaidAfter] = dateText(t.firstUnpaidAfter, locale_);
    row[colProblem] = t.problem;
    return row;
}

int frmCheckAll::repairable() const {
    return result_.disagreeing();
}

void frmCheckAll::Show(rent::CheckResult result) {
    result_ = std::move(result);
    texts_.clear();
    for (const rent::TenantCheck& t : result_.listed)
        texts_.push_back(cells(t));
    order_.resize(result_.listed.size());
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    sortColumn_ = -1;
    sortAscending_ = true;
    lblSummary->setCaption(result_.summary());
    cmdFixThese->setEnabled(repairable() > 0);
    cmdSaveCsv->setEnabled(true);
    showRows({});
    ui_.show();
}

void frmCheckAll::showRows(const std::vector<std::size_t>& selected) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(order_.size());
    for (std::size_t entry : order_)
        rows.push_back(texts_[entry]);
    lstTenants->setRows(rows);
    lstTenants->setSortIndicator(sortColumn_, sortAscending_);
    std::vector<int> shown;
    for (std::size_t i = 0; i < order_.size(); ++i)
        if (std::find(selected.begin(), selected.end(), order_[i]) != selected.end())
            shown.push_back(static_cast<int>(i));
    if (shown.empty() && !order_.empty())
        shown.push_back(0); // a current row, so the keyboard works at once
    lstTenants->setSelectedRows(shown);
}

std::vector<std::size_t> frmCheckAll::selectedEntries() const {
    std::vector<std::size_t> entries;
    for (int row : lstTenants->selectedRows())
        if (row >= 0 && static_cast<std::size_t>(row) < order_.size())
            entries.push_back(order_[static_cast<std::size_t>(row)]);
    return entries;
}

std::vector<std::string> frmCheckAll::rowTexts(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= order_.size())
        return {};
    return texts_[order_[static_cast<std::size_t>(row)]];
}

void frmCheckAll::lstTenants_HeadingClick(int column) {
    if (column < 0 || column >= columnCount)
        return;
    // The same heading again turns the order round.
    sortAscending_ = column == sortColumn_ ? !sortAscending_ : true;
    sortColumn_ = column;
    const std::vector<std::size_t> selected = selectedEntries();
    const Kind kind = columnLayouts[column].kind;
    const auto date = [&](std::size_t entry) -> const engine::Variant* {
        const rent::TenantCheck& t = result_.listed[entry];
        return column == colFirstUnpaidNow ? &t.firstUnpaidNow : &t.firstUnpaidAfter;
    };
    // Equal cells keep the order of the tenant list.
    std::sort(order_.begin(), order_.end());
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
        const int c =
            compareCells(kind, texts_[a][static_cast<std::size_t>(column)], texts_[b][static_cast<std::size_t>(column)],
                         kind == Kind::Date ? date(a) : nullptr, kind == Kind::Date ? date(b) : nullptr);
        return sortAscending_ ? c < 0 : c > 0;
    });
    showRows(selected);
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
    const platform::LocalTime today = clock_.now();
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", today.year, today.month, today.day);
    const std::string path =
        fileDialog_.saveFileName("Save as CSV", std::string("check-all-") + date + ".csv", "CSV files", "csv");
    if (path.empty())
        return;
    std::ofstream out(platform::nativePath(path), std::ios::binary | std::ios::trunc);
    if (!out) {
        messages_.showMessage("The list could not be saved: " + path + " cannot be opened for writing (" +
                              std::strerror(errno) + ").");
        return;
    }
    rent::WriteCheckCsv(out, result_);
    out.close();
    if (!out)
        messages_.showMessage("The list could not be saved completely to " + path +
                              " (the disk may be full). The file is not complete.");
}

void frmCheckAll::cmdClose_Click() {
    ui_.hide();
}

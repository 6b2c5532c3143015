#include "frmmain/SortedRows.h"

#include "engine/EngineError.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace {

std::string folded(const std::string& text) {
    std::string f = text;
    for (char& c : f)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return f;
}

} // namespace

SortedRows::SortedRows(std::vector<Sort> columns) : columns_(std::move(columns)) {}

std::optional<double> SortedRows::DateKey(const engine::Variant& value) {
    if (value.isNull() || value.isEmpty())
        return std::nullopt;
    try {
        return value.toDate().serial();
    } catch (const engine::EngineError&) {
        return std::nullopt;
    }
}

void SortedRows::assign(std::vector<Entry> entries) {
    entries_ = std::move(entries);
    order_.resize(entries_.size());
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    sortColumn_ = -1;
    ascending_ = true;
}

void SortedRows::sortBy(int column) {
    if (column < 0 || static_cast<std::size_t>(column) >= columns_.size())
        return;
    ascending_ = column == sortColumn_ ? !ascending_ : true;
    sortColumn_ = column;
    const std::size_t c = static_cast<std::size_t>(column);
    // -1, 0 or 1 as entry a sorts before, with or after b; an empty cell first.
    const auto compare = [&](std::size_t a, std::size_t b) {
        if (columns_[c] == Sort::Text) {
            const std::string x = folded(entries_[a].texts.at(c));
            const std::string y = folded(entries_[b].texts.at(c));
            if (x.empty() || y.empty())
                return x.empty() == y.empty() ? 0 : x.empty() ? -1 : 1;
            return x < y ? -1 : x > y ? 1 : 0;
        }
        const std::optional<double>& x = entries_[a].numbers.at(c);
        const std::optional<double>& y = entries_[b].numbers.at(c);
        if (!x || !y)
            return !x == !y ? 0 : !x ? -1 : 1;
        return *x < *y ? -1 : *x > *y ? 1 : 0;
    };
    // Equal cells keep the entries' own order.
    std::sort(order_.begin(), order_.end());
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
        const int order = compare(a, b);
        return ascending_ ? order < 0 : order > 0;
    });
}

void SortedRows::show(controls::Grid& grid, const std::vector<std::size_t>& selected) const {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(order_.size());
    for (std::size_t entry : order_)
        rows.push_back(entries_[entry].texts);
    grid.setRows(rows);
    grid.setSortIndicator(sortColumn_, ascending_);
    std::vector<int> shown;
    for (std::size_t i = 0; i < order_.size(); ++i)
        if (std::find(selected.begin(), selected.end(), order_[i]) != selected.end())
            shown.push_back(static_cast<int>(i));
    if (shown.empty() && !order_.empty())
        shown.push_back(0);
    grid.setSelectedRows(shown);
}

std::vector<std::size_t> SortedRows::selectedEntries(const controls::Grid& grid) const {
    std::vector<std::size_t> entries;
    for (int row : grid.selectedRows())
        if (const std::optional<std::size_t> entry = entryAt(row))
            entries.push_back(*entry);
    return entries;
}

std::optional<std::size_t> SortedRows::entryAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= order_.size())
        return std::nullopt;
    return order_[static_cast<std::size_t>(row)];
}

std::vector<std::string> SortedRows::rowTexts(int row) const {
    const std::optional<std::size_t> entry = entryAt(row);
    return entry ? entries_[*entry].texts : std::vector<std::string>();
}

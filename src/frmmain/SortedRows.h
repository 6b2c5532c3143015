#pragma once
// The rows of a list that the user sorts by a click on a heading, as the list
// windows keep them: each entry's cells as the list shows them and the key
// each column sorts by. The rows go to the grid in the order chosen, the
// selection kept on the same entries.

#include "engine/Variant.h"
#include "frmmain/Controls.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class SortedRows {
public:
    // How a column sorts: by its text without regard to case, or by a number
    // (an amount, a count, a date's serial).
    enum class Sort { Text, Number };
    struct Entry {
        std::vector<std::string> texts;             // a cell a column, as shown
        std::vector<std::optional<double>> numbers; // a Number column's key; none: an empty cell
    };

    explicit SortedRows(std::vector<Sort> columns);

    // The key a date sorts by: its serial; none for Null, Empty or a value
    // that is no date (sorted with the empty cells).
    static std::optional<double> DateKey(const engine::Variant& value);

    // Replaces the entries, shown in their own order, unsorted.
    void assign(std::vector<Entry> entries);
    // Sorts by column (the same column again: the other way round): equal
    // keys in the entries' own order, an empty cell before any value.
    void sortBy(int column);
    // Hands the rows to grid in the order shown, with the sort mark, and
    // selects the rows of the entries selected; when none of them is shown,
    // the first row, so the keyboard works at once.
    void show(controls::Grid& grid, const std::vector<std::size_t>& selected) const;
    // The entries of the rows selected in grid, in the order shown.
    std::vector<std::size_t> selectedEntries(const controls::Grid& grid) const;
    // The entry shown at row; none for a row that is not there.
    std::optional<std::size_t> entryAt(int row) const;
    // The cells of the row shown at row; empty for a row that is not there.
    std::vector<std::string> rowTexts(int row) const;
    std::size_t size() const { return entries_.size(); }

private:
    std::vector<Sort> columns_;
    std::vector<Entry> entries_;
    std::vector<std::size_t> order_; // the entries in the order shown
    int sortColumn_ = -1;
    bool ascending_ = true;
};

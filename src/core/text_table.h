#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumarest {

// A table of text rows in named columns: the entry tables, the hidden work tables, the file
// list and the details list. Numbers are written as decimal text and parsed back on read.
class TextTable {
  public:
    TextTable() = default;
    explicit TextTable(std::vector<std::string> columnNames);

    const std::vector<std::string>& ColumnNames() const { return columns_; }
    std::size_t ColumnCount() const { return columns_.size(); }
    // Index of the named column, or ColumnCount() when there is none.
    std::size_t ColumnIndex(std::string_view name) const;
    // Replaces the columns and empties the table.
    void SetColumns(std::vector<std::string> columnNames);

    std::size_t RowCount() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }

    // Inserts a row of empty cells at `row` (clamped to the end) and returns its index.
    std::size_t InsertRow(std::size_t row);
    std::size_t AppendRow() { return InsertRow(rows_.size()); }
    // Appends a row with the given cells; missing cells stay empty, extra ones are dropped.
    std::size_t AppendRow(std::vector<std::string> cells);
    void DeleteRow(std::size_t row);
    void Clear() { rows_.clear(); }

    // Reading outside the table gives an empty text; writing outside it does nothing.
    std::string Cell(std::size_t row, std::size_t column) const {
        return std::string(CellView(row, column));
    }
    // The cell without a copy; valid until the row is changed, moved or deleted.
    std::string_view CellView(std::size_t row, std::size_t column) const;
    void SetCell(std::size_t row, std::size_t column, std::string_view text);
    std::vector<std::string> Row(std::size_t row) const;

    std::int64_t CellNumber(std::size_t row, std::size_t column) const;
    std::uint32_t CellU32(std::size_t row, std::size_t column) const;
    // Sector numbers: a disk's sectors run past 32 bits.
    std::uint64_t CellU64(std::size_t row, std::size_t column) const;
    void SetCellNumber(std::size_t row, std::size_t column, std::int64_t value);

    // Ascending sort by one column with the list's cell comparison and a middle-pivot
    // quicksort; rows with equal keys end in no particular order.
    void SortByColumn(std::size_t column);

  private:
    std::vector<std::string> columns_;
    // Each row's cells in one text, each cell after its length (see PackRow): the tables hold
    // a row per folder or file found, millions on a large or hostile disk.
    std::vector<std::string> rows_;
};

// The list's cell comparison: hexadecimal values, then numbers (with an optional "%"), then
// dates and times, then plain text. Negative, zero or positive like strcmp.
int CompareCells(std::string_view a, std::string_view b);

}  // namespace lumarest

// Fuzzes the list sort and the text numbers every table cell goes through.
//
// Input: byte 0 picks the column count (1 to 4), byte 1 the sort column (one past the last is
// allowed: nothing happens), the rest is split at '\n' into cells, filled row by row.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_number.h"
#include "core/text_table.h"

using lumarest::CompareCells;
using lumarest::IsTextNumber;
using lumarest::NumberText;
using lumarest::ParseTextNumber;
using lumarest::ParseTextU32;

namespace {

constexpr std::size_t kMaxColumns = 4;
constexpr std::size_t kMaxDigitsWithoutOverflow = 18;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

std::vector<std::string> SplitCells(std::string_view text) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        cells.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return cells;
}

bool IsHexText(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

bool IsDigitText(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digit strings read back as their value, and the value writes back as the digits without
// leading zeros.
void CheckNumber(std::string_view cell) {
    const std::int64_t value = ParseTextNumber(cell);
    const std::uint32_t low = ParseTextU32(cell);
    Check(low == static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
    if (!IsDigitText(cell) || cell.size() > kMaxDigitsWithoutOverflow) {
        return;
    }
    Check(IsTextNumber(cell));
    Check(value >= 0);
    const std::size_t firstNonZero = cell.find_first_not_of('0');
    const std::string_view expected =
        firstNonZero == std::string_view::npos ? std::string_view("0") : cell.substr(firstNonZero);
    Check(NumberText(value) == expected);
    Check(ParseTextNumber(NumberText(value)) == value);
}

void CheckComparison(std::string_view a, std::string_view b) {
    Check(CompareCells(a, a) == 0);
    Check(Sign(CompareCells(a, b)) == -Sign(CompareCells(b, a)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t columnCount = 1 + data[0] % kMaxColumns;
    const std::size_t sortColumn = data[1] % (columnCount + 1);
    const std::vector<std::string> cells =
        SplitCells(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));

    std::vector<std::string> names;
    for (std::size_t c = 0; c < columnCount; ++c) {
        names.push_back("c" + std::to_string(c));
    }
    lumarest::TextTable table(names);
    std::vector<std::vector<std::string>> rows;
    for (std::size_t first = 0; first < cells.size(); first += columnCount) {
        const std::size_t last = std::min(first + columnCount, cells.size());
        std::vector<std::string> row(cells.begin() + static_cast<std::ptrdiff_t>(first),
                                     cells.begin() + static_cast<std::ptrdiff_t>(last));
        row.resize(columnCount);
        rows.push_back(row);
        table.AppendRow(row);
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
        CheckNumber(cells[i]);
        CheckComparison(cells[i], cells[(i + 1) % cells.size()]);
    }

    table.SortByColumn(sortColumn);

    // The sort only moves rows: the same rows come out, whatever the comparison made of them.
    Check(table.RowCount() == rows.size());
    std::vector<std::vector<std::string>> sorted;
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        sorted.push_back(table.Row(r));
    }
    if (sortColumn == columnCount) {
        Check(sorted == rows);
        return 0;
    }
    // With only hexadecimal keys the comparison is a total order, so the result must be sorted.
    const bool allHex = std::all_of(rows.begin(), rows.end(), [sortColumn](const auto& row) {
        return IsHexText(row[sortColumn]);
    });
    if (allHex) {
        for (std::size_t r = 1; r < sorted.size(); ++r) {
            Check(CompareCells(sorted[r - 1][sortColumn], sorted[r][sortColumn]) <= 0);
        }
    }
    std::sort(rows.begin(), rows.end());
    std::sort(sorted.begin(), sorted.end());
    Check(sorted == rows);
    return 0;
}

#include "core/text_table.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <tuple>
#include <utility>

#include "core/text_number.h"

namespace lumarest {

namespace {

constexpr unsigned kLengthBits = 7;
constexpr unsigned char kMoreLength = 0x80;

void AppendCell(std::string& packed, std::string_view cell) {
    std::size_t length = cell.size();
    while (length >= kMoreLength) {
        packed += static_cast<char>((length & (kMoreLength - 1)) | kMoreLength);
        length >>= kLengthBits;
    }
    packed += static_cast<char>(length);
    packed.append(cell);
}

// Where cell `column` of a packed row begins (its length first) and ends; the row's end when
// the row has fewer cells.
struct CellSpan {
    std::size_t start = 0;
    std::size_t textStart = 0;
    std::size_t end = 0;
};

CellSpan FindCell(std::string_view packed, std::size_t column) {
    CellSpan span;
    for (std::size_t c = 0; span.end < packed.size(); ++c) {
        span.start = span.end;
        std::size_t at = span.start;
        std::size_t length = 0;
        for (unsigned shift = 0; at < packed.size(); shift += kLengthBits) {
            const auto byte = static_cast<unsigned char>(packed[at++]);
            length |= std::size_t{byte & (kMoreLength - 1U)} << shift;
            if ((byte & kMoreLength) == 0) {
                break;
            }
        }
        span.textStart = at;
        span.end = std::min(packed.size(), at + length);
        if (c == column) {
            return span;
        }
    }
    return {packed.size(), packed.size(), packed.size()};
}

std::string_view CellOf(std::string_view packed, std::size_t column) {
    const CellSpan span = FindCell(packed, column);
    return packed.substr(span.textStart, span.end - span.textStart);
}

template <typename Cells>
std::string PackRow(const Cells& cells, std::size_t count) {
    std::size_t bytes = count;
    for (std::size_t c = 0; c < count && c < cells.size(); ++c) {
        bytes += cells[c].size() + 1;
    }
    std::string packed;
    packed.reserve(bytes);
    for (std::size_t c = 0; c < count; ++c) {
        AppendCell(packed, c < cells.size() ? std::string_view(cells[c]) : std::string_view());
    }
    return packed;
}

std::optional<std::uint32_t> ReadHexCell(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        // Too large for 32 bits reads as the largest value, and stays there.
        value =
            std::min<std::uint64_t>(value * 16 + static_cast<std::uint64_t>(digit), 0xFFFFFFFFull);
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<double> ReadNumberCell(std::string_view text) {
    if (!text.empty() && text.back() == '%') {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t maxDigits, int& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < text.size() && pos - start < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    return pos > start;
}

int MonthFromName(std::string_view name) {
    static constexpr std::string_view kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (name.size() != 3) {
        return 0;
    }
    for (int m = 0; m < 12; ++m) {
        bool same = true;
        for (std::size_t i = 0; i < 3; ++i) {
            const char upper =
                (name[i] >= 'a' && name[i] <= 'z') ? static_cast<char>(name[i] - 32) : name[i];
            same = same && upper == kMonths[m][i];
        }
        if (same) {
            return m + 1;
        }
    }
    return 0;
}

// Dates as the lists write them ("5-MAR-2009", "05-Mar-2009", "2009-03-05"), times as
// "H:M" or "H:M:S", or a date followed by a blank and a time. Returns a sortable key.
std::optional<std::int64_t> ReadDateTimeCell(std::string_view text) {
    std::size_t pos = 0;
    std::int64_t dateKey = 0;
    bool haveDate = false;
    int a = 0;
    const std::size_t start = pos;
    if (ReadDigits(text, pos, 4, a) && pos < text.size() && text[pos] == '-') {
        ++pos;
        if (pos - start == 5) {  // year first
            int month = 0;
            int day = 0;
            if (!ReadDigits(text, pos, 2, month) || pos >= text.size() || text[pos] != '-') {
                return std::nullopt;
            }
            ++pos;
            if (!ReadDigits(text, pos, 2, day)) {
                return std::nullopt;
            }
            if (month < 1 || month > 12 || day < 1 || day > 31) {
                return std::nullopt;
            }
            dateKey = (static_cast<std::int64_t>(a) * 12 + month) * 32 + day;
        } else {
            const std::size_t nameStart = pos;
            while (pos < text.size() && text[pos] != '-') {
                ++pos;
            }
            const int month = MonthFromName(text.substr(nameStart, pos - nameStart));
            if (month == 0 || pos >= text.size()) {
                return std::nullopt;
            }
            ++pos;
            int year = 0;
            if (!ReadDigits(text, pos, 4, year) || a < 1 || a > 31) {
                return std::nullopt;
            }
            dateKey = (static_cast<std::int64_t>(year) * 12 + month) * 32 + a;
        }
        haveDate = true;
        if (pos == text.size()) {
            return dateKey * 86400;
        }
        if (text[pos] != ' ') {
            return std::nullopt;
        }
        ++pos;
    } else {
        pos = start;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!ReadDigits(text, pos, 2, hour) || pos >= text.size() || text[pos] != ':') {
        return std::nullopt;
    }
    ++pos;
    if (!ReadDigits(text, pos, 2, minute)) {
        return std::nullopt;
    }
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!ReadDigits(text, pos, 2, second)) {
            return std::nullopt;
        }
    }
    if (pos != text.size() || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const std::int64_t timeKey = hour * 3600 + minute * 60 + second;
    return haveDate ? dateKey * 86400 + timeKey : timeKey;
}

template <typename T>
int ThreeWay(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int CompareCells(std::string_view a, std::string_view b) {
    if (const auto ha = ReadHexCell(a), hb = ReadHexCell(b); ha && hb) {
        return ThreeWay(*ha, *hb);
    }
    if (const auto na = ReadNumberCell(a), nb = ReadNumberCell(b); na && nb) {
        return ThreeWay(*na, *nb);
    }
    if (const auto da = ReadDateTimeCell(a), db = ReadDateTimeCell(b); da && db) {
        return ThreeWay(*da, *db);
    }
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

TextTable::TextTable(std::vector<std::string> columnNames) : columns_(std::move(columnNames)) {}

std::size_t TextTable::ColumnIndex(std::string_view name) const {
    const auto it = std::find(columns_.begin(), columns_.end(), name);
    return static_cast<std::size_t>(it - columns_.begin());
}

void TextTable::SetColumns(std::vector<std::string> columnNames) {
    columns_ = std::move(columnNames);
    rows_.clear();
}

std::size_t TextTable::InsertRow(std::size_t row) {
    row = std::min(row, rows_.size());
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(row),
                 PackRow(std::vector<std::string>(), columns_.size()));
    return row;
}

std::size_t TextTable::AppendRow(std::vector<std::string> cells) {
    rows_.push_back(PackRow(cells, columns_.size()));
    return rows_.size() - 1;
}

void TextTable::DeleteRow(std::size_t row) {
    if (row < rows_.size()) {
        rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
    }
}

std::string_view TextTable::CellView(std::size_t row, std::size_t column) const {
    if (row >= rows_.size() || column >= columns_.size()) {
        return {};
    }
    return CellOf(rows_[row], column);
}

void TextTable::SetCell(std::size_t row, std::size_t column, std::string_view text) {
    if (row >= rows_.size() || column >= columns_.size()) {
        return;
    }
    std::string& packed = rows_[row];
    const CellSpan span = FindCell(packed, column);
    std::string cell;
    AppendCell(cell, text);
    packed.replace(span.start, span.end - span.start, cell);
}

std::vector<std::string> TextTable::Row(std::size_t row) const {
    const std::string& packed = rows_.at(row);
    std::vector<std::string> cells;
    cells.reserve(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        cells.emplace_back(CellOf(packed, c));
    }
    return cells;
}

std::int64_t TextTable::CellNumber(std::size_t row, std::size_t column) const {
    return ParseTextNumber(CellView(row, column));
}

std::uint32_t TextTable::CellU32(std::size_t row, std::size_t column) const {
    return ParseTextU32(CellView(row, column));
}

std::uint64_t TextTable::CellU64(std::size_t row, std::size_t column) const {
    return static_cast<std::uint64_t>(ParseTextNumber(CellView(row, column)));
}

void TextTable::SetCellNumber(std::size_t row, std::size_t column, std::int64_t value) {
    SetCell(row, column, NumberText(value));
}

void TextTable::SortByColumn(std::size_t column) {
    if (column >= columns_.size() || rows_.size() < 2) {
        return;
    }
    // Keys are compared through the rows; the comparison need not be a strict order (mixed
    // kinds of cells), so both scans are bounded by the range.
    auto less = [column](const std::string& row, const std::string& pivot) {
        return CompareCells(CellOf(row, column), pivot) < 0;
    };
    auto greater = [column](const std::string& row, const std::string& pivot) {
        return CompareCells(CellOf(row, column), pivot) > 0;
    };
    std::ptrdiff_t lo = 0;
    std::ptrdiff_t hi = static_cast<std::ptrdiff_t>(rows_.size()) - 1;
    std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> pending;
    pending.emplace_back(lo, hi);
    while (!pending.empty()) {
        std::tie(lo, hi) = pending.back();
        pending.pop_back();
        if (lo >= hi) {
            continue;
        }
        const std::string pivot(CellOf(rows_[static_cast<std::size_t>((lo + hi) / 2)], column));
        std::ptrdiff_t left = lo;
        std::ptrdiff_t right = hi;
        while (left <= right) {
            while (left < hi && less(rows_[static_cast<std::size_t>(left)], pivot)) {
                ++left;
            }
            while (right > lo && greater(rows_[static_cast<std::size_t>(right)], pivot)) {
                --right;
            }
            if (left <= right) {
                std::swap(rows_[static_cast<std::size_t>(left)],
                          rows_[static_cast<std::size_t>(right)]);
                ++left;
                --right;
            }
        }
        // Ranges are independent: keeping an explicit stack bounds the depth on any input.
        if (lo < right) {
            pending.emplace_back(lo, right);
        }
        if (left < hi) {
            pending.emplace_back(left, hi);
        }
    }
}

}  // namespace lumarest

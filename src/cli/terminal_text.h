#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lumarest {

// `text` as the text listings print it: control characters (C0, DEL, C1) and bytes that are not
// UTF-8 become "\xNN" with the byte's two hex digits, so a name read from a damaged disk can
// neither steer the terminal nor start a row of its own. A backslash stays as it is: the
// listings use it between folder names, and no name on these file systems can hold one, so
// "\x" in a name is always an escape.
std::string TerminalText(std::string_view text);

// Whether TerminalText leaves `text` as it is without looking further: printable ASCII only.
inline bool IsPlainTerminalText(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            return false;
        }
    }
    return true;
}

// The widths of a listing's padded columns: each the width asked for, widened where a cell (as
// TerminalText shows it) needs room for itself and a space, so no value pushes its row out of
// line. `rows` hold the padded cells only.
std::vector<std::size_t> ColumnWidths(std::vector<std::size_t> widths,
                                      const std::vector<std::vector<std::string>>& rows);

// `text` as TerminalText shows it, padded with spaces to `width`; at least one space follows.
std::string PaddedCell(const std::string& text, std::size_t width);

}  // namespace lumarest

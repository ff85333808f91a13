#include "cli/terminal_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace lumarest {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::uint8_t kDelete = 0x7F;
constexpr std::uint8_t kFirstPrintable = 0x20;
// U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F in UTF-8.
constexpr std::uint8_t kC1Lead = 0xC2;
constexpr std::uint8_t kC1LastTrail = 0x9F;
// Spaces a widened column keeps after its widest cell.
constexpr std::size_t kColumnGap = 2;

void AppendEscaped(std::string& out, std::uint8_t byte) {
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

bool IsContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `at`, 0 when there is none: overlong forms,
// surrogates and values past U+10FFFF are not UTF-8 either.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(i))) {
            return 0;
        }
    }
    const std::uint8_t second = byte(1);
    const bool overlongOrOutOfRange =
        (lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F);
    return overlongOrOutOfRange ? 0 : length;
}

}  // namespace

std::string TerminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<std::uint8_t>(text[at]);
        if (lead < 0x80) {
            if (lead < kFirstPrintable || lead == kDelete) {
                AppendEscaped(out, lead);
            } else {
                out += static_cast<char>(lead);
            }
            ++at;
            continue;
        }
        const std::size_t length = SequenceLength(text, at);
        if (length == 0) {
            AppendEscaped(out, lead);
            ++at;
            continue;
        }
        const auto second = static_cast<std::uint8_t>(text[at + 1]);
        if (lead == kC1Lead && second <= kC1LastTrail) {
            AppendEscaped(out, lead);
            AppendEscaped(out, second);
        } else {
            out.append(text.substr(at, length));
        }
        at += length;
    }
    return out;
}

std::vector<std::size_t> ColumnWidths(std::vector<std::size_t> widths,
                                      const std::vector<std::vector<std::string>>& rows) {
    for (const std::vector<std::string>& row : rows) {
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
            widths[c] = std::max(widths[c], TerminalText(row[c]).size() + kColumnGap);
        }
    }
    return widths;
}

std::string PaddedCell(const std::string& text, std::size_t width) {
    const std::string shown = TerminalText(text);
    return shown + std::string(width - std::min(width - 1, shown.size()), ' ');
}

}  // namespace lumarest

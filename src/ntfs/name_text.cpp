#include "ntfs/name_text.h"

#include <algorithm>
#include <cstdint>

namespace lumarest {

namespace {

constexpr std::size_t kUnitBytes = 2;
constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kSupplementaryBase = 0x10000;

bool IsHighSurrogate(char32_t unit) {
    return unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= kLowSurrogateFirst && unit < kSurrogateEnd;
}

void AppendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string Utf16LeToUtf8(ByteSpan units, std::size_t unitCount) {
    const std::size_t count = std::min(unitCount, units.size() / kUnitBytes);
    std::string text;
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t unit = *LoadLe16(units, i * kUnitBytes);
        if (IsHighSurrogate(unit) && i + 1 < count) {
            const char32_t next = *LoadLe16(units, (i + 1) * kUnitBytes);
            if (IsLowSurrogate(next)) {
                AppendUtf8(text, kSupplementaryBase + ((unit - kHighSurrogateFirst) << 10) +
                                     (next - kLowSurrogateFirst));
                ++i;
                continue;
            }
        }
        AppendUtf8(text, IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacement : unit);
    }
    return text;
}

}  // namespace lumarest

#include "core/text_number.h"

#include <limits>

namespace lumarest {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::int64_t ParseTextNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as unsigned so the magnitude of INT64_MIN still fits.
    constexpr std::uint64_t kMaxMagnitude = std::uint64_t{1} << 63;
    std::uint64_t magnitude = 0;
    bool saturated = false;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > (kMaxMagnitude - digit) / 10) {
            saturated = true;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (negative) {
        if (saturated || magnitude >= kMaxMagnitude) {
            return std::numeric_limits<std::int64_t>::min();
        }
        return -static_cast<std::int64_t>(magnitude);
    }
    if (saturated || magnitude >= kMaxMagnitude) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return static_cast<std::int64_t>(magnitude);
}

std::uint32_t ParseTextU32(std::string_view text) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ParseTextNumber(text)));
}

bool IsTextNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    const std::size_t firstDigit = i;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    return i > firstDigit && i == text.size();
}

std::string NumberText(std::int64_t value) {
    return std::to_string(value);
}
std::string NumberText(std::uint64_t value) {
    return std::to_string(value);
}

}  // namespace lumarest

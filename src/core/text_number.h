#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumarest {

// Every number in the tables and the file list is held as decimal text and parsed back on
// read. Parsing takes optional leading blanks, an optional sign and the leading digits; text
// without digits reads as 0, and values beyond 64 bits saturate.
std::int64_t ParseTextNumber(std::string_view text);

// The 32-bit reading of a text number: its low 32 bits, so "4294967295" reads as 0xFFFFFFFF.
std::uint32_t ParseTextU32(std::string_view text);

// True when the whole text (after optional blanks) is an optional sign and at least one digit.
bool IsTextNumber(std::string_view text);

std::string NumberText(std::int64_t value);
std::string NumberText(std::uint64_t value);
inline std::string NumberText(std::int32_t value) {
    return NumberText(static_cast<std::int64_t>(value));
}
inline std::string NumberText(std::uint32_t value) {
    return NumberText(static_cast<std::uint64_t>(value));
}

}  // namespace lumarest

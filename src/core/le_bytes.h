#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace lumarest {

using ByteSpan = std::span<const std::uint8_t>;

// The one way on-disk numbers are read: little-endian, bounds-checked. A read that would
// leave the buffer yields no value instead of touching memory past its end.
template <typename T>
std::optional<T> LoadLe(ByteSpan bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) {
        return std::nullopt;
    }
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value |= static_cast<T>(static_cast<T>(bytes[offset + i]) << (8 * i));
    }
    return value;
}

inline std::optional<std::uint8_t> LoadLe8(ByteSpan bytes, std::size_t offset) {
    return LoadLe<std::uint8_t>(bytes, offset);
}
inline std::optional<std::uint16_t> LoadLe16(ByteSpan bytes, std::size_t offset) {
    return LoadLe<std::uint16_t>(bytes, offset);
}
inline std::optional<std::uint32_t> LoadLe32(ByteSpan bytes, std::size_t offset) {
    return LoadLe<std::uint32_t>(bytes, offset);
}
inline std::optional<std::uint64_t> LoadLe64(ByteSpan bytes, std::size_t offset) {
    return LoadLe<std::uint64_t>(bytes, offset);
}

// The big-endian twin of LoadLe, for formats that store their numbers most significant first.
template <typename T>
std::optional<T> LoadBe(ByteSpan bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) {
        return std::nullopt;
    }
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value = static_cast<T>(static_cast<T>(value << 8) | bytes[offset + i]);
    }
    return value;
}

inline std::optional<std::uint16_t> LoadBe16(ByteSpan bytes, std::size_t offset) {
    return LoadBe<std::uint16_t>(bytes, offset);
}
inline std::optional<std::uint32_t> LoadBe32(ByteSpan bytes, std::size_t offset) {
    return LoadBe<std::uint32_t>(bytes, offset);
}
inline std::optional<std::uint64_t> LoadBe64(ByteSpan bytes, std::size_t offset) {
    return LoadBe<std::uint64_t>(bytes, offset);
}

// Sub-span [offset, offset + length) or an empty span when it does not fit.
inline ByteSpan SliceOrEmpty(ByteSpan bytes, std::size_t offset, std::size_t length) {
    if (offset > bytes.size() || bytes.size() - offset < length) {
        return {};
    }
    return bytes.subspan(offset, length);
}

// The bytes at `offset` spell `text`; false when they do not fit.
inline bool SpellsAt(ByteSpan bytes, std::size_t offset, std::string_view text) {
    const ByteSpan at = SliceOrEmpty(bytes, offset, text.size());
    return !at.empty() &&
           std::equal(text.begin(), text.end(), at.begin(),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

}  // namespace lumarest

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/le_bytes.h"

namespace lumarest {

inline constexpr std::uint32_t kAttrStandardInformation = 0x10;
inline constexpr std::uint32_t kAttrAttributeList = 0x20;
inline constexpr std::uint32_t kAttrFileName = 0x30;
inline constexpr std::uint32_t kAttrData = 0x80;
inline constexpr std::uint32_t kAttrIndexRoot = 0x90;
inline constexpr std::uint32_t kAttrIndexAllocation = 0xA0;
inline constexpr std::uint32_t kAttrEndMarker = 0xFFFFFFFF;

// A record of 4096 bytes holds fewer attributes than this; the walk still counts.
inline constexpr std::size_t kMaxAttributesPerRecord = 256;

// Attribute flags (u16 at 12).
inline constexpr std::uint16_t kAttrFlagCompressed = 0x0001;
inline constexpr std::uint16_t kAttrFlagEncrypted = 0x4000;

// One attribute of a fixed-up record. Every span lies inside the record: a content or run
// list that would leave it is empty and marked out of bounds.
struct Attribute {
    std::uint32_t type = 0;
    std::size_t offset = 0;  // in the record
    std::uint32_t length = 0;
    bool nonResident = false;
    std::uint8_t nameLength = 0;
    std::uint16_t flags = 0;
    ByteSpan bytes;  // the whole attribute
    ByteSpan name;   // UTF-16 units of the attribute's name
    // Resident attributes.
    ByteSpan content;
    bool contentInBounds = false;
    // Non-resident attributes.
    std::uint64_t firstVcn = 0;
    std::uint64_t realSize = 0;
    std::uint64_t initializedSize = 0;  // bytes past it read as zeros
    ByteSpan runs;                      // from the data-run offset to the attribute's end
    bool runsInBounds = false;

    bool Unnamed() const { return nameLength == 0; }
};

// Calls `visit` for each attribute from the record's first-attribute offset, in order, until
// it returns false. The walk ends at type 0 or 0xFFFFFFFF, at a length of 0 or one too short
// for an attribute header, at an attribute that would run past the record, and after
// kMaxAttributesPerRecord attributes. Returns the number of attributes visited.
std::size_t WalkAttributes(ByteSpan record, const std::function<bool(const Attribute&)>& visit);

// The first unnamed attribute of `type`.
std::optional<Attribute> FindUnnamedAttribute(ByteSpan record, std::uint32_t type);

// When the file's data was last written, as its resident $STANDARD_INFORMATION keeps it (100 ns
// units since 1601); nothing when the record has none or it is too short.
std::optional<std::uint64_t> StandardModifiedTime(ByteSpan record);

}  // namespace lumarest

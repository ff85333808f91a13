#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/le_bytes.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest {

class SectorSource;

// A list longer than this is not read: real ones stay far below it.
inline constexpr std::uint64_t kMaxAttributeListBytes = 256 * 1024;
inline constexpr std::size_t kMaxAttributeListEntries = 16384;

struct AttributeListEntry {
    std::uint32_t type = 0;
    std::uint16_t length = 0;
    std::uint8_t nameLength = 0;
    std::uint64_t firstVcn = 0;
    std::uint32_t recordNumber = 0;  // low half of the reference of the record holding it
};

// Calls `visit` for each entry of an attribute list's bytes until it returns false. Ends at
// type 0 or 0xFFFFFFFF, at a length of 0 or one too short for an entry, at an entry running
// past the list, and after kMaxAttributeListEntries entries.
std::size_t WalkAttributeList(ByteSpan list,
                              const std::function<bool(const AttributeListEntry&)>& visit);

// The bytes of a fixed-up record's $ATTRIBUTE_LIST: its content when resident, read along
// its runs (up to its real size) when not. Nothing when the record has no list or a
// non-resident one cannot be read whole.
std::optional<std::vector<std::uint8_t>> ReadAttributeList(SectorSource& source,
                                                           const NtfsLayout& layout,
                                                           ByteSpan record);

}  // namespace lumarest

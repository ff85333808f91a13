#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/le_bytes.h"
#include "ntfs/file_name.h"

namespace lumarest {

// Blocks claiming more are not read: real ones hold 4 KiB.
inline constexpr std::size_t kMaxIndexBlockBytes = 65536;
inline constexpr std::size_t kMaxIndexEntries = 4096;
// Set in the file-name flags of an entry that names a directory.
inline constexpr std::uint32_t kFileNameDirectoryFlag = 0x10000000;

struct IndexBlockHeader {
    std::uint32_t vcn = 0;               // low half of the block's virtual cluster number
    std::uint32_t firstEntryOffset = 0;  // counted from byte 24
    std::uint32_t entriesUsed = 0;       // counted from byte 24: what lies past it is slack
    std::uint32_t entriesAllocated = 0;  // the block's size is this + 24

    std::uint64_t BlockBytes() const { return std::uint64_t{entriesAllocated} + 24; }
};

// The header of a block that starts with "INDX"; nothing for anything else.
std::optional<IndexBlockHeader> ParseIndexBlockHeader(ByteSpan block);

struct IndexEntry {
    std::size_t offset = 0;           // in the block
    std::uint32_t fileReference = 0;  // low half of the named record's number
    std::uint16_t sequence = 0;       // the named record's sequence number when it was indexed
    std::uint16_t length = 0;
    FileNameInfo fileName;
    std::uint32_t fileFlags = 0;
    std::uint64_t fileSize = 0;  // as the index last saw it
    // Slack only: the entry's header was written over and its key alone is left, so the record
    // it named is unknown (fileReference and sequence 0); offset and length are the key's.
    bool headerLost = false;

    bool NamesDirectory() const { return (fileFlags & kFileNameDirectoryFlag) != 0; }
};

// Calls `visit` for each entry holding a file name in a fixed-up index block, from its first
// entry, until it returns false. Ends at an entry length too short for an entry header, at
// an entry running past the block or its allocated size, and after kMaxIndexEntries entries.
// Entries past the last live one are walked too: deleted names stay there.
std::size_t WalkIndexEntries(ByteSpan block, const std::function<bool(const IndexEntry&)>& visit);

// The folder whose index a block belongs to: its record number and sequence number.
struct IndexOwner {
    std::uint32_t record = 0;
    std::uint16_t sequence = 0;
};

// Calls `visit` for each entry of `owner` left in the slack of a fixed-up index block, past its
// used size: names that were removed from the index, often torn by what was written over them.
// An entry counts only when it is whole and plausible: its length a multiple of 8 holding its
// header and key within the block, its key a file name whose length fills the key, and its
// parent `owner`. Where the entries that moved up write over one's header, its key is still
// taken when it is a file name of `owner` that ends within the block. After each entry or key
// the walk goes on at its end; where neither is found, 8 bytes on.
std::size_t WalkIndexSlack(ByteSpan block, IndexOwner owner,
                           const std::function<void(const IndexEntry&)>& visit);

}  // namespace lumarest

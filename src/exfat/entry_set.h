#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/le_bytes.h"

namespace lumarest {

inline constexpr std::size_t kExFatEntrySize = 32;
inline constexpr std::uint16_t kExFatDirectoryAttribute = 0x10;

// One file's entry set, live or deleted.
struct ExFatEntrySet {
    std::string name;  // UTF-8
    std::uint16_t attributes = 0;
    bool folder = false;   // directory attribute
    bool deleted = false;  // in-use bits cleared (0x05 / 0x40 / 0x41)
    std::uint32_t firstCluster = 0;
    bool contiguous = false;  // the clusters follow each other; the FAT does not chain them
    std::uint64_t dataLength = 0;
    std::uint64_t validDataLength = 0;
    std::optional<std::int64_t> modified;  // seconds since 1970 UTC
    std::optional<std::int64_t> created;
    std::uint64_t entrySector = 0;  // absolute engine sector holding its File entry
    std::uint32_t entryOffset = 0;  // byte offset of the File entry in that sector
    bool checksumGood = false;
};

// Maps a byte offset in a directory's bytes to the absolute engine sector holding it.
using EntrySectorOf = std::function<std::uint64_t(std::size_t byteOffset)>;

// The 16-bit checksum of an entry set as it was made while the set was in use: every byte of its
// entries but the checksum field itself, type bytes with their in-use bit set. Deleting a set
// clears only those bits, so a deleted set still matches its checksum.
std::uint16_t EntrySetChecksum(ByteSpan set);

// Entry sets of a directory's bytes (all its clusters, in order), live and deleted, in order,
// up to the entry that ends the directory. A set cut short by the bytes' end or by a foreign
// entry is given as far as it goes once its stream entry is there; its checksum fails.
std::vector<ExFatEntrySet> ParseExFatEntrySets(ByteSpan bytes, const EntrySectorOf& sectorOf);

}  // namespace lumarest

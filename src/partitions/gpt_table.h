#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/le_bytes.h"

namespace lumarest {

class SectorSource;

// The header fields the entry walk needs, LBAs in the disk's own logical sectors.
struct GptHeader {
    std::uint64_t myLba = 0;
    std::uint64_t entriesLba = 0;
    std::uint32_t entryCount = 0;
    std::uint32_t entrySize = 0;
    std::uint32_t entriesCrc = 0;
};

// One used entry: its first and last LBA, both inside the partition.
struct GptEntry {
    std::uint64_t firstLba = 0;
    std::uint64_t lastLba = 0;
};

// The used entries of a disk's GPT, and how they were found.
struct GptTable {
    std::vector<GptEntry> entries;
    bool primaryDamaged = false;  // the header at LBA 1 or its entries failed a check
};

// The header in `sector` (one logical sector of `sectorBytes`) read from `lba` of a disk of
// `diskLbas` logical sectors (0 when unknown): its signature, size, CRC, own LBA and entry
// array shape all checked, and the array lying inside the disk. Nothing when any check fails.
std::optional<GptHeader> ParseGptHeader(ByteSpan sector, std::uint64_t lba,
                                        std::uint32_t sectorBytes, std::uint64_t diskLbas);

// The used entries of an entry array (at least entryCount * entrySize bytes), in array order;
// nothing when the array's CRC does not match the header's. Entries whose last LBA lies before
// their first are dropped.
std::optional<std::vector<GptEntry>> ParseGptEntries(ByteSpan array, const GptHeader& header);

// The GPT of `disk`, read in its logical sectors: the header at LBA 1, or the backup at the
// disk's last LBA when the first (or its entries) fails a check. Nothing when both fail.
std::optional<GptTable> ReadGptTable(SectorSource& disk);

}  // namespace lumarest

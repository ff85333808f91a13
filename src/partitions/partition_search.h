#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>

#include "core/le_bytes.h"
#include "core/partition_list.h"

namespace lumarest {

struct RecoveryRun;
class Reporter;
class SectorSource;

struct SearchGeometry {
    std::uint32_t cylinders = 0;
    std::uint32_t heads = 0;
    std::uint32_t sectorsPerTrack = 0;
};

// The inventory's geometry for a disk (its decimal texts through the plain conversion), not
// yet normalised. Empty when the inventory last showed another disk.
SearchGeometry InventoryGeometry(const RecoveryRun& run, std::uint16_t diskNumber);

// The geometry the search walks: a disk without 63 sectors per track is taken as 255 heads of
// 63 sectors, with as many cylinders as its own geometry holds.
SearchGeometry NormaliseGeometry(const SearchGeometry& geometry);

// A boot sector the search lists: its file system and size in sectors.
struct RecognisedVolume {
    FileSystem fileSystem = FileSystem::Fat32;
    std::uint64_t sectors = 0;
};

// "EXFAT   " at 3, then "FAT32" ending at 86, then "FAT16" ending at 58, then "NTFS" at 3, on
// a sector with the boot signature. FAT sizes come from the 32-bit count at 32, or the 16-bit
// one at 19 when that is 0; NTFS sizes from the 64-bit count at 40, plus the backup boot sector
// after them; exFAT sizes from the 64-bit count at 72, in sectors of 2^(byte 108) bytes.
std::optional<RecognisedVolume> RecogniseBootSector(ByteSpan sector);

// Called on the searching thread right after a partition is appended to the disk's list (its
// index there).
using PartitionFoundHandler = std::function<void(std::size_t listIndex)>;

struct PartitionSearchResult {
    std::size_t added = 0;
    bool stopped = false;
    bool listFull = false;
};

// Scans cylinder by cylinder (one track into the cylinder, then its first sector when that
// sector has no boot signature; the geometry counts in the disk's own sectors), then every 1 MiB
// boundary the cylinders did not read, in ascending order. Appends each new FAT16/FAT32/NTFS/exFAT
// partition to run.diskPartitionLists[diskNumber] (source: cylinder or aligned search), reports
// progress over both passes on ProgressBar::PartitionSearch ("Completed "), checks `stop`
// between candidates. Every read lies inside the disk; a disk of unknown size scans nothing, an
// empty geometry only the boundaries. Does not touch run.partitionTree: the caller adds tree
// items (through `found`) and does the end steps.
PartitionSearchResult SearchPartitions(RecoveryRun& run, SectorSource& disk,
                                       std::uint16_t diskNumber, const SearchGeometry& geometry,
                                       Reporter& reporter, std::stop_token stop,
                                       const PartitionFoundHandler& found);

}  // namespace lumarest

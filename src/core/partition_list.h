#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/tree_model.h"

namespace lumarest {

// A disk lists at most this many partitions: the room its file-system names have.
inline constexpr int kMaxListedPartitions = 26;

// One listed partition of a disk.
struct PartitionRecord {
    TreeItem treeItem = kNoItem;
    std::uint32_t startSector = 0;  // absolute first sector: the boot sector
    std::uint32_t endSector = 0;    // startSector plus the entry's sector count
};

// The partitions of one disk, rewritten on each walk of its tables.
struct DiskPartitionList {
    std::int32_t partitionCount = 0;
    std::array<std::string, kMaxListedPartitions> fsName;  // "FAT16", "FAT32" or "NTFS"
    std::vector<PartitionRecord> partitions;

    void Forget() { *this = DiskPartitionList{}; }
};

}  // namespace lumarest

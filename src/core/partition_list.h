#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "core/tree_model.h"

namespace lumarest {

// A disk lists at most this many partitions: the room its file-system names have.
inline constexpr std::size_t kMaxListedPartitions = 26;

// Where a partition was found. Every way of finding one appends to the same list.
enum class PartitionSource {
    PartitionTable,  // an entry of the master boot record
    ExtendedRecord,  // an entry of an extended boot record
    CylinderSearch,  // a boot sector at or one track into a cylinder
    GptTable,
    WholeDisk,
    AlignedSearch,
    FoundVolume,
};

// "partition table", "extended record", "cylinder search", ...
std::string_view PartitionSourceName(PartitionSource source);

// One listed partition of a disk.
struct PartitionRecord {
    TreeItem treeItem = kNoItem;
    std::uint64_t startSector = 0;  // absolute first sector: the boot sector
    std::uint64_t endSector = 0;    // the first sector after the partition
    FileSystem fileSystem = FileSystem::Fat32;
    PartitionSource source = PartitionSource::PartitionTable;
};

// The partitions of one disk, rewritten on each walk of its tables; searches append to it.
struct DiskPartitionList {
    std::vector<PartitionRecord> partitions;

    std::size_t Count() const { return partitions.size(); }
    bool Full() const { return partitions.size() >= kMaxListedPartitions; }
    void Forget() { partitions.clear(); }
};

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/recovery_run.h"

namespace lumarest {

// Entries of the partition-type box, in order.
inline constexpr const char* kPartitionTypes[] = {"FAT16", "FAT32", "NTFS", "exFAT", "UNKNOWN"};
inline constexpr int kUnknownTypeEntry = 4;

// The name the partition search gives a disk on which it found nothing.
inline constexpr const char* kUnknownPartition = "Unknown Partition";

// What the criteria page shows for one partition of PartitionTree.
struct PartitionDetails {
    std::string modeText;  // the mode label: "Standard Search" or "Advance Search"
    int typeEntry = 0;     // entry of the partition-type box
    bool typeBoxEnabled = false;
    std::string startField;  // in the disk's own sectors, as the partition fields show them
    std::string endField;
    std::uint64_t startSector = 0;  // engine sectors, as the raw range takes them
    std::uint64_t endSector = 0;
    std::vector<std::pair<std::string, std::string>> rows;  // DetailsList: caption, value
    bool expandRoot = false;
};

// The details of partition `index` of disk `diskNumber` with file system `fsName`, as the
// criteria page of `mode` shows them. kUnknownPartition stands for the whole disk. Nothing
// when the disk's list holds no such partition.
std::optional<PartitionDetails> DescribePartition(const RecoveryRun& run, SearchMode mode,
                                                  const std::string& fsName, int index,
                                                  std::uint16_t diskNumber);

// Engine sectors per sector of the shown disk: the window shows positions in the disk's own.
std::uint64_t ShownSectorUnit(const RecoveryRun& run);
// An engine sector as the window shows it, in the disk's own sectors.
std::string ShownSectorText(const RecoveryRun& run, std::uint64_t engineSector);

// Entry of the partition-type box for a file-system name; unknown names give "UNKNOWN".
int PartitionTypeEntry(const std::string& fsName);

// The file system of listed partition `index` of the selected disk; nothing when its list holds
// no such partition, as for the unknown partition that stands for the whole disk.
std::optional<FileSystem> ListedFileSystemOf(const RecoveryRun& run, int index);

// A partition of PartitionTree: the disk it lies on and its index in that disk's list.
struct PartitionOfItem {
    std::uint16_t diskNumber = 0;
    int index = 0;
};

// The listed partition whose item is `item`, found under the disk its parent names ("Disk " +
// N). Nothing for a disk item, an item no list holds, or a parent that names no disk.
std::optional<PartitionOfItem> FindPartitionOfItem(const RecoveryRun& run, TreeItem item);

}  // namespace lumarest

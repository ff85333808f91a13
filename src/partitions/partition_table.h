#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/partition_list.h"
#include "core/tree_model.h"

namespace lumarest {

struct RecoveryRun;
class SectorSource;

// Walks the master boot record and the chain of extended boot records of disk `diskNumber`
// (read through `disk`, whose TotalSectors() is the disk's size), rewrites
// run.diskPartitionLists[diskNumber], appends one item per listed partition under `diskItem`
// of run.partitionTree ("Partition - 1 ( FAT32 )", image 1), and sets run.partitionsListed and
// run.defaultPartitionItem. An entry that starts at or past the disk's end is not listed, one
// that runs past it is listed as the table gives it; both call `readFailureNotice` and the
// walk goes on with the other entries (an extended record past the end calls it too). The
// walk stops at 26 listed partitions and when an extended record links back to one already
// read. With run.partitionTree null the list is still filled.
// Table numbers count the disk's logical sectors (disk.LogicalSectorBytes()); the list holds
// 512-byte sectors. When the MBR holds a 0xEE entry, the GPT's entries whose first sector names
// FAT16, FAT32, NTFS or exFAT follow, each listed once; a GPT that fails its checks on both
// headers, or only on the first, calls `readFailureNotice` too. When sector 0 is itself a FAT16,
// FAT32, NTFS or exFAT boot sector and its four entries hold no plausible table, that volume is
// the one partition, sized by its boot sector. A partition is named by its boot sector's name
// where it has one: an exFAT volume of type 0x07 is listed as exFAT, not NTFS.
void ListPartitions(RecoveryRun& run, SectorSource& disk, std::uint16_t diskNumber,
                    TreeItem diskItem, const std::function<void()>& readFailureNotice);

// "Partition - " + number + " ( " + file-system name + " )"
std::string PartitionItemText(std::size_t partitionNumber, FileSystem fileSystem);

// Appends the item of list entry `listIndex` under `diskItem` (image 1) and keeps its handle
// in the record.
TreeItem AddPartitionItem(TreeModel& tree, TreeItem diskItem, DiskPartitionList& list,
                          std::size_t listIndex);

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/tree_model.h"

namespace lumarest {

struct RecoveryRun;
class SectorSource;

// Walks the master boot record and the chain of extended boot records of disk `diskNumber`
// (read through `disk`, whose TotalSectors() is the disk's size), rewrites
// run.diskPartitionLists[diskNumber], appends one item per listed partition under `diskItem`
// of run.partitionTree ("Partition - 1 ( FAT32 )", image 1), and sets run.partitionsListed and
// run.defaultPartitionItem. A table pointing within 0x6000 sectors of the disk's end (or past
// it) calls `readFailureNotice` and ends the walk; so does a logical partition or extended
// record past the end. The walk stops at 26 listed partitions and when an extended record
// links back to one already read. With run.partitionTree null the list is still filled.
void ListPartitions(RecoveryRun& run, SectorSource& disk, std::uint16_t diskNumber,
                    TreeItem diskItem, const std::function<void()>& readFailureNotice);

// "Partition - " + number + " ( " + file-system name + " )"
std::string PartitionItemText(int partitionNumber, const std::string& fsName);

}  // namespace lumarest

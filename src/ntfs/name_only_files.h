#pragma once

#include <vector>

#include "ntfs/index_block.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest {

class SectorSource;
class TextTable;
struct MftRunTable;

// Adds a deleted file row of the name-only kind to `fileTable` for each name left in a folder's
// index slack (the entry's parent is the folder) that no file record stands for any more: its
// name, size and creation time as the entry keeps them. A name is left out when its folder
// lists it already from a record of the same number, when that record still carries it as the
// entry's file (the same sequence number, or the next one and the record free: deleted, not
// reused), when it is the short DOS twin of a long name of the same file, and when an earlier
// entry gave it already. A name whose entry header is lost names no record (0); it is left out
// when its folder lists the name already.
void AddNameOnlyRows(TextTable& fileTable, SectorSource& disk, const NtfsLayout& layout,
                     const MftRunTable& table, const std::vector<IndexEntry>& slackNames);

}  // namespace lumarest

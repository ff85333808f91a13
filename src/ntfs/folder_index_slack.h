#pragma once

#include <span>
#include <vector>

#include "ntfs/index_block.h"
#include "ntfs/mft_record.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest {

class SectorSource;

// The entries of `owner` left in the slack of its "$I30" index blocks, read along the runs of
// its index allocation (from the folder's records, its own first, then its extension
// records), block by block in their order. Blocks that cannot be read or are no index blocks
// give none.
std::vector<IndexEntry> ReadFolderIndexSlack(SectorSource& disk, const NtfsLayout& layout,
                                             std::span<const MftRecordBuffer> records,
                                             IndexOwner owner);

}  // namespace lumarest

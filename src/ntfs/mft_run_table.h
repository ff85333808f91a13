#pragma once

#include <cstdint>
#include <vector>

#include "ntfs/data_runs.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest {

class SectorSource;

// The runs of the master file table's own data: where each record lies on the disk.
struct MftRunTable {
    std::vector<DataRun> runs;
    std::uint32_t recordSectors = kMftRecordSectors;  // sectors of one record
};

// The first sector of record `recordNumber` (at recordSectors per record), 0 when the table does
// not cover it or the record would lie in a sparse run.
std::uint64_t MftRecordSector(const MftRunTable& table, std::uint32_t recordNumber);

// Rebuilds `table` from the $DATA of record 0 and, where record 0 has an attribute list, of
// the records that list names. The table stays empty when record 5 (the root directory) or
// record 0 is not a file record. The table takes the layout's record size. Returns false when the
// table is empty.
bool BuildMftRunTable(SectorSource& source, const NtfsLayout& layout, MftRunTable& table);

}  // namespace lumarest

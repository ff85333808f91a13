#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <vector>

#include "ntfs/data_runs.h"
#include "ntfs/mft_record.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest {

class SectorSource;
struct MftRunTable;

enum class FileDataStatus {
    Written,
    NoRecord,     // the record cannot be read or is not a file record
    NoData,       // the record has no unnamed $DATA
    Unsupported,  // compressed or encrypted: its sectors are not the file's bytes
    RunsShort,    // the runs end before the file's size; what they cover was written
    ReadFailed,   // a sector could not be read (written as zeros) or the stream failed
};

// Writes `byteCount` bytes along `runs`: sparse runs and bytes past `initializedSize` as
// zeros, holes where `out` takes them (WriteZeros).
FileDataStatus WriteRunBytes(SectorSource& source, const std::vector<DataRun>& runs,
                             std::uint64_t byteCount, std::uint64_t initializedSize,
                             std::ostream& out);

// The bytes WriteRunBytes takes from the runs' sectors: the zeros it adds take no room.
std::uint64_t StoredRunBytes(const std::vector<DataRun>& runs, std::uint64_t byteCount,
                             std::uint64_t initializedSize);

// The size of the first unnamed $DATA of a fixed-up record: its content length when
// resident, its real size when not.
std::optional<std::uint64_t> DataSize(ByteSpan record);

// The first size found among the records of one file, in order.
std::optional<std::uint64_t> DataSize(std::span<const MftRecordBuffer> records);

// Reads the record at `recordSector` (of `recordSectors` sectors), fixes it up and gives its
// data size.
std::optional<std::uint64_t> ReadDataSize(SectorSource& source, std::uint64_t recordSector,
                                          std::uint32_t recordSectors = kMftRecordSectors);

// Writes the bytes of the unnamed $DATA held by a file's records (its own first, then its
// extension records): the resident content, or the runs of every piece in VCN order up to
// the real size.
FileDataStatus WriteRecordData(SectorSource& source, const NtfsLayout& layout,
                               std::span<const MftRecordBuffer> records, std::ostream& out);

// The bytes WriteRecordData takes from the records and their runs, holes left out: what the
// saved file needs on its disk. 0 when it writes nothing.
std::uint64_t StoredRecordDataBytes(const NtfsLayout& layout,
                                    std::span<const MftRecordBuffer> records);

// Writes the bytes of file record `recordNumber`, reading its extension records where its
// attribute list sends the data.
FileDataStatus WriteFileData(SectorSource& source, const NtfsLayout& layout,
                             const MftRunTable& table, std::uint32_t recordNumber,
                             std::ostream& out);

}  // namespace lumarest

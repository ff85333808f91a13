#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/le_bytes.h"
#include "ntfs/mft_record.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest {

class SectorSource;
struct MftRunTable;

inline constexpr std::size_t kMaxExtensionRecords = 68;

// The records that hold a file's attributes: its own number first, then each record its
// attribute list names, in list order. A record named twice is kept once, so the room
// goes to distinct records.
struct ExtensionRecordList {
    std::vector<std::uint32_t> records;
    bool truncated = false;  // the list named more than kMaxExtensionRecords records
};

// From the bytes of an attribute list (empty when the record has none).
ExtensionRecordList ExtensionRecordsFromList(ByteSpan attributeList, std::uint32_t recordNumber);

// From a fixed-up record's resident attribute list only: reads no disk.
ExtensionRecordList CollectExtensionRecords(ByteSpan record, std::uint32_t recordNumber);

// From a fixed-up record's attribute list, resident or read from the disk.
ExtensionRecordList ReadExtensionRecords(SectorSource& source, const NtfsLayout& layout,
                                         ByteSpan record, std::uint32_t recordNumber);

// The fixed-up records of one file: `record` itself first, then every listed record that
// can be read, is a file record and names `recordNumber` as its base. Each is read once.
std::vector<MftRecordBuffer> ReadFileRecords(SectorSource& source, const MftRunTable& table,
                                             const MftRecordBuffer& record,
                                             const ExtensionRecordList& list);

// The records of file `recordNumber` found through the run table: its own first, then its
// extension records, each read and fixed up once. Empty when its own record cannot be read
// or is not a file record.
std::vector<MftRecordBuffer> ReadFileRecordsOf(SectorSource& source, const NtfsLayout& layout,
                                               const MftRunTable& table,
                                               std::uint32_t recordNumber);

}  // namespace lumarest

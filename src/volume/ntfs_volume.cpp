#include "volume/ntfs_volume.h"

#include <algorithm>

#include "core/entry_rows.h"
#include "core/folder_nodes.h"
#include "core/recovery_run.h"
#include "core/text_number.h"
#include "ntfs/attributes.h"
#include "ntfs/extension_records.h"
#include "ntfs/file_data.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/ntfs_layout.h"
#include "output/file_dates.h"
#include "output/ntfs_file_rows.h"

namespace lumarest {

namespace {

// Marks a row whose record number was never assigned.
constexpr std::uint32_t kUnassignedRecord = 0xFFFFFFFF;
// Records 0 to 15 are the file system's own: $MFT, $LogFile, $Bitmap and the like.
constexpr std::uint32_t kFirstUserRecord = 16;

std::uint64_t NonNegative(std::int64_t value) {
    return static_cast<std::uint64_t>(std::max<std::int64_t>(value, 0));
}

RecoveredFileStatus FromFileDataStatus(FileDataStatus status) {
    switch (status) {
        case FileDataStatus::Written:
            return RecoveredFileStatus::Written;
        case FileDataStatus::RunsShort:
        case FileDataStatus::ReadFailed:
            return RecoveredFileStatus::Incomplete;
        case FileDataStatus::NoRecord:
        case FileDataStatus::NoData:
        case FileDataStatus::Unsupported:
            break;
    }
    return RecoveredFileStatus::NoData;
}

// The records of a file: by its record's sector, with the extension records the run table
// finds; by its record number when the sector holds no file record. Empty when neither reads.
std::vector<MftRecordBuffer> ReadNtfsFileRecords(SectorSource& disk, const NtfsLayout& layout,
                                                 std::uint64_t recordSector,
                                                 std::uint32_t recordNumber) {
    MftRunTable table;
    const bool haveTable = BuildMftRunTable(disk, layout, table);
    MftRecordBuffer record(layout.recordSectors);
    if (recordSector != 0 && ReadMftRecord(disk, recordSector, record)) {
        const ExtensionRecordList list = ReadExtensionRecords(
            disk, layout, ByteSpan(record.data(), record.size()), recordNumber);
        return ReadFileRecords(disk, table, record, list);
    }
    if (haveTable && recordNumber != kUnassignedRecord) {
        return ReadFileRecordsOf(disk, layout, table, recordNumber);
    }
    return {};
}

}  // namespace

std::uint32_t NtfsVolume::RootFolderId() const {
    return kNtfsRootId;
}

void NtfsVolume::DateFolderRow(const FolderNode& node, FileListRow& row) const {
    row.date = NtfsDateText(node.date);
    // An NTFS stamp holds the time of day too; the "time" column is unused there.
    row.time = NtfsTimeText(node.date);
}

void NtfsVolume::ForEachFile(std::uint32_t folderId, const VolumeFileVisitor& visit) {
    const TextTable& files = run_.fileTable;
    if (!rowsByFolder_) {
        rowsByFolder_.emplace();
        for (std::size_t r = 0; r < files.RowCount(); ++r) {
            (*rowsByFolder_)[files.CellU32(r, kEntryParent)].push_back(r);
        }
    }
    const auto found = rowsByFolder_->find(folderId);
    if (found == rowsByFolder_->end()) {
        return;
    }
    for (const std::size_t r : found->second) {
        FileRef file;
        file.size = NonNegative(ParseTextNumber(files.CellView(r, kEntrySize)));
        file.recordSector = NonNegative(ParseTextNumber(files.CellView(r, kEntrySector)));
        file.recordNumber = ParseTextU32(files.CellView(r, kEntrySelf));
        file.deleted = IsDeletedRow(files, r);
        visit(NtfsFileRow(files, r, folderId), file);
    }
}

RecoveredFileStatus NtfsVolume::WriteFile(const FileRef& file, std::ostream& out) {
    const NtfsLayout layout = NtfsLayoutOf(run_.activeVolume);
    const std::vector<MftRecordBuffer> records =
        ReadNtfsFileRecords(disk_, layout, file.recordSector, file.recordNumber);
    if (records.empty()) {
        return RecoveredFileStatus::NoData;
    }
    return FromFileDataStatus(WriteRecordData(disk_, layout, records, out));
}

std::uint64_t NtfsVolume::StoredBytes(const FileRef& file) {
    const NtfsLayout layout = NtfsLayoutOf(run_.activeVolume);
    return StoredRecordDataBytes(
        layout, ReadNtfsFileRecords(disk_, layout, file.recordSector, file.recordNumber));
}

std::optional<std::int64_t> NtfsVolume::RecordLastWrite(std::uint64_t recordSector,
                                                        std::uint32_t recordNumber) {
    const NtfsLayout layout = NtfsLayoutOf(run_.activeVolume);
    MftRecordBuffer record(layout.recordSectors);
    bool read = recordSector != 0 && ReadMftRecord(disk_, recordSector, record);
    if (!read && recordNumber != kUnassignedRecord) {
        if (!mftTable_) {
            mftTable_.emplace();
            BuildMftRunTable(disk_, layout, *mftTable_);
        }
        const std::uint64_t sector = MftRecordSector(*mftTable_, recordNumber);
        read = sector != 0 && ReadMftRecord(disk_, sector, record);
    }
    if (!read) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> stamp =
        StandardModifiedTime(ByteSpan(record.data(), record.size()));
    if (!stamp) {
        return std::nullopt;
    }
    return NtfsStampSeconds(static_cast<std::int64_t>(*stamp));
}

std::optional<std::int64_t> NtfsVolume::LastWrite(const FileRef& file) {
    return RecordLastWrite(file.recordSector, file.recordNumber);
}

std::optional<std::int64_t> NtfsVolume::FolderLastWrite(const FolderNode& node) {
    // The orphan folder stands for no record.
    if (node.selfId == kOrphanFolderId) {
        return std::nullopt;
    }
    return RecordLastWrite(0, node.selfId);
}

bool NtfsVolume::IsVolumeOwnFile(const FileRef& file) const {
    return !file.IsFolder() && file.recordNumber < kFirstUserRecord;
}

bool NtfsVolume::IsVolumeOwnFolder(const FolderNode& node) const {
    // The root is record 5 but holds the user's files; $Extend (record 11) is the system folder
    // that is listed.
    return node.selfId != kNtfsRootId && node.selfId < kFirstUserRecord;
}

}  // namespace lumarest

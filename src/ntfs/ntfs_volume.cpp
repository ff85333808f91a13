#include "ntfs/ntfs_volume.h"

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
#include "ntfs/ntfs_file_rows.h"
#include "ntfs/ntfs_layout.h"
#include "output/file_dates.h"

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
        file.nameOnly = IsNameOnlyRow(files, r);
        visit(NtfsFileRow(files, r, folderId), file);
    }
}

const MftRunTable& NtfsVolume::MftTable() {
    if (!mftTable_) {
        mftTable_.emplace();
        mftTableBuilt_ = BuildMftRunTable(disk_, NtfsLayoutOf(run_.activeVolume), *mftTable_);
    }
    return *mftTable_;
}

std::vector<MftRecordBuffer> NtfsVolume::FileRecords(const FileRef& file) {
    const NtfsLayout layout = NtfsLayoutOf(run_.activeVolume);
    const MftRunTable& table = MftTable();
    MftRecordBuffer record(layout.recordSectors);
    if (file.recordSector != 0 && ReadMftRecord(disk_, file.recordSector, record)) {
        const ExtensionRecordList list = ReadExtensionRecords(
            disk_, layout, ByteSpan(record.data(), record.size()), file.recordNumber);
        return ReadFileRecords(disk_, table, record, list);
    }
    if (mftTableBuilt_ && file.recordNumber != kUnassignedRecord) {
        return ReadFileRecordsOf(disk_, layout, table, file.recordNumber);
    }
    return {};
}

RecoveredFileStatus NtfsVolume::WriteFile(const FileRef& file, std::ostream& out) {
    // Its record holds another file now: reading it would give that file's data.
    if (file.nameOnly) {
        return RecoveredFileStatus::NoData;
    }
    const std::vector<MftRecordBuffer> records = FileRecords(file);
    if (records.empty()) {
        return RecoveredFileStatus::NoData;
    }
    return FromFileDataStatus(
        WriteRecordData(disk_, NtfsLayoutOf(run_.activeVolume), records, out));
}

std::uint64_t NtfsVolume::StoredBytes(const FileRef& file) {
    if (file.nameOnly) {
        return 0;
    }
    return StoredRecordDataBytes(NtfsLayoutOf(run_.activeVolume), FileRecords(file));
}

std::optional<std::int64_t> NtfsVolume::RecordLastWrite(std::uint64_t recordSector,
                                                        std::uint32_t recordNumber) {
    const NtfsLayout layout = NtfsLayoutOf(run_.activeVolume);
    MftRecordBuffer record(layout.recordSectors);
    bool read = recordSector != 0 && ReadMftRecord(disk_, recordSector, record);
    if (!read && recordNumber != kUnassignedRecord) {
        const std::uint64_t sector = MftRecordSector(MftTable(), recordNumber);
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
    if (file.nameOnly) {
        return std::nullopt;
    }
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
    // A name whose index entry lost its header names record 0 without being $MFT.
    return !file.IsFolder() && !file.nameOnly && file.recordNumber < kFirstUserRecord;
}

bool NtfsVolume::IsVolumeOwnFolder(const FolderNode& node) const {
    // The root is record 5 but holds the user's files; $Extend (record 11) is the system folder
    // that is listed.
    return node.selfId != kNtfsRootId && node.selfId < kFirstUserRecord;
}

}  // namespace lumarest

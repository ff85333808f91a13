#pragma once

#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {

// An NTFS volume: folders list the rows of the run's file table that name them as parent;
// files are written from their records, read at the sector the scan found them in, or by
// record number through the master file table where that sector holds no record.
class NtfsVolume final : public RebuiltVolume {
  public:
    NtfsVolume(RecoveryRun& run, SectorSource& disk) : run_(run), disk_(disk) {}

    FileSystem Kind() const override { return FileSystem::Ntfs; }
    std::uint32_t RootFolderId() const override;
    void DateFolderRow(const FolderNode& node, FileListRow& row) const override;
    void ForEachFile(std::uint32_t folderId, const VolumeFileVisitor& visit) override;
    RecoveredFileStatus WriteFile(const FileRef& file, std::ostream& out) override;
    std::uint64_t StoredBytes(const FileRef& file) override;
    std::optional<std::int64_t> LastWrite(const FileRef& file) override;
    std::optional<std::int64_t> FolderLastWrite(const FolderNode& node) override;
    bool IsVolumeOwnFile(const FileRef& file) const override;
    bool IsVolumeOwnFolder(const FolderNode& node) const override;

  private:
    const MftRunTable& MftTable();
    // The file's records: by its record's sector, with the extension records the run table
    // finds; by its record number when that sector holds no file record. Empty when neither
    // reads.
    std::vector<MftRecordBuffer> FileRecords(const FileRef& file);
    // The last write kept in the record at `recordSector`, or by its number where that sector
    // holds no file record.
    std::optional<std::int64_t> RecordLastWrite(std::uint64_t recordSector,
                                                std::uint32_t recordNumber);

    RecoveryRun& run_;
    SectorSource& disk_;
    // File-table rows by their folder's number, made on the first listing.
    std::optional<std::unordered_map<std::uint32_t, std::vector<std::size_t>>> rowsByFolder_;
    // Where the records lie, read once for all the files saved or looked up by number.
    std::optional<MftRunTable> mftTable_;
    bool mftTableBuilt_ = false;
};

}  // namespace lumarest

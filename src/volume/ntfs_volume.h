#pragma once

#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

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
    // The last write kept in the record at `recordSector`, or by its number where that sector
    // holds no file record.
    std::optional<std::int64_t> RecordLastWrite(std::uint64_t recordSector,
                                                std::uint32_t recordNumber);

    RecoveryRun& run_;
    SectorSource& disk_;
    // File-table rows by their folder's number, made on the first listing.
    std::optional<std::unordered_map<std::uint32_t, std::vector<std::size_t>>> rowsByFolder_;
    // Where the records lie, read on the first look-up by number; empty when it failed.
    std::optional<MftRunTable> mftTable_;
};

}  // namespace lumarest

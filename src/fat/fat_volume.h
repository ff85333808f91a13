#pragma once

#include <optional>

#include "fat/fat_chain.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {

// A FAT16 or FAT32 volume: folders are read from their directories on the disk, files written
// along their cluster chains.
class FatVolume final : public RebuiltVolume {
  public:
    FatVolume(RecoveryRun& run, SectorSource& disk) : run_(run), disk_(disk) {}

    FileSystem Kind() const override;
    std::uint32_t RootFolderId() const override;
    void DateFolderRow(const FolderNode& node, FileListRow& row) const override;
    void ForEachFile(std::uint32_t folderId, const VolumeFileVisitor& visit) override;
    RecoveredFileStatus WriteFile(const FileRef& file, std::ostream& out) override;
    std::uint64_t StoredBytes(const FileRef& file) override;
    std::optional<std::int64_t> FolderLastWrite(const FolderNode& node) override;
    void NameChildFolders(const FolderNode& node) override;

  private:
    // Files saved one after another read the same FAT sectors: they are read once.
    FatTable& Fat();

    RecoveryRun& run_;
    SectorSource& disk_;
    std::optional<FatTable> fat_;
};

}  // namespace lumarest

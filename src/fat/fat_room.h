#pragma once

#include "volume/file_system_room.h"

namespace lumarest {

// FAT16 and FAT32: layouts from the boot sector or from the first two directories, folders from
// their "." and ".." entries, named from their parents' directories.
class FatRoom final : public FileSystemRoom {
  public:
    explicit FatRoom(FileSystem kind) : kind_(kind) {}

    std::uint32_t RootFolderId() const override;
    bool ValidateBootSector(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                            std::uint64_t last) const override;
    bool ScanStandard(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                      bool bootSectorValid, std::stop_token stop) const override;
    void BuildStandardTree(RecoveryRun& run, SectorSource& disk, Reporter& reporter) const override;
    AdvanceSearchResult ScanAdvance(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                    std::stop_token stop, std::stop_token quit) const override;
    void RebuildFound(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                      std::size_t volume) const override;
    std::unique_ptr<RebuiltVolume> OpenVolume(RecoveryRun& run, SectorSource& disk) const override;

  private:
    FileSystem kind_;  // which of the two a partition's boot sector is tested for
};

}  // namespace lumarest

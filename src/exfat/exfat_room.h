#pragma once

#include "volume/file_system_room.h"

namespace lumarest {

// exFAT: the layout from the boot region (or its backup), folders and files from the entry
// sets of the directories the walk from the root reaches and of clusters no folder owns.
class ExFatRoom final : public FileSystemRoom {
  public:
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
};

}  // namespace lumarest

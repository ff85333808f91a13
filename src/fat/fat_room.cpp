#include "fat/fat_room.h"

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/advance_fat_search.h"
#include "fat/directory_scan.h"
#include "fat/fat_folder_tree.h"
#include "fat/fat_volume.h"
#include "fat/found_fat_volume.h"
#include "partitions/volume_params.h"
#include "search/standard_search.h"

namespace lumarest {

std::uint32_t FatRoom::RootFolderId() const {
    return kFatRootId;
}

bool FatRoom::ValidateBootSector(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                                 std::uint64_t /*last*/) const {
    return ValidateFatBootSector(params, disk, start, kind_ == FileSystem::Fat16);
}

bool FatRoom::ScanStandard(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                           bool bootSectorValid, std::stop_token stop) const {
    bool searched = true;
    // Without a valid boot sector the layout comes from the first two directories found; when
    // none can be found the scan still runs with what the parameters hold, unless they hold
    // no clusters: that would only add a second box to the first.
    if (!bootSectorValid && CalculateVolumeParams(run, disk, reporter, stop) == 0 &&
        !stop.stop_requested()) {
        reporter.ShowMessage(kUnableToCalculateMessage, MessageIcon::Error);
        searched = false;
    }
    reporter.SetStatisticCaption(Statistic::DirectoriesFound, kDirectoriesFoundCaption);
    if (searched || run.volumeParams.sectorsPerCluster != 0) {
        searched = ScanLostDirectories(run, disk, reporter, stop) != 0 && searched;
    }
    run.activeVolume = SnapshotVolume(run.volumeParams, run.selectedPartition.fsName);
    return searched;
}

void FatRoom::BuildStandardTree(RecoveryRun& run, SectorSource& disk, Reporter& reporter) const {
    BuildFatFolderTree(run, disk, run.folderTable, reporter, ProgressBar::MainScan);
}

AdvanceSearchResult FatRoom::ScanAdvance(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                         std::stop_token stop, std::stop_token quit) const {
    AdvanceSearchResult result;
    reporter.SetStatisticCaption(Statistic::DirectoriesFound, kDirectoriesFoundCaption);
    result.searchedEnd = AdvanceFatSearch(run, disk, reporter, stop);
    result.stopped = stop.stop_requested();
    result.volumesFound = AnalyzeFoundVolumes(run, reporter, quit);
    return result;
}

void FatRoom::RebuildFound(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                           std::size_t volume) const {
    RebuildFoundFatVolume(run, disk, reporter, volume);
}

std::unique_ptr<RebuiltVolume> FatRoom::OpenVolume(RecoveryRun& run, SectorSource& disk) const {
    return std::make_unique<FatVolume>(run, disk);
}

}  // namespace lumarest

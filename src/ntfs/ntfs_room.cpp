#include "ntfs/ntfs_room.h"

#include <string>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "ntfs/found_ntfs_volume.h"
#include "ntfs/mft_number_assignment.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/mft_scan.h"
#include "ntfs/ntfs_layout.h"
#include "ntfs/ntfs_raw_scan.h"
#include "ntfs/ntfs_volume.h"
#include "partitions/volume_params.h"
#include "tree/folder_tree_build.h"
#include "tree/named_folder_tree.h"

namespace lumarest {
namespace {

constexpr const char* kCompletedText = "Completed";
constexpr int kFullPercent = 100;

// Records of 1024, 2048 and 4096 bytes are read; any other size the boot sector names
// (3072 bytes) would give a wrong tree.
bool RefuseOtherRecordSize(const RecoveryRun& run, Reporter& reporter) {
    const std::uint32_t sectors = run.volumeParams.mftRecordSectors;
    if (sectors == 0 || IsSupportedRecordSectors(sectors)) {
        return false;
    }
    reporter.ShowMessage("The file records of this NTFS volume are " +
                             std::to_string(SectorsToBytes(sectors)) +
                             " bytes long; only records of 1024, 2048 and 4096 bytes can be "
                             "searched.",
                         MessageIcon::Error);
    return true;
}

}  // namespace

std::uint32_t NtfsRoom::RootFolderId() const {
    return kNtfsRootId;
}

bool NtfsRoom::ValidateBootSector(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                                  std::uint64_t last) const {
    // Only a valid boot sector gives the record size the scan is held to.
    params.mftRecordSectors = 0;
    return ValidateNtfsBootSector(params, disk, start, last);
}

bool NtfsRoom::ScanStandard(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                            bool /*bootSectorValid*/, std::stop_token stop) const {
    run.activeVolume = SnapshotVolume(run.volumeParams, run.selectedPartition.fsName);
    if (RefuseOtherRecordSize(run, reporter)) {
        return false;
    }
    MftRunTable runs;
    BuildMftRunTable(disk, NtfsLayoutOf(run.activeVolume), runs);
    reporter.SetStatisticCaption(Statistic::DirectoriesFound, kMftFoundCaption);
    ScanMft(run, disk, runs, reporter, stop);
    return true;
}

void NtfsRoom::BuildStandardTree(RecoveryRun& run, SectorSource& /*disk*/,
                                 Reporter& reporter) const {
    run.resultsFound = true;
    BuildNamedFolderTree(run, run.folderTable, reporter, ProgressBar::MainScan, kNtfsRootId);
}

AdvanceSearchResult NtfsRoom::ScanAdvance(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                          std::stop_token stop, std::stop_token quit) const {
    AdvanceSearchResult result;
    reporter.SetStatisticCaption(Statistic::DirectoriesFound, kAdvanceMftFoundCaption);
    result.searchedEnd = ScanNtfsRaw(run, disk, reporter, stop);
    result.stopped = stop.stop_requested();
    result.volumesFound = AssignMftNumbers(run, disk, reporter, quit);
    return result;
}

// A found NTFS volume's tree is built as the Standard search builds one, from the rows the
// volume's folders gave.
void NtfsRoom::RebuildFound(RecoveryRun& run, SectorSource& /*disk*/, Reporter& reporter,
                            std::size_t volume) const {
    LoadFoundNtfsVolume(run, reporter, volume);
    TextTable& table = run.folderTable;
    table.SortByColumn(kEntrySelf);
    ReattachOrphans(table, reporter, ProgressBar::TreeLoading, kNtfsRootId, 0);
    reporter.SetPhaseLabel(kStoringDirectoryPhase);
    BuildNamedFolderTree(run, table, reporter, ProgressBar::TreeLoading, kNtfsRootId);
    reporter.SetProgress(ProgressBar::TreeLoading, kFullPercent, kCompletedText);
}

std::unique_ptr<RebuiltVolume> NtfsRoom::OpenVolume(RecoveryRun& run, SectorSource& disk) const {
    return std::make_unique<NtfsVolume>(run, disk);
}

}  // namespace lumarest

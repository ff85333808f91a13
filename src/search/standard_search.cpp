// The Standard search: the order in which the engines rebuild one partition's folder tree.

#include "search/standard_search.h"

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"
#include "fat/directory_scan.h"
#include "fat/folder_tree_build.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/mft_scan.h"
#include "ntfs/ntfs_layout.h"
#include "partitions/volume_params.h"
#include "volume/ntfs_folder_tree.h"

namespace lumarest {
namespace {

constexpr const char* kPleaseWaitStatus = "Please wait...";
// The FAT folder table starts with the orphan folder's row; NTFS starts the same way.
constexpr std::size_t kOrphanRows = 1;

void TakeSnapshot(RecoveryRun& run) {
    run.activeVolume = SnapshotVolume(run.volumeParams, run.selectedPartition.fsName);
}

// Re-attaches the orphans and builds the tree from the folder table, as both file systems do
// once their scan has ended or was stopped.
void BuildTree(RecoveryRun& run, SectorSource& disk, Reporter& reporter, bool ntfs) {
    TextTable& table = run.folderTable;
    reporter.SetPhaseLabel(kSearchingLostDirectoriesPhase);
    reporter.SetStatusText(kPleaseWaitStatus);
    table.SortByColumn(kEntrySelf);
    // Every row is searched as a parent. After the sort the orphan row is last, so skipping the
    // first row would skip the lowest folder instead, and its subfolders would be taken for
    // orphans whenever the root's own record is lost.
    ReattachOrphans(table, reporter, ProgressBar::MainScan, ntfs ? kNtfsRootId : kFatRootId, 0);
    table.SortByColumn(kEntryParent);
    reporter.SetPhaseLabel(kStoringDirectoryPhase);
    if (ntfs) {
        run.resultsFound = true;
        BuildNtfsFolderTree(run, table, reporter, ProgressBar::MainScan);
    } else {
        BuildFatFolderTree(run, disk, table, reporter, ProgressBar::MainScan);
    }
}

// False when an error box has told why the volume could not be searched as asked.
bool ScanFatVolume(RecoveryRun& run, SectorSource& disk, Reporter& reporter, bool bootSectorValid) {
    bool searched = true;
    // Without a valid boot sector the layout comes from the first two directories found; when
    // none can be found the scan still runs with what the parameters hold, unless they hold
    // no clusters: that would only add a second box to the first.
    if (!bootSectorValid && CalculateVolumeParams(run, disk, reporter) == 0 &&
        !run.scanStop.stop_requested()) {
        reporter.ShowMessage(kUnableToCalculateMessage, MessageIcon::Error);
        searched = false;
    }
    reporter.SetStatisticCaption(Statistic::DirectoriesFound, kDirectoriesFoundCaption);
    if (searched || run.volumeParams.sectorsPerCluster != 0) {
        searched = ScanLostDirectories(run, disk, reporter) != 0 && searched;
    }
    TakeSnapshot(run);
    return searched;
}

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

bool ScanNtfsVolume(RecoveryRun& run, SectorSource& disk, Reporter& reporter) {
    TakeSnapshot(run);
    if (RefuseOtherRecordSize(run, reporter)) {
        return false;
    }
    MftRunTable runs;
    BuildMftRunTable(disk, NtfsLayoutOf(run.activeVolume), runs);
    reporter.SetStatisticCaption(Statistic::DirectoriesFound, kMftFoundCaption);
    ScanMft(run, disk, runs, reporter);
    return true;
}

}  // namespace

StandardSearchResult RunStandardSearch(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                       bool bootSectorValid) {
    run.stage = WizardStage::FolderResults;
    const bool ntfs = run.selectedPartition.fileSystem == FileSystem::Ntfs;
    const bool searched = ntfs ? ScanNtfsVolume(run, disk, reporter)
                               : ScanFatVolume(run, disk, reporter, bootSectorValid);
    StandardSearchResult result;
    result.failed = !searched;
    result.stopped = run.scanStop.stop_requested();
    result.foundFolderRows = run.folderTable.RowCount() > kOrphanRows;
    BuildTree(run, disk, reporter, ntfs);
    return result;
}

}  // namespace lumarest

// The Standard search: the order in which the engines rebuild one partition's folder tree.

#include "search/standard_search.h"

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "tree/folder_tree_build.h"
#include "volume/file_system_room.h"

namespace lumarest {
namespace {

constexpr const char* kPleaseWaitStatus = "Please wait...";
// Every folder table starts with the orphan folder's row.
constexpr std::size_t kOrphanRows = 1;

// Re-attaches the orphans and builds the tree from the folder table, as every file system does
// once its scan has ended or was stopped.
void BuildTree(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
               const FileSystemRoom& room) {
    TextTable& table = run.folderTable;
    reporter.SetPhaseLabel(kSearchingLostDirectoriesPhase);
    reporter.SetStatusText(kPleaseWaitStatus);
    table.SortByColumn(kEntrySelf);
    // Every row is searched as a parent. After the sort the orphan row is last, so skipping the
    // first row would skip the lowest folder instead, and its subfolders would be taken for
    // orphans whenever the root's own record is lost.
    ReattachOrphans(table, reporter, ProgressBar::MainScan, room.RootFolderId(), 0);
    table.SortByColumn(kEntryParent);
    reporter.SetPhaseLabel(kStoringDirectoryPhase);
    room.BuildStandardTree(run, disk, reporter);
}

}  // namespace

StandardSearchResult RunStandardSearch(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                       bool bootSectorValid) {
    const FileSystemRoom& room =
        RoomFor(run.selectedPartition.fileSystem.value_or(FileSystem::Fat32));
    const std::stop_token stop = run.scanStop.get_token();
    StandardSearchResult result;
    result.failed = !room.ScanStandard(run, disk, reporter, bootSectorValid, stop);
    result.stopped = stop.stop_requested();
    result.foundFolderRows = run.folderTable.RowCount() > kOrphanRows;
    BuildTree(run, disk, reporter, room);
    return result;
}

}  // namespace lumarest

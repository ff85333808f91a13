// The Advance search: the order in which the engines find lost volumes and rebuild one.

#include "search/advance_search.h"

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/advance_fat_search.h"
#include "fat/folder_tree_build.h"
#include "fat/folder_tree_events.h"
#include "fat/found_fat_volume.h"
#include "ntfs/found_ntfs_volume.h"
#include "ntfs/mft_number_assignment.h"
#include "ntfs/ntfs_raw_scan.h"
#include "search/standard_search.h"
#include "volume/ntfs_folder_tree.h"

namespace lumarest {
namespace {

constexpr const char* kVolumeItemPrefix = "File System ";
constexpr const char* kVolumeItemSeparator = " - ";
constexpr int kVolumeItemImage = 0;

constexpr const char* kFileSystemRow = "1.   File System                        :";
constexpr const char* kClickedFileSystemRow = "1.   File System                        :    ";
constexpr const char* kPartitionTypeRow = "2.   Partition Type                    :    ";
constexpr const char* kFileSystemStartRow = "3.   File System Start                :    ";
constexpr const char* kSectorsPerClusterRow = "4.   Sectors Per Clusters          :    ";

bool IsNtfsVolume(const RecoveryRun& run, std::size_t volume) {
    return FileSystemNamed(run.fileSystemTable.CellView(volume, kVolumePartType)) ==
           FileSystem::Ntfs;
}

// The tree the second phase fills: a fresh "Root" and nothing in the entry tables but the
// orphan folder.
void StartFreshFolderTree(RecoveryRun& run, bool ntfs) {
    run.folderNodes.Clear();
    run.folderTreeState = FolderTreeState{};
    run.folderTree = std::make_unique<TreeModel>();
    SetRootText(run);
    run.folderTable.Clear();
    run.fileTable.Clear();
    AppendOrphanFolderRow(run.folderTable, ntfs ? kNtfsRootId : kFatRootId);
}

constexpr const char* kCompletedText = "Completed";
constexpr int kFullPercent = 100;

// A found NTFS volume's tree is built as the Standard search builds one, from the rows the
// volume's folders gave.
void RebuildFoundNtfsVolumeTree(RecoveryRun& run, Reporter& reporter, std::size_t volume) {
    LoadFoundNtfsVolume(run, reporter, volume);
    TextTable& table = run.folderTable;
    table.SortByColumn(kEntrySelf);
    ReattachOrphans(table, reporter, ProgressBar::TreeLoading, kNtfsRootId, 0);
    reporter.SetPhaseLabel(kStoringDirectoryPhase);
    BuildNtfsFolderTree(run, table, reporter, ProgressBar::TreeLoading);
    reporter.SetProgress(ProgressBar::TreeLoading, kFullPercent, kCompletedText);
}

}  // namespace

AdvanceSearchResult RunAdvanceSearch(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                     std::stop_token quit) {
    run.ClearEntryTables();
    run.resultsFound = true;
    run.volumesFound = 0;
    run.chosenVolume = 0;
    AdvanceSearchResult result;
    if (run.selectedPartition.fileSystem == FileSystem::Ntfs) {
        reporter.SetStatisticCaption(Statistic::DirectoriesFound, kAdvanceMftFoundCaption);
        result.searchedEnd = ScanNtfsRaw(run, disk, reporter);
        result.stopped = run.scanStop.stop_requested();
        result.volumesFound = AssignMftNumbers(run, disk, reporter, quit);
    } else {
        reporter.SetStatisticCaption(Statistic::DirectoriesFound, kDirectoriesFoundCaption);
        result.searchedEnd = AdvanceFatSearch(run, disk, reporter);
        result.stopped = run.scanStop.stop_requested();
        result.volumesFound = AnalyzeFoundVolumes(run, reporter, quit);
    }
    return result;
}

std::uint32_t ListVolumes(RecoveryRun& run) {
    run.volumeTree = std::make_unique<TreeModel>();
    TreeModel& tree = *run.volumeTree;
    const TreeItem top = tree.InsertItem(kNoItem, kFileSystemsTop, kTopItemImage, kTopItemImage);
    TreeItem first = kNoItem;
    const TextTable& table = run.fileSystemTable;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        const TreeItem item =
            tree.InsertItem(top,
                            kVolumeItemPrefix + std::to_string(row + 1) + kVolumeItemSeparator +
                                table.Cell(row, kVolumePartType),
                            kVolumeItemImage, kVolumeItemImage);
        if (first == kNoItem) {
            first = item;
        }
    }
    tree.Expand(top, ExpandAction::Expand);
    return first;
}

bool VolumeOfItemText(const RecoveryRun& run, const std::string& text, std::size_t& volume) {
    const std::string prefix = kVolumeItemPrefix;
    const std::size_t separator = text.find(kVolumeItemSeparator, prefix.size());
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0 ||
        separator == std::string::npos) {
        return false;
    }
    std::size_t number = 0;
    for (std::size_t i = prefix.size(); i < separator; ++i) {
        if (text[i] < '0' || text[i] > '9' || number > run.fileSystemTable.RowCount()) {
            return false;
        }
        number = number * 10 + static_cast<std::size_t>(text[i] - '0');
    }
    if (number == 0 || number > run.fileSystemTable.RowCount()) {
        return false;
    }
    volume = number - 1;
    return true;
}

std::vector<VolumeDetailRow> FoundVolumeDetails(const RecoveryRun& run, std::size_t volume,
                                                bool clicked) {
    const TextTable& table = run.fileSystemTable;
    if (volume >= table.RowCount()) {
        return {};
    }
    return {
        {clicked ? kClickedFileSystemRow : kFileSystemRow, std::to_string(volume + 1)},
        {kPartitionTypeRow, table.Cell(volume, kVolumePartType)},
        {kFileSystemStartRow, table.Cell(volume, kVolumeCluster0Start)},
        {kSectorsPerClusterRow, table.Cell(volume, kVolumeSpc)},
    };
}

bool RebuildFoundVolume(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                        std::size_t volume) {
    if (volume >= run.fileSystemTable.RowCount()) {
        return false;
    }
    run.chosenVolume = volume;
    const bool ntfs = IsNtfsVolume(run, volume);
    StartFreshFolderTree(run, ntfs);
    if (ntfs) {
        RebuildFoundNtfsVolumeTree(run, reporter, volume);
    } else {
        RebuildFoundFatVolume(run, disk, reporter, volume);
    }
    return true;
}

void NameEveryFolder(RecoveryRun& run, SectorSource& disk) {
    if (run.activeVolume.fileSystem == FileSystem::Ntfs) {
        return;
    }
    FolderNodeList& nodes = run.folderNodes;
    for (std::size_t i = 0; i < static_cast<std::size_t>(nodes.Count()); ++i) {
        FolderNode& node = nodes.At(i);
        if (!node.listed) {
            node.listed = true;
            if (node.selfId != kOrphanFolderId) {
                NameChildrenFromDirectory(run, disk, node);
            }
        }
    }
}

}  // namespace lumarest

// The Advance search: the order in which the engines find lost volumes and rebuild one.

#include "search/advance_search.h"

#include <utility>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "tree/folder_tree_build.h"
#include "volume/file_system_room.h"
#include "volume/rebuilt_volume.h"

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

// The tree the second phase fills: a fresh "Root" and nothing in the entry tables but the
// orphan folder.
void StartFreshFolderTree(RecoveryRun& run, std::uint32_t rootId) {
    run.folderNodes.Clear();
    run.folderTreeState = FolderTreeState{};
    run.folderTree = std::make_unique<TreeModel>();
    SetRootText(run);
    run.folderTable.Clear();
    run.fileTable.Clear();
    AppendOrphanFolderRow(run.folderTable, rootId);
}

// The file system the search looks for: what the partition was chosen as, FAT32 when nothing.
const FileSystemRoom& SearchedRoom(const RecoveryRun& run) {
    const SelectedPartition& partition = run.selectedPartition;
    return RoomFor(partition.fileSystem
                       ? *partition.fileSystem
                       : FileSystemNamed(partition.fsName).value_or(FileSystem::Fat32));
}

}  // namespace

AdvanceSearchResult RunAdvanceSearch(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                     std::stop_token stop, std::stop_token quit) {
    run.ClearEntryTables();
    run.resultsFound = true;
    run.volumesFound = 0;
    run.chosenVolume = 0;
    run.volumeItems.clear();
    return SearchedRoom(run).ScanAdvance(run, disk, reporter, std::move(stop), std::move(quit));
}

std::uint32_t ListVolumes(RecoveryRun& run) {
    run.volumeTree = std::make_unique<TreeModel>();
    TreeModel& tree = *run.volumeTree;
    const TreeItem top = tree.InsertItem(kNoItem, kFileSystemsTop, kTopItemImage, kTopItemImage);
    TreeItem first = kNoItem;
    const TextTable& table = run.fileSystemTable;
    run.volumeItems.clear();
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        const TreeItem item =
            tree.InsertItem(top,
                            kVolumeItemPrefix + std::to_string(row + 1) + kVolumeItemSeparator +
                                table.Cell(row, kVolumePartType),
                            kVolumeItemImage, kVolumeItemImage);
        run.volumeItems.push_back(item);
        if (first == kNoItem) {
            first = item;
        }
    }
    tree.Expand(top, ExpandAction::Expand);
    return first;
}

bool VolumeOfItem(const RecoveryRun& run, TreeItem item, std::size_t& volume) {
    for (std::size_t row = 0; row < run.volumeItems.size(); ++row) {
        if (run.volumeItems[row] == item && row < run.fileSystemTable.RowCount()) {
            volume = row;
            return true;
        }
    }
    return false;
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
    const FileSystemRoom& room = SearchedRoom(run);
    StartFreshFolderTree(run, room.RootFolderId());
    room.RebuildFound(run, disk, reporter, volume);
    return true;
}

void NameEveryFolder(RecoveryRun& run, SectorSource& disk) {
    const std::unique_ptr<RebuiltVolume> volume = OpenRebuiltVolume(run, disk);
    if (!volume) {
        return;
    }
    FolderNodeList& nodes = run.folderNodes;
    for (std::size_t i = 0; i < static_cast<std::size_t>(nodes.Count()); ++i) {
        FolderNode& node = nodes.At(i);
        if (!node.listed) {
            node.listed = true;
            if (node.selfId != kOrphanFolderId) {
                volume->NameChildFolders(node);
            }
        }
    }
}

}  // namespace lumarest

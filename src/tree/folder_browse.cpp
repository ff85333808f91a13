#include "tree/folder_browse.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/table_columns.h"
#include "core/text_number.h"
#include "output/file_list_row.h"
#include "volume/file_system_room.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {
namespace {

constexpr std::string_view kPartitionPrefix = "Partition";
constexpr const char* kFolderSize = "0";

bool IsTopItem(const TreeModel& tree, TreeItem item) {
    return item != kNoItem && tree.Parent(item) == kNoItem;
}

// Inserts the row at `row` with what it stands for beside it; returns the index after it.
std::size_t InsertListedRow(RecoveryRun& run, std::size_t row, const FileListRow& cells,
                            const FileRef& file) {
    std::vector<FileRef>& refs = run.fileListRefs;
    // Rows written by others before this listing have no reference: they stand for nothing.
    refs.resize(run.fileList.RowCount());
    refs.insert(refs.begin() + static_cast<std::ptrdiff_t>(std::min(row, refs.size())), file);
    return InsertFileListRow(run.fileList, row, cells);
}

bool IsPartitionItem(const TreeModel& tree, TreeItem item) {
    return std::string_view(tree.Text(item)).starts_with(kPartitionPrefix);
}

void SetItemImage(TreeModel& tree, TreeItem item, int image) {
    if (tree.Exists(item)) {
        tree.SetImage(item, image, image);
    }
}

FileListRow FolderRow(const RebuiltVolume& volume, const FolderNode& node,
                      const FolderListingStyle& style) {
    FileListRow row;
    row.name = node.name;
    row.type = style.deletedWording && node.deleted ? kDeletedFolderType : kFolderType;
    row.size = kFolderSize;
    if (style.orphanClock != nullptr && node.selfId == kOrphanFolderId) {
        row.date = style.orphanClock->date;
        row.time = style.orphanClock->time;
    } else {
        volume.DateFolderRow(node, row);
    }
    row.debugInfo1 = NumberText(node.selfId);
    row.debugInfo2 = NumberText(node.parentId);
    row.debugInfo3 = NumberText(node.treeItem);
    return row;
}

// Makes `item` the folder shown open, for an expansion that shows it.
void ShowAsOpenFolder(RecoveryRun& run, TreeItem item) {
    TreeModel& tree = *run.folderTree;
    FolderTreeState& state = run.folderTreeState;
    state.currentFolder = ItemPath(tree, item);
    if (!IsPartitionItem(tree, item)) {
        SetItemImage(tree, item, kOpenFolderImage);
    }
    const TreeItem previous = state.openFolderItem;
    if (previous != item && tree.Exists(previous) && !IsPartitionItem(tree, previous)) {
        SetItemImage(tree, previous, kClosedFolderImage);
    }
    state.openFolderItem = item;
}

// The run's volume; one of no known file system is browsed as FAT: it still lists its
// folders, dated as FAT dates them.
std::unique_ptr<RebuiltVolume> BrowsedVolume(RecoveryRun& run, SectorSource& disk) {
    std::unique_ptr<RebuiltVolume> volume = OpenRebuiltVolume(run, disk);
    return volume ? std::move(volume) : RoomFor(FileSystem::Fat32).OpenVolume(run, disk);
}

// Names the children of the item's folder the first time it is expanded; the orphan folder
// has no directory to read.
void NameOnFirstExpansion(RecoveryRun& run, SectorSource& disk, TreeItem item) {
    FolderNode* node = run.folderNodes.FindByItem(item);
    if (node == nullptr || node->listed) {
        return;
    }
    node->listed = true;
    if (node->selfId == kOrphanFolderId) {
        return;
    }
    BrowsedVolume(run, disk)->NameChildFolders(*node);
}

}  // namespace

void ListFolder(RecoveryRun& run, SectorSource& disk, TreeItem item,
                const FolderListingStyle& style) {
    TextTable& list = run.fileList;
    if (list.ColumnCount() == 0) {
        list.SetColumns(FileListColumns());
    }
    ClearFileList(run);
    if (!run.folderTree) {
        return;
    }
    const std::unique_ptr<RebuiltVolume> browsed = BrowsedVolume(run, disk);
    RebuiltVolume& volume = *browsed;
    const TreeModel& tree = *run.folderTree;
    std::uint32_t key = volume.RootFolderId();
    bool folderDeleted = false;
    TreeItem shown = tree.TopItem();
    if (const FolderNode* node = run.folderNodes.FindByItem(item)) {
        key = node->selfId;
        folderDeleted = FolderItemDeleted(run, item);
        shown = item;
    }
    std::size_t next = 0;
    // The folder's items are its child nodes, in the order they were added.
    for (const TreeItem child : std::vector<TreeItem>(tree.Children(shown))) {
        FolderNode* childNode = run.folderNodes.FindByItem(child);
        if (childNode == nullptr) {
            continue;
        }
        childNode->deleted = childNode->deleted || folderDeleted;
        FileRef folder;
        folder.folderItem = child;
        folder.deleted = childNode->deleted;
        next = InsertListedRow(run, next, FolderRow(volume, *childNode, style), folder);
    }
    volume.ForEachFile(key, [&](const FileListRow& row, const FileRef& file) {
        next = InsertListedRow(run, next, row, file);
    });
}

bool FolderItemDeleted(RecoveryRun& run, TreeItem item) {
    if (!run.folderTree) {
        return false;
    }
    const TreeModel& tree = *run.folderTree;
    // Bounded by the node count: a tree is never deeper than the folders it holds.
    std::int32_t steps = run.folderNodes.Count() + 1;
    for (TreeItem up = item; up != kNoItem && tree.Exists(up) && steps-- > 0;
         up = tree.Parent(up)) {
        if (const FolderNode* node = run.folderNodes.FindByItem(up); node && node->deleted) {
            return true;
        }
    }
    return false;
}

std::optional<FileRef> ListedRowRef(const RecoveryRun& run, std::size_t row) {
    if (row >= run.fileList.RowCount() || row >= run.fileListRefs.size()) {
        return std::nullopt;
    }
    return run.fileListRefs[row];
}

void ClearFileList(RecoveryRun& run) {
    run.fileList.Clear();
    run.fileListRefs.clear();
}

void OnFolderItemExpanding(RecoveryRun& run, SectorSource& disk, TreeItem item,
                           ExpandAction action) {
    if (!run.folderTree || !run.folderTree->Exists(item)) {
        return;
    }
    TreeModel& tree = *run.folderTree;
    FolderTreeState& state = run.folderTreeState;
    const bool top = IsTopItem(tree, item);
    if (action == ExpandAction::Collapse && !top && !IsPartitionItem(tree, item)) {
        SetItemImage(tree, item, kClosedFolderImage);
    }
    // Named before any listing, so the list shows the names the directory gives.
    NameOnFirstExpansion(run, disk, item);
    const TreeItem parent = tree.Parent(item);
    if (parent == kNoItem || tree.Text(parent).empty()) {
        return;
    }
    if (state.listOnExpand || (state.browse && action == ExpandAction::Expand)) {
        ShowAsOpenFolder(run, item);
        if (state.listOnExpand) {
            state.listOnExpand = false;
            tree.Select(item);
            FolderListingStyle style;
            style.deletedWording = true;
            ListFolder(run, disk, item, style);
        }
    } else if (action == ExpandAction::Collapse && state.browse) {
        SetItemImage(tree, item, kClosedFolderImage);
    }
}

void OnFolderItemClicked(RecoveryRun& run, SectorSource& disk, TreeItem item,
                         const ClockText& now) {
    if (!run.folderTree || !run.folderTree->Exists(item)) {
        return;
    }
    TreeModel& tree = *run.folderTree;
    FolderTreeState& state = run.folderTreeState;
    state.listOnExpand = false;
    if (!IsTopItem(tree, item)) {
        state.currentFolder = ItemPath(tree, item);
    }
    const TreeItem previous = state.openFolderItem;
    if (tree.Exists(previous) && !IsPartitionItem(tree, previous)) {
        SetItemImage(tree, previous, kVisitedFolderImage);
    }
    if (state.browse) {
        SetItemImage(tree, item, kOpenFolderImage);
    }
    tree.Select(item);
    state.openFolderItem = item;
    state.lastClickedFolderItem = item;
    // Every click reads the folder's directory again: its entries may name children anew.
    if (const FolderNode* node = run.folderNodes.FindByItem(item)) {
        BrowsedVolume(run, disk)->NameChildFolders(*node);
    }
    FolderListingStyle style;
    style.orphanClock = &now;
    ListFolder(run, disk, item, style);
}

}  // namespace lumarest

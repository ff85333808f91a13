#include "fat/folder_tree_events.h"

#include <ctime>
#include <string_view>
#include <vector>

#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/table_columns.h"
#include "core/text_number.h"
#include "fat/fat_chain.h"
#include "fat/name_children.h"
#include "fat/recovered_entries.h"
#include "output/fat_file_rows.h"
#include "output/file_dates.h"
#include "output/file_list_row.h"
#include "output/ntfs_file_rows.h"

namespace lumarest {
namespace {

constexpr const char* kNtfsName = "NTFS";
constexpr std::string_view kPartitionPrefix = "Partition";
constexpr char kPathSeparator = '\\';
constexpr const char* kFolderSize = "0";
constexpr const char* kClockDateFormat = "%d-%b-%Y";
constexpr const char* kClockTimeFormat = "%H:%M";

bool IsNtfs(const RecoveryRun& run) {
    return run.activeVolume.fsName == kNtfsName;
}

std::uint32_t RootId(const RecoveryRun& run) {
    return IsNtfs(run) ? kNtfsRootId : kFatRootId;
}

bool IsTopItem(const TreeModel& tree, TreeItem item) {
    return item != kNoItem && tree.Parent(item) == kNoItem;
}

bool IsPartitionItem(const TreeModel& tree, TreeItem item) {
    return std::string_view(tree.Text(item)).starts_with(kPartitionPrefix);
}

void SetItemImage(TreeModel& tree, TreeItem item, int image) {
    if (tree.Exists(item)) {
        tree.SetImage(item, image, image);
    }
}

// Every child of `item` carries `state`: none are left out by the test.
bool AllChildrenIn(const TreeModel& tree, TreeItem item, int state) {
    for (const TreeItem child : tree.Children(item)) {
        if (tree.CheckState(child) != state) {
            return false;
        }
    }
    return true;
}

// Gives each ancestor `whole` when all its children carry it, else "partly checked".
void SettleAncestors(TreeModel& tree, TreeItem item, int whole) {
    for (TreeItem parent = tree.Parent(item); parent != kNoItem; parent = tree.Parent(parent)) {
        tree.SetCheckState(parent,
                           AllChildrenIn(tree, parent, whole) ? whole : kPartlyCheckedState);
    }
}

FileListRow FolderRow(const RecoveryRun& run, const FolderNode& node,
                      const FolderListingStyle& style) {
    FileListRow row;
    row.name = node.name;
    row.type = style.deletedWording && node.deleted ? kDeletedFolderType : kFolderType;
    row.size = kFolderSize;
    if (style.orphanClock != nullptr && node.selfId == kOrphanFolderId) {
        row.date = style.orphanClock->date;
        row.time = style.orphanClock->time;
    } else if (IsNtfs(run)) {
        row.date = NtfsDateText(node.date);
        // An NTFS stamp holds the time of day too; the "time" column is unused there.
        row.time = NtfsTimeText(node.date);
    } else {
        row.date = FatDateText(static_cast<std::uint16_t>(node.date));
        row.time = FatTimeText(static_cast<std::uint16_t>(node.time));
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

// Names the children of the item's folder the first time it is expanded; the orphan folder
// has no directory to read.
void NameOnFirstExpansion(RecoveryRun& run, SectorSource& disk, TreeItem item) {
    FolderNode* node = run.folderNodes.FindByItem(item);
    if (node == nullptr || node->listed) {
        return;
    }
    node->listed = true;
    if (node->selfId != kOrphanFolderId) {
        NameChildrenFromDirectory(run, disk, *node);
    }
}

}  // namespace

ClockText LocalClockText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[64] = {};
    char time[64] = {};
    std::strftime(date, sizeof date, kClockDateFormat, &local);
    std::strftime(time, sizeof time, kClockTimeFormat, &local);
    return ClockText{date, time};
}

std::string ItemPath(const TreeModel& tree, TreeItem item) {
    if (!tree.Exists(item) || IsTopItem(tree, item)) {
        return {};
    }
    std::vector<TreeItem> ancestors;
    for (TreeItem up = tree.Parent(item); up != kNoItem && !IsTopItem(tree, up);
         up = tree.Parent(up)) {
        ancestors.push_back(up);
    }
    std::string path;
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
        path += tree.Text(*it);
        if (path.empty() || path.back() != kPathSeparator) {
            path += kPathSeparator;
        }
    }
    return path + tree.Text(item);
}

void ToggleCheck(TreeModel& tree, TreeItem item) {
    const int state = tree.CheckState(item);
    if (state == kCheckedState || state == kPartlyCheckedState) {
        SetCheckRecursive(tree, item, kUncheckedState);
        UncheckParents(tree, item);
    } else {
        SetCheckRecursive(tree, item, kCheckedState);
        CheckParents(tree, item);
    }
}

void SetCheckRecursive(TreeModel& tree, TreeItem item, int state) {
    // A folder tree can be deeper than the stack allows recursion: walk it with a list.
    std::vector<TreeItem> pending{item};
    while (!pending.empty()) {
        const TreeItem next = pending.back();
        pending.pop_back();
        tree.SetCheckState(next, state);
        const auto& children = tree.Children(next);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

void CheckParents(TreeModel& tree, TreeItem item) {
    SettleAncestors(tree, item, kCheckedState);
}

void UncheckParents(TreeModel& tree, TreeItem item) {
    SettleAncestors(tree, item, kUncheckedState);
}

void ListFolder(RecoveryRun& run, SectorSource& disk, TreeItem item,
                const FolderListingStyle& style) {
    TextTable& list = run.fileList;
    if (list.ColumnCount() == 0) {
        list.SetColumns(FileListColumns());
    }
    list.Clear();
    if (!run.folderTree) {
        return;
    }
    const TreeModel& tree = *run.folderTree;
    std::uint32_t key = RootId(run);
    bool folderDeleted = false;
    TreeItem shown = tree.TopItem();
    if (const FolderNode* node = run.folderNodes.FindByItem(item)) {
        key = node->selfId;
        folderDeleted = node->deleted;
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
        next = InsertFileListRow(list, next, FolderRow(run, *childNode, style));
    }
    if (IsNtfs(run)) {
        AddNtfsFileRows(run, next, key);
    } else if (key != kOrphanFolderId) {
        AddFatFileRows(run, disk, next, key, folderDeleted);
    }
}

void NameChildrenFromDirectory(RecoveryRun& run, SectorSource& disk, const FolderNode& node) {
    FatTable fat(run.activeVolume, disk);
    NameChildrenFromDirectory(run, disk, fat, node);
}

void NameChildrenFromDirectory(RecoveryRun& run, SectorSource& disk, FatTable& fat,
                               const FolderNode& node) {
    const ActiveVolume& volume = run.activeVolume;
    const std::uint32_t selfId = node.selfId;
    // Clusters 0 and 1 hold no directory: reading them would read the FAT area as entries.
    if (IsNtfs(run) || selfId == kOrphanFolderId || selfId < kFirstDataCluster) {
        return;
    }
    LongNameSource source = VolumeNameSource(run, disk);
    ForEachDirectorySector(volume, disk, fat, selfId, source,
                           [&](std::uint64_t sector, ByteSpan bytes) {
                               return NameChildFoldersFrom(run, source, bytes, sector, selfId);
                           });
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
        NameChildrenFromDirectory(run, disk, *node);
    }
    FolderListingStyle style;
    style.orphanClock = &now;
    ListFolder(run, disk, item, style);
}

}  // namespace lumarest

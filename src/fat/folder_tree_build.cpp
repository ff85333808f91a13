#include "fat/folder_tree_build.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/text_number.h"
#include "core/text_table.h"
#include "fat/fat_chain.h"
#include "fat/folder_tree_events.h"
#include "fat/name_children.h"
#include "fat/recovered_entries.h"

namespace lumarest {
namespace {

constexpr const char* kCompletedText = "Completed ";
constexpr int kFullPercent = 100;
constexpr std::int64_t kFatWordMask = 0xFFFF;

// Which rows already hang in the tree. A row is added once at most: a corrupt disk can link
// folders in a loop or repeat a folder's number, and following such links again and again
// would grow the tree without end.
using AddedRows = std::vector<bool>;

bool IsFolderRow(const TextTable& table, std::size_t row) {
    return table.Cell(row, kEntryType) == kFolderType;
}

std::string MadeUpFolderName(RecoveryRun& run) {
    ++run.dirCounter;
    char text[32];
    std::snprintf(text, sizeof text, kMadeUpFolderName, static_cast<int>(run.dirCounter));
    return text;
}

// A folder whose name was never found still needs one: an item without text cannot be clicked.
std::string RowFolderName(RecoveryRun& run, const TextTable& table, std::size_t row) {
    const std::string& name = table.Cell(row, kEntryName);
    return name.empty() ? MadeUpFolderName(run) : name;
}

struct RowRange {
    std::size_t first = 0;
    std::size_t end = 0;
};

// The rows whose "parent" the table's own sort put level with `keyText`. The sort orders
// numbers of up to eight digits by value but lumps every longer one together in no order, so
// the range holds exactly the rows with that parent, plus, for a long number, other long ones.
RowRange RowsSortedWithParent(const TextTable& table, const std::string& keyText) {
    const auto below = [&](std::size_t row, bool orEqual) {
        const int order = CompareCells(table.Cell(row, kEntryParent), keyText);
        return orEqual ? order <= 0 : order < 0;
    };
    const auto partition = [&](bool orEqual) {
        std::size_t lo = 0;
        std::size_t hi = table.RowCount();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (below(mid, orEqual)) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        return lo;
    };
    return RowRange{partition(false), partition(true)};
}

// True when a folder numbered `selfId` already holds `parentItem` (or is it): adding it there
// again would start a loop.
bool AncestorHasSelf(RecoveryRun& run, TreeItem parentItem, std::uint32_t selfId) {
    const TreeModel& tree = *run.folderTree;
    for (TreeItem item = parentItem; item != kNoItem; item = tree.Parent(item)) {
        const FolderNode* node = run.folderNodes.FindByItem(item);
        if (node != nullptr && node->selfId == selfId) {
            return true;
        }
    }
    return false;
}

void AddChildRows(RecoveryRun& run, std::uint32_t key, const TextTable& table, TreeItem parentItem,
                  AddedRows* added) {
    if (!run.folderTree) {
        return;
    }
    const RowRange range = RowsSortedWithParent(table, NumberText(key));
    for (std::size_t row = range.first; row < range.end; ++row) {
        if (!IsFolderRow(table, row) || table.CellU32(row, kEntryParent) != key ||
            (added != nullptr && (*added)[row])) {
            continue;
        }
        const std::uint32_t selfId = table.CellU32(row, kEntrySelf);
        // A build adds each row once, which ends any loop; a single call has only the tree
        // above to go by.
        if (added != nullptr) {
            (*added)[row] = true;
        } else if (AncestorHasSelf(run, parentItem, selfId)) {
            continue;
        }
        run.resultsFound = true;
        AddFolderNode(run, parentItem, RowFolderName(run, table, row), selfId,
                      table.CellNumber(row, kEntryDate), table.CellNumber(row, kEntryTime), key,
                      IsDeletedRow(table, row));
    }
}

// Adds the children of every node from `position` on, reaching each new level as its nodes
// are appended; moves the bar forward only.
void FillBreadthFirst(RecoveryRun& run, const TextTable& table, Reporter& reporter, ProgressBar bar,
                      AddedRows& added, std::size_t& position, int& shown) {
    for (; position < static_cast<std::size_t>(run.folderNodes.Count()); ++position) {
        const FolderNode& node = run.folderNodes.At(position);
        const std::uint32_t selfId = node.selfId;
        const TreeItem item = node.treeItem;
        AddChildRows(run, selfId, table, item, &added);
        const auto count = static_cast<std::uint64_t>(run.folderNodes.Count());
        const int percent = static_cast<int>((position + 1) * std::uint64_t{kFullPercent} / count);
        if (percent > shown) {
            shown = percent;
            reporter.SetProgress(bar, percent, kCompletedText);
        }
    }
}

// Folders the walk from the root never reached (their parents link in a loop) go under the
// orphan folder with everything below them, rather than being lost from the tree.
void FillTree(RecoveryRun& run, const TextTable& table, Reporter& reporter, ProgressBar bar,
              AddedRows& added, std::uint32_t rootId) {
    reporter.SetProgress(bar, 0, kCompletedText);
    std::size_t position = 0;
    int shown = 0;
    FillBreadthFirst(run, table, reporter, bar, added, position, shown);
    const FolderNode* orphan = run.folderNodes.FindChild(kOrphanFolderId, rootId);
    if (orphan == nullptr) {
        return;
    }
    const TreeItem orphanItem = orphan->treeItem;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        const std::uint32_t selfId = table.CellU32(row, kEntrySelf);
        if (added[row] || !IsFolderRow(table, row) || selfId == rootId ||
            selfId == kOrphanFolderId) {
            continue;
        }
        added[row] = true;
        AddFolderNode(run, orphanItem, RowFolderName(run, table, row), selfId,
                      table.CellNumber(row, kEntryDate), table.CellNumber(row, kEntryTime),
                      kOrphanFolderId, IsDeletedRow(table, row));
        FillBreadthFirst(run, table, reporter, bar, added, position, shown);
    }
}

void ExpandTop(RecoveryRun& run) {
    const TreeItem top = SetRootText(run);
    run.folderTree->Expand(top, ExpandAction::Expand);
}

// Reads each folder's own directory once to name its children, then leaves every folder
// item expanded once and collapsed, as the window expects of a built tree.
void NameAllChildren(RecoveryRun& run, SectorSource& disk) {
    FatTable fat(run.activeVolume, disk);
    FolderNodeList& nodes = run.folderNodes;
    for (std::size_t i = 0; i < static_cast<std::size_t>(nodes.Count()); ++i) {
        if (!nodes.At(i).listed) {
            nodes.At(i).listed = true;
            NameChildrenFromDirectory(run, disk, fat, nodes.At(i));
        }
        run.folderTree->Expand(nodes.At(i).treeItem, ExpandAction::Expand);
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(nodes.Count()); ++i) {
        run.folderTree->Expand(nodes.At(i).treeItem, ExpandAction::Collapse);
        nodes.At(i).listed = true;
    }
}

}  // namespace

TreeItem SetRootText(RecoveryRun& run) {
    if (!run.folderTree) {
        run.folderTree = std::make_unique<TreeModel>();
    }
    TreeModel& tree = *run.folderTree;
    TreeItem top = tree.TopItem();
    if (top == kNoItem) {
        top = tree.InsertItem(kNoItem, kRootText, kTopItemImage, kTopItemImage);
    } else {
        tree.SetText(top, kRootText);
    }
    return top;
}

void AddChildFolders(RecoveryRun& run, const std::string& parentIdText, const TextTable& table,
                     TreeItem parentItem) {
    AddChildRows(run, ParseTextU32(parentIdText), table, parentItem, nullptr);
}

namespace {

// The FAT builds' common part: root-level folders named from the root directory of a
// `fsName` volume, then every level breadth first.
void BuildFatLevels(RecoveryRun& run, SectorSource& disk, TextTable& table, Reporter& reporter,
                    ProgressBar bar, const std::string& fsName) {
    if (table.RowCount() > 1) {
        run.resultsFound = true;
    }
    const TreeItem top = SetRootText(run);
    NameRootFolders(run, disk, table, fsName);
    AddedRows added(table.RowCount(), false);
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        if (table.CellU32(row, kEntryParent) != kFatRootId || !IsFolderRow(table, row)) {
            continue;
        }
        added[row] = true;
        AddFolderNode(run, top, RowFolderName(run, table, row), table.CellU32(row, kEntrySelf),
                      table.CellNumber(row, kEntryDate) & kFatWordMask,
                      table.CellNumber(row, kEntryTime) & kFatWordMask, kFatRootId,
                      IsDeletedRow(table, row));
    }
    ExpandTop(run);
    FillTree(run, table, reporter, bar, added, kFatRootId);
}

}  // namespace

int BuildFatFolderTree(RecoveryRun& run, SectorSource& disk, TextTable& table, Reporter& reporter,
                       ProgressBar bar) {
    BuildFatLevels(run, disk, table, reporter, bar, run.selectedPartition.fsName);
    table.Clear();
    NameAllChildren(run, disk);
    return 1;
}

int BuildFoundFatFolderTree(RecoveryRun& run, SectorSource& disk, TextTable& table,
                            Reporter& reporter, ProgressBar bar) {
    // The bar shows 0 throughout: the levels are filled against a reporter that keeps quiet.
    reporter.SetProgress(bar, 0, kCompletedText);
    NullReporter quiet;
    BuildFatLevels(run, disk, table, quiet, bar, run.activeVolume.fsName);
    return 1;
}

int BuildNtfsFolderTree(RecoveryRun& run, TextTable& table, Reporter& reporter, ProgressBar bar) {
    if (table.RowCount() > 1) {
        run.resultsFound = true;
    }
    const TreeItem top = SetRootText(run);
    const auto isRootLevel = [&](std::size_t row) {
        return table.CellU32(row, kEntryParent) == kNtfsRootId && IsFolderRow(table, row) &&
               table.CellU32(row, kEntrySelf) != kNtfsRootId;
    };
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        // A folder whose parent is the orphan folder's own number hangs at the root.
        if (table.CellU32(row, kEntryParent) == kOrphanFolderId &&
            table.CellU32(row, kEntrySelf) == kOrphanFolderId) {
            table.SetCell(row, kEntryParent, NumberText(kNtfsRootId));
        }
        if (!isRootLevel(row)) {
            continue;
        }
        // The time column is unused on NTFS; it is kept as its 32-bit reading.
        const auto time = static_cast<std::int32_t>(table.CellU32(row, kEntryTime));
        AddFolderNode(run, top, RowFolderName(run, table, row), table.CellU32(row, kEntrySelf),
                      table.CellNumber(row, kEntryDate), time, kNtfsRootId,
                      IsDeletedRow(table, row));
    }
    ExpandTop(run);
    table.SortByColumn(kEntryParent);
    AddedRows added(table.RowCount(), false);
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        added[row] = isRootLevel(row);
    }
    reporter.ShowProgress(bar, true);
    FillTree(run, table, reporter, bar, added, kNtfsRootId);
    reporter.ShowProgress(bar, false);
    table.Clear();
    return 1;
}

}  // namespace lumarest

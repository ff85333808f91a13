#include "tree/folder_tree_build.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/text_number.h"
#include "core/text_table.h"

namespace lumarest {
namespace {

constexpr const char* kCompletedText = "Completed ";
constexpr int kFullPercent = 100;

std::string MadeUpFolderName(RecoveryRun& run) {
    ++run.dirCounter;
    char text[32];
    std::snprintf(text, sizeof text, kMadeUpFolderName, static_cast<int>(run.dirCounter));
    return text;
}

}  // namespace

std::string RowFolderName(RecoveryRun& run, const TextTable& table, std::size_t row) {
    const std::string& name = table.Cell(row, kEntryName);
    return name.empty() ? MadeUpFolderName(run) : name;
}

namespace {

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

}  // namespace

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

// Adds the children of every node from `progress.position` on, reaching each new level as its
// nodes are appended, except those of a node numbered `deferredId`; moves the bar forward only.
void FillBreadthFirst(RecoveryRun& run, const TextTable& table, Reporter& reporter, ProgressBar bar,
                      AddedRows& added, FillProgress& progress,
                      std::optional<std::uint32_t> deferredId) {
    std::size_t& position = progress.position;
    int& shown = progress.shown;
    for (; position < static_cast<std::size_t>(run.folderNodes.Count()); ++position) {
        const FolderNode& node = run.folderNodes.At(position);
        const std::uint32_t selfId = node.selfId;
        const TreeItem item = node.treeItem;
        if (selfId != deferredId) {
            AddChildRows(run, selfId, table, item, &added);
        }
        const auto count = static_cast<std::uint64_t>(run.folderNodes.Count());
        const int percent = static_cast<int>((position + 1) * std::uint64_t{kFullPercent} / count);
        if (percent > shown) {
            shown = percent;
            reporter.SetProgress(bar, percent, kCompletedText);
        }
    }
}

// Hangs the folders no walk reached under the orphan folder, each with everything below it.
void FillUnreached(RecoveryRun& run, const TextTable& table, Reporter& reporter, ProgressBar bar,
                   AddedRows& added, std::uint32_t rootId, FillProgress& progress) {
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
        FillBreadthFirst(run, table, reporter, bar, added, progress);
    }
}

void FillTree(RecoveryRun& run, const TextTable& table, Reporter& reporter, ProgressBar bar,
              AddedRows& added, std::uint32_t rootId) {
    reporter.SetProgress(bar, 0, kCompletedText);
    FillProgress progress;
    FillBreadthFirst(run, table, reporter, bar, added, progress);
    FillUnreached(run, table, reporter, bar, added, rootId, progress);
}

void ExpandTop(RecoveryRun& run) {
    const TreeItem top = SetRootText(run);
    run.folderTree->Expand(top, ExpandAction::Expand);
}

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

}  // namespace lumarest

#include "core/entry_rows.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/recovery_run.h"
#include "core/table_columns.h"
#include "core/text_number.h"

namespace lumarest {
namespace {

constexpr const char* kReattachText = "Searching Lost Directories ";
constexpr const char* kCompletedText = "Completed ";
constexpr int kFullPercent = 100;

void EnsureEntryColumns(TextTable& table) {
    if (table.ColumnCount() == 0) {
        table.SetColumns(EntryTableColumns());
    }
}

// The "self" numbers of rows from `firstRow` on, sorted as unsigned numbers. The table's own
// sort puts every number of nine or more digits in one heap, so a binary search of the rows
// could miss a folder at a far cluster; this index finds exactly the rows the search covers.
std::vector<std::uint32_t> SortedSelfIds(const TextTable& table, std::size_t firstRow) {
    std::vector<std::uint32_t> ids;
    for (std::size_t row = firstRow; row < table.RowCount(); ++row) {
        ids.push_back(table.CellU32(row, kEntrySelf));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

int Percent(std::size_t done, std::size_t total) {
    return static_cast<int>(
        std::min<std::uint64_t>(std::uint64_t{done} * kFullPercent / total, kFullPercent));
}

}  // namespace

std::size_t AppendEntryRow(TextTable& table, const RecoveredEntry& entry) {
    EnsureEntryColumns(table);
    return table.AppendRow({entry.name, NumberText(entry.sector), NumberText(entry.self),
                            NumberText(entry.parent), NumberText(entry.date),
                            NumberText(entry.time), NumberText(entry.size), NumberText(entry.attr),
                            "0", entry.type, entry.deleted ? kDeletedMarkText : ""});
}

std::size_t AppendOrphanFolderRow(TextTable& table, std::uint32_t rootId) {
    RecoveredEntry orphan;
    orphan.name = kOrphanFolderName;
    orphan.self = kOrphanFolderId;
    orphan.parent = rootId;
    orphan.attr = kDirectoryAttribute;
    return AppendEntryRow(table, orphan);
}

bool IsDeletedRow(const TextTable& table, std::size_t row) {
    return table.Cell(row, kEntryDeleted) == kDeletedMarkText;
}

bool IsFolderRow(const TextTable& table, std::size_t row) {
    return table.Cell(row, kEntryType) == kFolderType;
}

bool IsNameOnlyRow(const TextTable& table, std::size_t row) {
    return table.Cell(row, kEntryType) == kNameOnlyFileType;
}

void ReattachOrphans(TextTable& table, Reporter& reporter, ProgressBar bar, std::uint32_t rootId,
                     std::size_t firstRow) {
    const std::size_t rows = table.RowCount();
    const std::vector<std::uint32_t> selfIds = SortedSelfIds(table, firstRow);
    int shownPercent = -1;
    for (std::size_t row = 0; row < rows; ++row) {
        const std::uint32_t parent = table.CellU32(row, kEntryParent);
        // A folder that names itself as its parent has lost its real one; left as it is, it
        // would hang in the tree under itself with everything inside it.
        const bool ownParent = parent == table.CellU32(row, kEntrySelf);
        if (parent != rootId &&
            (ownParent || !std::binary_search(selfIds.begin(), selfIds.end(), parent))) {
            table.SetCell(row, kEntryParent, NumberText(kOrphanFolderId));
        }
        // Shown when the bar moves and at the last row: a call per row would slow the window.
        const int percent = Percent(row, rows);
        if (row > 0 && (percent != shownPercent || row + 1 == rows)) {
            shownPercent = percent;
            reporter.SetStatusText(kReattachText + std::to_string(row) + "/" +
                                   std::to_string(rows));
            reporter.SetProgress(bar, percent, kCompletedText);
        }
    }
}

TreeItem AddFolderNode(TreeModel& tree, FolderNodeList& nodes, TreeItem parentItem,
                       const std::string& name, std::uint32_t selfId, std::int64_t date,
                       std::int64_t time, std::uint32_t parentId, bool deleted) {
    const TreeItem item = tree.InsertItem(parentItem, name, kClosedFolderImage, kClosedFolderImage);
    tree.SetData(item, 0);
    tree.SetCheckState(item, kUncheckedState);
    tree.SetCheckState(tree.TopItem(), kUncheckedState);
    nodes.Append(FolderNode{name, item, selfId, parentId, date, time, false, deleted});
    return item;
}

TreeItem AddFolderNode(RecoveryRun& run, TreeItem parentItem, const std::string& name,
                       std::uint32_t selfId, std::int64_t date, std::int64_t time,
                       std::uint32_t parentId, bool deleted) {
    if (!run.folderTree) {
        run.folderTree = std::make_unique<TreeModel>();
    }
    return AddFolderNode(*run.folderTree, run.folderNodes, parentItem, name, selfId, date, time,
                         parentId, deleted);
}

}  // namespace lumarest

#include "tree/named_folder_tree.h"

#include <cstdint>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/text_number.h"
#include "core/text_table.h"
#include "tree/folder_tree_build.h"

namespace lumarest {

int BuildNamedFolderTree(RecoveryRun& run, TextTable& table, Reporter& reporter, ProgressBar bar,
                         std::uint32_t rootId) {
    if (table.RowCount() > 1) {
        run.resultsFound = true;
    }
    const TreeItem top = SetRootText(run);
    const auto isRootLevel = [&](std::size_t row) {
        return table.CellU32(row, kEntryParent) == rootId && IsFolderRow(table, row) &&
               table.CellU32(row, kEntrySelf) != rootId;
    };
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        // A folder whose parent is the orphan folder's own number hangs at the root.
        if (table.CellU32(row, kEntryParent) == kOrphanFolderId &&
            table.CellU32(row, kEntrySelf) == kOrphanFolderId) {
            table.SetCell(row, kEntryParent, NumberText(rootId));
        }
        if (!isRootLevel(row)) {
            continue;
        }
        // The time column is kept as its 32-bit reading.
        const auto time = static_cast<std::int32_t>(table.CellU32(row, kEntryTime));
        AddFolderNode(run, top, RowFolderName(run, table, row), table.CellU32(row, kEntrySelf),
                      table.CellNumber(row, kEntryDate), time, rootId, IsDeletedRow(table, row));
    }
    ExpandTop(run);
    table.SortByColumn(kEntryParent);
    AddedRows added(table.RowCount(), false);
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        added[row] = isRootLevel(row);
    }
    reporter.ShowProgress(bar, true);
    FillTree(run, table, reporter, bar, added, rootId);
    reporter.ShowProgress(bar, false);
    table.Clear();
    return 1;
}

}  // namespace lumarest

// The FAT folder tree: folders named from their parents' directory entries.

#include "fat/fat_folder_tree.h"

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/text_table.h"
#include "fat/fat_chain.h"
#include "fat/folder_placement.h"
#include "fat/name_children.h"
#include "tree/folder_tree_build.h"
#include "tree/folder_tree_events.h"

namespace lumarest {
namespace {

constexpr const char* kCompletedText = "Completed ";
constexpr std::int64_t kFatWordMask = 0xFFFF;

// The FAT fill: everything Root reaches by ".." or by live entries first, and only then the
// orphan folder's rows, so that a folder whose own ".." is damaged is not taken for an orphan
// while its parent still names it.
void FillFatTree(RecoveryRun& run, SectorSource& disk, const TextTable& table, Reporter& reporter,
                 ProgressBar bar, AddedRows& added) {
    reporter.SetProgress(bar, 0, kCompletedText);
    FillProgress progress;
    FillBreadthFirst(run, table, reporter, bar, added, progress, kOrphanFolderId);
    PlaceFoldersNamedLive(run, disk, table, added, [&] {
        FillBreadthFirst(run, table, reporter, bar, added, progress, kOrphanFolderId);
    });
    if (const FolderNode* orphan = run.folderNodes.FindChild(kOrphanFolderId, kFatRootId)) {
        AddChildRows(run, kOrphanFolderId, table, orphan->treeItem, &added);
        FillBreadthFirst(run, table, reporter, bar, added, progress);
    }
    FillUnreached(run, table, reporter, bar, added, kFatRootId, progress);
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

// The FAT builds' common part: root-level folders named from the root directory of a
// `fsName` volume, then every level breadth first.
void BuildFatLevels(RecoveryRun& run, SectorSource& disk, TextTable& table, Reporter& reporter,
                    ProgressBar bar, const std::string& fsName, bool placeByEntries) {
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
    if (placeByEntries) {
        FillFatTree(run, disk, table, reporter, bar, added);
    } else {
        FillTree(run, table, reporter, bar, added, kFatRootId);
    }
}

}  // namespace

int BuildFatFolderTree(RecoveryRun& run, SectorSource& disk, TextTable& table, Reporter& reporter,
                       ProgressBar bar) {
    BuildFatLevels(run, disk, table, reporter, bar, run.selectedPartition.fsName, true);
    table.Clear();
    NameAllChildren(run, disk);
    return 1;
}

int BuildFoundFatFolderTree(RecoveryRun& run, SectorSource& disk, TextTable& table,
                            Reporter& reporter, ProgressBar bar) {
    // The bar shows 0 throughout: the levels are filled against a reporter that keeps quiet.
    reporter.SetProgress(bar, 0, kCompletedText);
    NullReporter quiet;
    BuildFatLevels(run, disk, table, quiet, bar, run.activeVolume.fsName, false);
    return 1;
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
    if (selfId == kOrphanFolderId || selfId < kFirstDataCluster) {
        return;
    }
    LongNameSource source = VolumeNameSource(run, disk);
    FolderNamePass pass;
    ForEachDirectorySector(
        volume, disk, fat, selfId, source, [&](std::uint64_t sector, ByteSpan bytes) {
            return NameChildFoldersFrom(run, source, bytes, sector, selfId, pass);
        });
}

}  // namespace lumarest

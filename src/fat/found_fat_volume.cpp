// The second phase of an Advance FAT search: one found volume's folder tree.

#include "fat/found_fat_volume.h"

#include <string>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/advance_fat_tables.h"
#include "fat/fat_chain_found_volume.h"
#include "fat/fat_folder_tree.h"
#include "tree/folder_tree_build.h"

namespace lumarest {
namespace {

constexpr const char* kFoundFolderName = "DIR";

// The found volume's directories become folder rows DIR0, DIR1, ... in table order.
void CopyVolumeDirectories(RecoveryRun& run, std::size_t volume) {
    const auto number = static_cast<std::int64_t>(volume) + 1;
    std::size_t copied = 0;
    for (const FoundDirectory& d : ReadDirectoryRows(run.foundDirectoryTable)) {
        if (d.fileSystem != number) {
            continue;
        }
        RecoveredEntry entry;
        entry.name = kFoundFolderName + std::to_string(copied++);
        entry.sector = d.sector;
        entry.self = d.self;
        entry.parent = d.parent;
        entry.date = d.date;
        entry.time = d.time;
        entry.size = 0;
        entry.attr = kDirectoryAttribute;
        entry.type = kFolderType;
        AppendEntryRow(run.folderTable, entry);
    }
}

}  // namespace

void RebuildFoundFatVolume(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                           std::size_t volume) {
    CopyVolumeDirectories(run, volume);
    reporter.ShowProgress(ProgressBar::TreeLoading, true);
    if (!LoadFoundVolume(run, disk, reporter, volume)) {
        return;
    }
    TextTable& table = run.folderTable;
    reporter.SetPhaseLabel(kSearchingLostDirectoriesPhase);
    table.SortByColumn(kEntrySelf);
    ReattachOrphans(table, reporter, ProgressBar::TreeLoading, kFatRootId, 0);
    reporter.SetPhaseLabel(kStoringDirectoryPhase);
    table.SortByColumn(kEntryParent);
    BuildFoundFatFolderTree(run, disk, table, reporter, ProgressBar::TreeLoading);
}

}  // namespace lumarest

#pragma once

#include <cstddef>
#include <optional>

#include "core/file_ref.h"
#include "core/tree_model.h"
#include "tree/folder_tree_events.h"

namespace lumarest {

struct RecoveryRun;
class SectorSource;

// How one listing words and dates its folder rows.
struct FolderListingStyle {
    bool deletedWording = false;             // a deleted child folder reads "Deleted FOLDER"
    const ClockText* orphanClock = nullptr;  // when set, the orphan folder's row shows it
};

// Lists one folder of run.folderTree in run.fileList, and what each row stands for in
// run.fileListRefs: its child folders, then its files as the run's volume lists them. A
// folder item without a node lists the root.
void ListFolder(RecoveryRun& run, SectorSource& disk, TreeItem item,
                const FolderListingStyle& style = {});

// True when the folder of `item` is deleted itself or lies inside a deleted folder.
bool FolderItemDeleted(RecoveryRun& run, TreeItem item);

// What row `row` of the file list stands for; nothing for a row no listing filled.
std::optional<FileRef> ListedRowRef(const RecoveryRun& run, std::size_t row);

// Empties the file list and what its rows stand for.
void ClearFileList(RecoveryRun& run);

// What expanding or collapsing a folder item does: its pictures, the listing the file list
// asked for, and naming its child folders the first time.
void OnFolderItemExpanding(RecoveryRun& run, SectorSource& disk, TreeItem item,
                           ExpandAction action);

// What a click on a folder item's label does once the browse flag is settled: the current
// folder, the pictures, naming its children again and listing it.
void OnFolderItemClicked(RecoveryRun& run, SectorSource& disk, TreeItem item, const ClockText& now);

}  // namespace lumarest

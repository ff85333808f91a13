#pragma once

#include "tree/folder_tree_build.h"

namespace lumarest {

struct RecoveryRun;
class Reporter;
class SectorSource;

inline constexpr const char* kDirectoriesFoundCaption = "Directories Found\t\t:";

struct StandardSearchResult {
    bool stopped = false;  // run.scanStop was requested before the scan ended
    // The folder table held rows beyond the orphan folder when the scan ended.
    bool foundFolderRows = false;
    // An error box has told why the volume could not be searched as asked: its layout could
    // not be calculated, its clusters have no sectors, or its records have a size not read.
    bool failed = false;
};

// The Standard search of run.selectedPartition, up to a built folder tree: on FAT16 and
// FAT32 the layout is calculated unless `bootSectorValid`, then the lost-directory scan; on
// NTFS the master file table is read. Then the orphans are re-attached and the tree is
// built in run.folderTree, with run.activeVolume describing the volume. A stop through
// run.scanStop ends the scan early and still builds the tree from what was found.
StandardSearchResult RunStandardSearch(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                       bool bootSectorValid);

}  // namespace lumarest

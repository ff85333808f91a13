#pragma once

#include "core/reporter.h"

namespace lumarest {

struct RecoveryRun;
struct FolderNode;
class FatTable;
class SectorSource;
class TextTable;

// Turns the folder rows of a FAT partition's table (sorted by "parent", orphans re-attached)
// into the folder tree under "Root": root-level folders named from the root directory, then
// every level breadth first, then every folder expanded once so that its children carry their
// directory-entry names. Shows its progress on `bar`; empties `table`. Returns 1.
int BuildFatFolderTree(RecoveryRun& run, SectorSource& disk, TextTable& table, Reporter& reporter,
                       ProgressBar bar);

// The same for a FAT file system found by the Advance search, whose layout is
// run.activeVolume: the root-level folders are named from its root directory, the bar is set
// to 0 and not moved, and `table` is kept so that child folders are named when their parent
// is first expanded. Returns 1.
int BuildFoundFatFolderTree(RecoveryRun& run, SectorSource& disk, TextTable& table,
                            Reporter& reporter, ProgressBar bar);

// Names the child folders of `node` from its own directory, cluster by cluster, until the
// directory ends.
void NameChildrenFromDirectory(RecoveryRun& run, SectorSource& disk, const FolderNode& node);
// The same through a FAT that many folders share, as the tree build reads it.
void NameChildrenFromDirectory(RecoveryRun& run, SectorSource& disk, FatTable& fat,
                               const FolderNode& node);

}  // namespace lumarest

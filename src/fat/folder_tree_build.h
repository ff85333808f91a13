#pragma once

#include <cstdint>
#include <string>

#include "core/reporter.h"
#include "core/tree_model.h"

namespace lumarest {

struct RecoveryRun;
class SectorSource;
class TextTable;

inline constexpr const char* kRootText = "Root";
// The phases of every tree build: orphans re-attached, then the tree stored.
inline constexpr const char* kSearchingLostDirectoriesPhase =
    "Searching Lost Directories. Please Wait...";
inline constexpr const char* kStoringDirectoryPhase =
    "Storing Directory Information. Please Wait...";
inline constexpr int kTopItemImage = 2;
// Made-up names of folders whose name was never found: DIR_1, DIR_2, ... from run.dirCounter.
inline constexpr const char* kMadeUpFolderName = "DIR_%d";

// Sets the folder tree's top item text to "Root", making the tree and the item (image 2)
// when they do not exist yet. Returns the top item.
TreeItem SetRootText(RecoveryRun& run);

// Adds under `parentItem` one tree item and folder node per "FOLDER" row of `table` whose
// "parent" is the number in `parentIdText`, in table order. The table must be sorted by
// "parent": the run is found by binary search. Raises run.resultsFound for each folder added.
void AddChildFolders(RecoveryRun& run, const std::string& parentIdText, const TextTable& table,
                     TreeItem parentItem);

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

// The same for an NTFS table: root-level folders are the rows whose parent is record 5.
// Raises run.resultsFound when the table holds more than the orphan row. Empties `table`.
// Returns 1.
int BuildNtfsFolderTree(RecoveryRun& run, TextTable& table, Reporter& reporter, ProgressBar bar);

}  // namespace lumarest

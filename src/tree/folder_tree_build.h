#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// Which rows of an entry table already hang in the tree. A row is added once at most: a corrupt
// disk can link folders in a loop or repeat a folder's number, and following such links again
// and again would grow the tree without end.
using AddedRows = std::vector<bool>;

// A folder whose name was never found still needs one: an item without text cannot be clicked.
// Such folders are named DIR_1, DIR_2, ... from run.dirCounter.
std::string RowFolderName(RecoveryRun& run, const TextTable& table, std::size_t row);

// Hangs every folder row not yet added below its parent, level by level from the folders
// already in the tree (`table` sorted by "parent"). Folders the walk from the root never
// reached (their parents link in a loop) go under the orphan folder with everything below them,
// rather than being lost from the tree.
void FillTree(RecoveryRun& run, const TextTable& table, Reporter& reporter, ProgressBar bar,
              AddedRows& added, std::uint32_t rootId);

// Sets "Root" as the top item's text and expands it.
void ExpandTop(RecoveryRun& run);

// The steps FillTree is made of, for file systems that fill in their own order.
// How far a fill has gone: the next node whose children are added, and the bar's percent.
struct FillProgress {
    std::size_t position = 0;
    int shown = 0;
};
// Adds every folder row of `table` whose parent is `key` under `parentItem`; with `added`,
// each row once only, otherwise not below a folder of the same number.
void AddChildRows(RecoveryRun& run, std::uint32_t key, const TextTable& table, TreeItem parentItem,
                  AddedRows* added);
// Adds the children of every node from `progress.position` on, reaching each new level as its
// nodes are appended, except those of a node numbered `deferredId`; moves the bar forward only.
void FillBreadthFirst(RecoveryRun& run, const TextTable& table, Reporter& reporter, ProgressBar bar,
                      AddedRows& added, FillProgress& progress,
                      std::optional<std::uint32_t> deferredId = std::nullopt);
// Hangs the folders no walk reached under the orphan folder, each with everything below it.
void FillUnreached(RecoveryRun& run, const TextTable& table, Reporter& reporter, ProgressBar bar,
                   AddedRows& added, std::uint32_t rootId, FillProgress& progress);

}  // namespace lumarest

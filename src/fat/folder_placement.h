#pragma once

#include <functional>

#include "tree/folder_tree_build.h"

namespace lumarest {

struct RecoveryRun;
class SectorSource;
class TextTable;

// Called after each folder is placed, to hang what its ".." entries name below it.
using FillBelowPlaced = std::function<void()>;

// A folder's ".." can be wrong (a hand-made loop, a damaged directory) while the folder that
// holds it still names it with a live entry. Every folder row of `table` not yet added is
// hung below the first folder of the tree, Root first, whose directory names it with a live
// folder entry, under that entry's name. Folders placed this way are read in turn, so a
// whole damaged branch comes back in place. The orphan folder's subtree is not read.
void PlaceFoldersNamedLive(RecoveryRun& run, SectorSource& disk, const TextTable& table,
                           AddedRows& added, const FillBelowPlaced& fillBelow);

}  // namespace lumarest

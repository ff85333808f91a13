#pragma once

#include <cstddef>

namespace lumarest {

struct RecoveryRun;
class Reporter;
class SectorSource;

// Rebuilds found volume `volume` (0-based row of run.fileSystemTable) into run.folderTree:
// its directories from run.foundDirectoryTable become folder rows DIR0, DIR1, ... after the
// rows already in run.folderTable (the orphan folder), run.activeVolume is loaded from the row
// (its FATs located first when the row does not know them), the orphans are re-attached and
// the tree is built, its child folders named when first expanded. Progress on the
// tree-loading bar. run.foundDirectoryTable keeps its rows, so another volume can follow.
void RebuildFoundFatVolume(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                           std::size_t volume);

}  // namespace lumarest

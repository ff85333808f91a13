#pragma once

#include <cstddef>

namespace lumarest {

struct RecoveryRun;
class Reporter;
class SectorSource;

// Rebuilds found NTFS volume `volume` (0-based row of run.fileSystemTable) into
// run.folderTree: its folders become folder rows after those already in run.folderTable (the
// orphan folder), run.activeVolume is loaded from the row, the orphans are re-attached and the
// tree is built; the file rows whose record lies inside the volume are copied into
// run.fileTable. The found tables keep their rows, so another volume can follow.
void RebuildFoundNtfsVolume(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                            std::size_t volume);

}  // namespace lumarest

#pragma once

#include <cstddef>

namespace lumarest {

struct RecoveryRun;
class Reporter;

// Loads found NTFS volume `volume` (0-based row of run.fileSystemTable): its folders become
// folder rows after those already in run.folderTable (the orphan folder), run.activeVolume is
// loaded from the row (no master file table known: records are read where the scan found
// them), and the file rows whose record lies inside the volume are copied into run.fileTable.
// The found tables keep their rows, so another volume can follow. Progress on the tree-loading
// bar.
void LoadFoundNtfsVolume(RecoveryRun& run, Reporter& reporter, std::size_t volume);

}  // namespace lumarest

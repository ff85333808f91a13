#pragma once

#include <cstddef>

namespace lumarest {

struct RecoveryRun;
class SectorSource;
class Reporter;

inline constexpr const char* kLocatingFatsProgressText = "Completed ";

// Looks for the two FATs of the found file system in row `row` of run.fileSystemTable, whose
// "firstFAT" is 0: from a little before its "Cluster0Start", the first sector starting
// F8 FF FF is the first FAT, the next one the second. Writes what it finds into the row and
// into run.activeVolume; with both found, also "SPF" and "Root Start". Shows its progress on
// the tree-loading bar. Returns how many FATs it found (0, 1 or 2).
int LocateFats(RecoveryRun& run, SectorSource& disk, Reporter& reporter, std::size_t row);

// Loads run.activeVolume from row `row` of run.fileSystemTable (columns "SPF", "SPC", ...,
// "PartType"), locating the FATs first when the row does not know them. An absent row
// leaves the active volume as it was and returns false.
bool LoadFoundVolume(RecoveryRun& run, SectorSource& disk, Reporter& reporter, std::size_t row);

}  // namespace lumarest

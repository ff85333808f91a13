#pragma once

#include <stop_token>

#include <cstdint>

namespace lumarest {

struct RecoveryRun;
class Reporter;
class SectorSource;

// Folders the scan finds are named "Dir" and their row number until an entry names them.
inline constexpr const char* kProvisionalFolderName = "Dir";

// Sectors read at once by the lost-directory scan.
inline constexpr std::uint32_t kScanChunkSectors = 512;

// Finds every directory of the selected FAT16 or FAT32 partition, live or deleted, by its "."
// and ".." entries, and writes one folder row per directory into the run's folder table after
// the "LMR_Miscellaneous" row, in ascending cluster order; then one row under it for each
// stretch of directory entries that lost its start and that no directory found reaches
// (see AppendUnreachedFragments). Works on the run's volume
// parameters up to the selected partition's end sector; stops early when run.scanStop is
// requested. Returns 0, after an error box, when the volume's clusters have no sectors.
int ScanLostDirectories(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                        std::stop_token stop);

}  // namespace lumarest

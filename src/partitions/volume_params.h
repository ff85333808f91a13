#pragma once

#include <stop_token>

#include <cstdint>
#include <string>

namespace lumarest {

struct RecoveryRun;
struct VolumeParams;
class SectorSource;
class Reporter;

inline constexpr const char* kValidatingCaption = "Validating Partition ...";
inline constexpr const char* kCalculatingCaption = "Calculating Partition Params...";
// What the scan shows when the calculation finds no layout.
inline constexpr const char* kUnableToCalculateMessage = "Unable to calculate partition parameters";

// What the user is told of a boot sector at `sector` that gives an unknown sector size.
std::string UnknownSectorSizeMessage(std::uint32_t bytesPerSector, std::uint64_t sector);

// Tests the boot sector of run.selectedPartition for its file-system name ("FAT16", "FAT32",
// "NTFS") and fills run.volumeParams from it. 1 when valid, 0 otherwise; an invalid volume may
// leave run.volumeParams partly overwritten. Empties the entry tables first. A FAT boot sector
// with 0 sectors per cluster is invalid: no layout can be taken from it.
int ValidatePartition(RecoveryRun& run, SectorSource& disk, Reporter& reporter);

// The boot-sector tests ValidatePartition leaves to each file system's room: a FAT16 or FAT32
// boot sector at `start`; an NTFS one at `start` or its backup before `last`.
bool ValidateFatBootSector(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                           bool fat16);
bool ValidateNtfsBootSector(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                            std::uint64_t last);

// Infers a FAT16 or FAT32 layout from the first two directories whose "." and ".." entries
// agree on a cluster size, scanning the partition from its first sector, and fills
// run.volumeParams. 1 when found; 0 otherwise, when stopped through run.scanStop, and always
// for NTFS.
int CalculateVolumeParams(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                          std::stop_token stop);

}  // namespace lumarest

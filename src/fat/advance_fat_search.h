#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>

namespace lumarest {

struct RecoveryRun;
class Reporter;
class SectorSource;

// Reads every sector of run.selectedPartition's range and fills run.bootSectorTable with the
// FAT16 and FAT32 boot sectors found and run.foundDirectoryTable with every sector that starts
// with a "." and a ".." entry. Counts both on the statistics panel and the progress on the main
// bar. Stops early when run.scanStop is requested, keeping the rows found so far. Returns the
// first sector not tested: the range's end unless stopped.
std::uint64_t AdvanceFatSearch(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                               std::stop_token stop);

// Groups the found directories into volumes: first by the found boot sectors, then by
// inferring sectors per cluster and cluster-0 start from pairs of directories. Fills
// run.fileSystemTable, sets run.volumesFound and returns it. Shows its phases on the main bar.
// Ends early, with what it grouped, when `stop` is requested.
std::size_t AnalyzeFoundVolumes(RecoveryRun& run, Reporter& reporter, std::stop_token stop = {});

}  // namespace lumarest

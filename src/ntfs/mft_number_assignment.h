#pragma once

#include <cstddef>
#include <stop_token>

namespace lumarest {

struct RecoveryRun;
class Reporter;
class SectorSource;

// Gives the folders ScanNtfsRaw found their record numbers (from the index blocks that list
// them, else from their neighbours), finds the volumes they belong to (from boot sectors, or
// from pairs of folders through their index blocks), fills run.fileSystemTable and ties every
// folder to a volume. Sets run.volumesFound and returns it. Shows its phases on the main bar.
// Ends early, with what it assigned, when `stop` is requested.
std::size_t AssignMftNumbers(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                             std::stop_token stop = {});

}  // namespace lumarest

#pragma once

#include <stop_token>

#include <cstdint>

namespace lumarest {

struct RecoveryRun;
class Reporter;
class SectorSource;

inline constexpr const char* kAdvanceMftFoundCaption = "MFT Found\t\t\t:";

// Reads every sector of run.selectedPartition's range and fills run.bootSectorTable with the
// NTFS boot sectors, run.ntfsRecordTable with the file records and run.indexBlockTable with
// the index blocks found there. Stops early when run.scanStop is requested, keeping the rows
// found so far. Returns the first sector not examined: the range's end unless stopped.
std::uint64_t ScanNtfsRaw(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                          std::stop_token stop);

}  // namespace lumarest

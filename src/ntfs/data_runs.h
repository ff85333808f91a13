#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/le_bytes.h"

namespace lumarest {

// A run list cannot hold more runs than bytes; this bounds lists read from whole clusters.
inline constexpr std::size_t kMaxRunsPerList = 65536;

// One run of a non-resident attribute, in absolute sectors. A sparse run has no sectors on
// the disk: it reads as zeros.
struct DataRun {
    std::uint64_t startSector = 0;
    std::uint64_t sectorCount = 0;
    bool sparse = false;

    bool operator==(const DataRun&) const = default;
};

struct DecodedRuns {
    std::vector<DataRun> runs;
    // False when the list ended on a broken run (a field past the list, a field wider than
    // 8 bytes, a start before the volume's first sector or a number that overflows) instead of its
    // 0 byte.
    bool complete = false;
};

// Turns a data-run list into runs. The first real run's offset counts from cluster0Start,
// every later one from the last real run before it; sparse runs do not move that base.
DecodedRuns DecodeRuns(ByteSpan runList, std::uint64_t cluster0Start,
                       std::uint32_t sectorsPerCluster);

std::uint64_t TotalSectors(const std::vector<DataRun>& runs);

}  // namespace lumarest

#pragma once

#include <cstdint>

#include "core/volume_params.h"

namespace lumarest {

// Where an NTFS volume lies on its disk: what every record and run reader needs to turn
// clusters and record numbers into absolute sectors.
struct NtfsLayout {
    std::uint64_t cluster0Start = 0;  // the volume's first sector
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t mftSector = 0;  // first sector of the master file table's data
};

// The NTFS layout of a validated volume (or of the scan's working copy of it).
inline NtfsLayout NtfsLayoutOf(const VolumeParams& params) {
    return {params.cluster0Start, params.sectorsPerCluster, params.mftSector};
}

}  // namespace lumarest

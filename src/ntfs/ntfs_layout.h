#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/volume_params.h"

namespace lumarest {

// File records of 1024 bytes unless the boot sector names another size.
inline constexpr std::size_t kMftRecordBytes = 1024;
inline constexpr std::uint32_t kMftRecordSectors = 2;
// The largest record handled: 4096 bytes, as volumes of 4096-byte sectors use.
inline constexpr std::uint32_t kMaxMftRecordSectors = 8;

// Sectors in a cluster: NTFS clusters hold 512 bytes to 64 KiB.
inline constexpr std::array<std::uint32_t, 8> kNtfsClusterSectors{1, 2, 4, 8, 16, 32, 64, 128};

// Records of 1024, 2048 and 4096 bytes are read; 3072 bytes, which only a damaged boot
// sector names, is not.
constexpr bool IsSupportedRecordSectors(std::uint32_t sectors) {
    return sectors == kMftRecordSectors || sectors == 2 * kMftRecordSectors ||
           sectors == kMaxMftRecordSectors;
}

// The record size to read with: a size that is unknown (0) or not handled reads as 1024 bytes.
constexpr std::uint32_t UsableRecordSectors(std::uint32_t sectors) {
    return IsSupportedRecordSectors(sectors) ? sectors : kMftRecordSectors;
}

// Where an NTFS volume lies on its disk: what every record and run reader needs to turn
// clusters and record numbers into absolute sectors.
struct NtfsLayout {
    std::uint64_t cluster0Start = 0;  // the volume's first sector
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t mftSector = 0;  // first sector of the master file table's data
    std::uint32_t recordSectors = kMftRecordSectors;  // sectors of one file record
};

// The NTFS layout of a validated volume (or of the scan's working copy of it).
inline NtfsLayout NtfsLayoutOf(const VolumeParams& params) {
    return {params.cluster0Start, params.sectorsPerCluster, params.mftSector,
            UsableRecordSectors(params.mftRecordSectors)};
}

}  // namespace lumarest

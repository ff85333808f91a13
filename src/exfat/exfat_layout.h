#pragma once

#include <cstdint>

#include "core/sector_source.h"

namespace lumarest {

inline constexpr std::uint32_t kExFatFirstCluster = 2;

// Where one exFAT volume keeps its parts, in absolute engine sectors: a volume of 4096-byte
// sectors has eight engine sectors in each of its own.
struct ExFatLayout {
    std::uint64_t volumeStart = 0;    // the main boot sector
    std::uint64_t volumeSectors = 0;  // engine sectors the volume spans
    std::uint32_t sectorUnit = 1;     // engine sectors per volume sector (1, 2, 4, 8)
    std::uint64_t fatStart = 0;       // the FAT in use (the first unless the flags say otherwise)
    std::uint64_t fatSectors = 0;
    std::uint64_t heapStart = 0;          // sector of cluster 2
    std::uint32_t sectorsPerCluster = 0;  // engine sectors
    std::uint32_t clusterCount = 0;
    std::uint32_t rootCluster = 0;

    std::uint64_t ClusterSector(std::uint32_t cluster) const {
        return heapStart + std::uint64_t{cluster - kExFatFirstCluster} * sectorsPerCluster;
    }
    bool HoldsCluster(std::uint32_t cluster) const {
        return cluster >= kExFatFirstCluster &&
               std::uint64_t{cluster} < std::uint64_t{clusterCount} + kExFatFirstCluster;
    }
    std::uint64_t ClusterBytes() const { return SectorsToBytes(sectorsPerCluster); }
    // One past the last cluster number of the heap.
    std::uint64_t ClusterEnd() const { return std::uint64_t{clusterCount} + kExFatFirstCluster; }
};

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "exfat/exfat_facts_scan.h"

namespace lumarest {

// One exFAT volume the range's contents point to.
struct FoundExFatVolume {
    std::uint64_t heapStart = 0;          // absolute engine sector of cluster 2
    std::uint32_t sectorsPerCluster = 0;  // engine sectors
    std::uint32_t rootCluster = 0;        // 0 when the root was not found
    // The region's main boot sector when a boot sector (main or backup) was found; 0 when none.
    std::uint64_t bootSector = 0;
    bool bootFound = false;  // tells a volume at sector 0 from one without a boot sector
    // From the boot sector, else from the bitmap's length * 8, else 0.
    std::uint32_t clusterCount = 0;
    std::uint32_t evidence = 0;  // how many facts agree
};

// The largest cluster: 32 MiB.
inline constexpr std::uint32_t kExFatMaxSectorsPerCluster = 65536;

// Where `cluster` starts for a heap at `heapStart`; nothing for a cluster below the heap or a
// sector past what 64 bits hold.
std::optional<std::uint64_t> ExFatClusterSector(std::uint64_t heapStart,
                                                std::uint32_t sectorsPerCluster,
                                                std::uint32_t cluster);

// The heaps that put a root's up-case table at `upcaseSector`: one per cluster size, nothing
// for a size the sector is too early for.
struct ExFatHeapGuess {
    std::uint64_t heapStart = 0;
    std::uint32_t sectorsPerCluster = 0;
};
std::vector<ExFatHeapGuess> HeapsPlacingUpcase(const ExFatRootEntries& root,
                                               std::uint64_t upcaseSector);

// The volumes the facts support, best first. A boot sector gives its volume directly; without
// one, each root and up-case table start give a heap per cluster size, kept when another fact
// lands on it too: the bitmap the root names, the root itself, the root's folders.
std::vector<FoundExFatVolume> InferExFatVolumes(const ExFatScanFacts& facts);

}  // namespace lumarest

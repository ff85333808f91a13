#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <vector>

#include "exfat/exfat_directory_probe.h"

namespace lumarest {

class Reporter;
class SectorSource;

// A sector spelling an exFAT boot sector, its numbers in engine sectors. It may be a region's
// main sector or its backup (12 volume sectors on): both read alike.
struct ExFatBootFact {
    std::uint64_t sector = 0;
    std::uint32_t sectorUnit = 1;  // engine sectors per volume sector
    std::uint64_t heapOffset = 0;  // from the region's main sector to cluster 2
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t clusterCount = 0;
    std::uint32_t rootCluster = 0;
};

// A sector that begins like a root directory, and what it names.
struct ExFatRootFact {
    std::uint64_t sector = 0;
    ExFatRootEntries entries;
};

inline constexpr std::size_t kBitmapSampleBytes = 64;

// The first bytes of a sector where some reading of the facts puts an allocation bitmap: read
// after the pass, as the bitmap lies before the root it is named in.
struct ExFatBitmapSample {
    std::uint64_t sector = 0;
    std::array<std::uint8_t, kBitmapSampleBytes> head{};
};

// What a range held of exFAT volumes whose boot regions may be gone. Sector lists are
// ascending.
struct ExFatScanFacts {
    std::vector<ExFatBootFact> bootSectors;
    std::vector<std::uint64_t> directorySectors;  // sectors beginning with an entry set
    std::vector<ExFatRootFact> roots;
    std::vector<std::uint64_t> upcaseSectors;  // sectors beginning the up-case table
    std::vector<ExFatBitmapSample> bitmapSamples;
    std::uint64_t nextSector = 0;  // the first sector not tested: past the range unless stopped
};

// Tests one 512-byte sector (more bytes may follow it in `bytes`, for a root's entries) and
// adds what it shows to `facts`.
void TestSectorForExFatFacts(ByteSpan bytes, std::uint64_t sector, ExFatScanFacts& facts);

// Reads [first, last] in large chunks, reporting "Sectors N of M", the directories and the
// boot sectors found, and stopping between chunks when asked; then samples the sectors the
// found roots put their bitmaps in.
ExFatScanFacts ScanForExFatFacts(SectorSource& disk, std::uint64_t first, std::uint64_t last,
                                 Reporter& reporter, std::stop_token stop);

}  // namespace lumarest

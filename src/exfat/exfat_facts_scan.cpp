// The exFAT part of the Advance search: what a range holds of volumes whose boot regions may
// be gone.

#include "exfat/exfat_facts_scan.h"

#include <algorithm>
#include <optional>
#include <set>

#include "core/found_counts.h"
#include "core/reporter.h"
#include "core/sector_range_scan.h"
#include "core/sector_source.h"
#include "exfat/boot_region.h"
#include "exfat/found_exfat_volume.h"

namespace lumarest {
namespace {

// Large reads keep the disk streaming; each sector is still tested in order.
constexpr std::uint32_t kScanChunkSectors = 8 * 1024;
// A root's folders are read from this much of it: its first cluster, or what a chunk has of it.
constexpr std::size_t kRootBytesRead = 4096;

// Garbage that spells many roots or tables must not make the inference quadratic without end.
constexpr std::size_t kMaxRoots = 64;
constexpr std::size_t kMaxUpcaseSectors = 64;
constexpr std::size_t kMaxBootSectors = 4096;
constexpr std::size_t kMaxBitmapSamples = 4096;

// Byte 3 of a boot sector starts its name, "EXFAT   ": the one byte tested on every sector.
constexpr std::size_t kNameOffset = 3;
constexpr std::uint8_t kNameFirstByte = 'E';

// A boot sector's numbers, its heap counted from its region's main sector.
std::optional<ExFatBootFact> BootFactOf(ByteSpan sector, std::uint64_t number) {
    const std::optional<ExFatLayout> layout = LayoutFromBootSector(sector, 0);
    if (!layout) {
        return std::nullopt;
    }
    ExFatBootFact fact;
    fact.sector = number;
    fact.sectorUnit = layout->sectorUnit;
    fact.heapOffset = layout->heapStart;
    fact.sectorsPerCluster = layout->sectorsPerCluster;
    fact.clusterCount = layout->clusterCount;
    fact.rootCluster = layout->rootCluster;
    return fact;
}

template <typename T>
void AddCapped(std::vector<T>& list, T value, std::size_t cap) {
    if (list.size() < cap) {
        list.push_back(std::move(value));
    }
}

// The sectors where some reading of the facts puts a root's bitmap, inside the range.
std::set<std::uint64_t> BitmapSectorsToSample(const ExFatScanFacts& facts, std::uint64_t first,
                                              std::uint64_t last) {
    std::set<std::uint64_t> sectors;
    for (const ExFatRootFact& root : facts.roots) {
        for (const std::uint64_t upcase : facts.upcaseSectors) {
            for (const ExFatHeapGuess& guess : HeapsPlacingUpcase(root.entries, upcase)) {
                const auto bitmap = ExFatClusterSector(guess.heapStart, guess.sectorsPerCluster,
                                                       root.entries.bitmapCluster);
                if (bitmap && *bitmap >= first && *bitmap <= last) {
                    sectors.insert(*bitmap);
                }
                if (sectors.size() >= kMaxBitmapSamples) {
                    return sectors;
                }
            }
        }
    }
    return sectors;
}

void SampleBitmaps(SectorSource& disk, std::uint64_t first, std::uint64_t last,
                   ExFatScanFacts& facts, std::stop_token stop) {
    std::array<std::uint8_t, kSectorSize> sector{};
    for (const std::uint64_t number : BitmapSectorsToSample(facts, first, last)) {
        if (stop.stop_requested()) {
            return;
        }
        sector.fill(0);
        if (disk.ReadSectors(number, 1, sector.data()) == 0) {
            continue;
        }
        ExFatBitmapSample sample;
        sample.sector = number;
        std::copy_n(sector.begin(), kBitmapSampleBytes, sample.head.begin());
        facts.bitmapSamples.push_back(sample);
    }
}

}  // namespace

void TestSectorForExFatFacts(ByteSpan bytes, std::uint64_t sector, ExFatScanFacts& facts) {
    // One byte decides which test, if any, is worth running: nearly every sector fails all.
    if (bytes.size() < kSectorSize) {
        return;
    }
    const ByteSpan own = bytes.first(kSectorSize);
    const std::uint8_t first = own[0];
    if (own[kNameOffset] == kNameFirstByte) {
        if (const auto boot = BootFactOf(own, sector)) {
            AddCapped(facts.bootSectors, *boot, kMaxBootSectors);
        }
    }
    if (first == 0) {
        if (own[1] == 0 && own[2] == 1 && IsUpcaseTableStart(own)) {
            AddCapped(facts.upcaseSectors, sector, kMaxUpcaseSectors);
        }
        return;
    }
    if ((first & 0x7F) == 0x05) {
        if (StartsWithEntrySet(bytes)) {
            facts.directorySectors.push_back(sector);
        }
        return;
    }
    if (facts.roots.size() < kMaxRoots) {
        if (auto root = ReadRootEntries(bytes.first(std::min(bytes.size(), kRootBytesRead)))) {
            facts.roots.push_back({sector, std::move(*root)});
        }
    }
}

ExFatScanFacts ScanForExFatFacts(SectorSource& disk, std::uint64_t first, std::uint64_t last,
                                 Reporter& reporter, std::stop_token stop) {
    ExFatScanFacts facts;
    const std::uint64_t total = disk.TotalSectors();
    if (total != 0) {
        last = std::min(last, total - 1);
    }
    facts.nextSector = first;
    if (last < first) {
        return facts;
    }
    FoundCounts counts(reporter);
    const auto showCounts = [&] {
        counts.Show(facts.directorySectors.size(), facts.bootSectors.size());
    };
    SectorRangeScan scan(reporter, {ScanPace::Timed, last, 0, showCounts});
    scan.ShowStart(0);
    // A chunk that cannot be read is tested as the reader leaves it: zeros where it failed.
    const std::uint64_t reached = scan.Run(
        {.first = first, .end = last + 1, .chunkSectors = kScanChunkSectors}, disk,
        [&](const ScanChunk& chunk) {
            for (std::uint32_t i = 0; i < chunk.sectors; ++i) {
                TestSectorForExFatFacts(chunk.bytes.subspan(SectorsToBytes(i)), chunk.first + i,
                                        facts);
            }
            return std::uint64_t{chunk.sectors};
        },
        stop);
    showCounts();
    facts.nextSector = reached;
    SampleBitmaps(disk, first, last, facts, stop);
    return facts;
}

}  // namespace lumarest

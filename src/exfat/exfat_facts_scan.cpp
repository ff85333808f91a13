// The exFAT part of the Advance search: what a range holds of volumes whose boot regions may
// be gone.

#include "exfat/exfat_facts_scan.h"

#include <algorithm>
#include <optional>
#include <set>

#include "core/reporter.h"
#include "core/sector_scan_progress.h"
#include "core/sector_source.h"
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

constexpr std::size_t kNameOffset = 3;
constexpr const char* kExFatName = "EXFAT   ";
constexpr std::size_t kMustBeZeroStart = 11;
constexpr std::size_t kMustBeZeroEnd = 64;
constexpr std::size_t kVolumeLengthOffset = 72;
constexpr std::size_t kFatOffsetOffset = 80;
constexpr std::size_t kFatLengthOffset = 84;
constexpr std::size_t kHeapOffsetOffset = 88;
constexpr std::size_t kClusterCountOffset = 92;
constexpr std::size_t kRootClusterOffset = 96;
constexpr std::size_t kSectorShiftOffset = 108;
constexpr std::size_t kClusterShiftOffset = 109;
constexpr std::size_t kFatCountOffset = 110;
constexpr std::size_t kSignatureOffset = 510;
constexpr std::uint32_t kMinSectorShift = 9;
constexpr std::uint32_t kMaxSectorShift = 12;
constexpr std::uint32_t kMaxClusterShiftSum = 25;
constexpr std::uint32_t kBootRegionSectors = 24;  // main and backup regions: where FATs may start
constexpr std::uint32_t kMaxClusterCount = 0xFFFFFFF5;
constexpr std::uint32_t kFirstHeapCluster = 2;

bool HasBootSignature(ByteSpan sector) {
    return LoadLe8(sector, kSignatureOffset) == 0x55 &&
           LoadLe8(sector, kSignatureOffset + 1) == 0xAA;
}

bool ZeroedWhereRequired(ByteSpan sector) {
    const ByteSpan field =
        SliceOrEmpty(sector, kMustBeZeroStart, kMustBeZeroEnd - kMustBeZeroStart);
    return !field.empty() && std::all_of(field.begin(), field.end(), [](auto b) { return b == 0; });
}

// The boot sector's layout when its fields hang together; counts are checked in volume
// sectors before anything is scaled to engine sectors.
std::optional<ExFatBootFact> BootFactOf(ByteSpan sector, std::uint64_t number) {
    if (!SpellsAt(sector, kNameOffset, kExFatName) || !HasBootSignature(sector) ||
        !ZeroedWhereRequired(sector)) {
        return std::nullopt;
    }
    const std::uint32_t sectorShift = LoadLe8(sector, kSectorShiftOffset).value_or(0);
    const std::uint32_t clusterShift = LoadLe8(sector, kClusterShiftOffset).value_or(0);
    const std::uint32_t fats = LoadLe8(sector, kFatCountOffset).value_or(0);
    if (sectorShift < kMinSectorShift || sectorShift > kMaxSectorShift ||
        sectorShift + clusterShift > kMaxClusterShiftSum || fats < 1 || fats > 2) {
        return std::nullopt;
    }
    const std::uint64_t volumeLength = LoadLe64(sector, kVolumeLengthOffset).value_or(0);
    const std::uint64_t fatOffset = LoadLe32(sector, kFatOffsetOffset).value_or(0);
    const std::uint64_t fatLength = LoadLe32(sector, kFatLengthOffset).value_or(0);
    const std::uint64_t heapOffset = LoadLe32(sector, kHeapOffsetOffset).value_or(0);
    const std::uint32_t clusters = LoadLe32(sector, kClusterCountOffset).value_or(0);
    const std::uint32_t root = LoadLe32(sector, kRootClusterOffset).value_or(0);
    const std::uint64_t heapLength = std::uint64_t{clusters} << clusterShift;
    const bool laidOut = fatOffset >= kBootRegionSectors && fatLength != 0 &&
                         heapOffset >= fatOffset + fatLength * fats && clusters != 0 &&
                         clusters <= kMaxClusterCount && heapOffset <= volumeLength &&
                         heapLength <= volumeLength - heapOffset && root >= kFirstHeapCluster &&
                         root - kFirstHeapCluster < clusters;
    if (!laidOut) {
        return std::nullopt;
    }
    const std::uint32_t unit = 1u << (sectorShift - kMinSectorShift);
    ExFatBootFact fact;
    fact.sector = number;
    fact.sectorUnit = unit;
    fact.heapOffset = heapOffset * unit;
    fact.sectorsPerCluster = (1u << clusterShift) * unit;
    fact.clusterCount = clusters;
    fact.rootCluster = root;
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
    if (own[kNameOffset] == static_cast<std::uint8_t>(kExFatName[0])) {
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
    SectorScanProgress progress(reporter, last);
    const std::uint64_t rangeSectors = last - first + 1;
    std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(kScanChunkSectors, rangeSectors) *
                                    kSectorSize);
    std::uint64_t chunkStart = first;
    for (; chunkStart <= last && !stop.stop_requested(); chunkStart += kScanChunkSectors) {
        const auto count = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(kScanChunkSectors, last - chunkStart + 1));
        const std::size_t bytes = std::size_t{count} * kSectorSize;
        std::fill(chunk.begin(), chunk.begin() + bytes, 0);
        // A chunk that cannot be read is tested as the reader leaves it: zeros where it failed.
        disk.ReadSectors(chunkStart, count, chunk.data());
        const ByteSpan read(chunk.data(), bytes);
        for (std::uint32_t i = 0; i < count; ++i) {
            TestSectorForExFatFacts(read.subspan(std::size_t{i} * kSectorSize), chunkStart + i,
                                    facts);
        }
        const bool lastChunk = last - chunkStart < kScanChunkSectors;
        progress.AfterChunk(chunkStart, facts.directorySectors.size(), facts.bootSectors.size(),
                            lastChunk);
        if (lastChunk) {
            chunkStart = last + 1;
            break;
        }
    }
    progress.ShowCounts(facts.directorySectors.size(), facts.bootSectors.size());
    facts.nextSector = chunkStart;
    SampleBitmaps(disk, first, last, facts, stop);
    return facts;
}

}  // namespace lumarest

// Inferring exFAT volumes from what a range held: boot sectors where they survive, else the
// root, its up-case table and its bitmap placed against each other.

#include "exfat/found_exfat_volume.h"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>

namespace lumarest {
namespace {

constexpr std::uint32_t kFirstHeapCluster = 2;
constexpr std::uint32_t kMaxClusterCount = 0xFFFFFFF5;
constexpr std::uint64_t kBitsPerByte = 8;
constexpr std::uint64_t kSampleBits = kBitmapSampleBytes * kBitsPerByte;
// A boot region's backup starts this many volume sectors after its main sector.
constexpr std::uint64_t kBackupRegionDistance = 12;
// A volume needs this many agreeing facts to be listed without a boot sector.
constexpr std::uint32_t kMinEvidence = 2;

bool Holds(const std::vector<std::uint64_t>& sorted, std::uint64_t sector) {
    return std::binary_search(sorted.begin(), sorted.end(), sector);
}

const ExFatBitmapSample* SampleAt(const ExFatScanFacts& facts, std::optional<std::uint64_t> at) {
    if (!at) {
        return nullptr;
    }
    const auto found = std::lower_bound(
        facts.bitmapSamples.begin(), facts.bitmapSamples.end(), *at,
        [](const ExFatBitmapSample& s, std::uint64_t sector) { return s.sector < sector; });
    return found != facts.bitmapSamples.end() && found->sector == *at ? &*found : nullptr;
}

// Whether the bitmap marks `cluster` in use; nothing when its bit lies past the sample.
std::optional<bool> MarksInUse(const ExFatBitmapSample& sample, std::uint32_t cluster) {
    const std::uint64_t bit = std::uint64_t{cluster} - kFirstHeapCluster;
    if (cluster < kFirstHeapCluster || bit >= kSampleBits) {
        return std::nullopt;
    }
    return (sample.head[bit / kBitsPerByte] >> (bit % kBitsPerByte) & 1) != 0;
}

// The cluster a heap puts `sector` at the start of; 0 when it starts none.
std::uint32_t ClusterStartingAt(std::uint64_t heapStart, std::uint32_t spc, std::uint64_t sector) {
    if (sector < heapStart || spc == 0 || (sector - heapStart) % spc != 0) {
        return 0;
    }
    const std::uint64_t cluster = (sector - heapStart) / spc + kFirstHeapCluster;
    return cluster <= kMaxClusterCount + kFirstHeapCluster ? static_cast<std::uint32_t>(cluster)
                                                           : 0;
}

std::uint32_t ClustersFromBitmap(std::uint64_t bitmapBytes) {
    return bitmapBytes <= kMaxClusterCount / kBitsPerByte
               ? static_cast<std::uint32_t>(bitmapBytes * kBitsPerByte)
               : 0;
}

std::uint32_t FoldersLanding(const ExFatScanFacts& facts, const ExFatRootEntries& root,
                             std::uint64_t heapStart, std::uint32_t spc) {
    std::uint32_t landing = 0;
    for (const std::uint32_t folder : root.folderClusters) {
        if (folder == root.bitmapCluster || folder == root.upcaseCluster) {
            continue;
        }
        const auto sector = ExFatClusterSector(heapStart, spc, folder);
        landing += sector && Holds(facts.directorySectors, *sector) ? 1 : 0;
    }
    return landing;
}

// A root's heap guess weighed: the up-case table it was made from, the bitmap (its own and the
// table's clusters marked in use), the root itself (at a cluster start the bitmap marks in use)
// and the root's folders.
FoundExFatVolume WeighGuess(const ExFatScanFacts& facts, const ExFatRootFact& root,
                            const ExFatHeapGuess& guess) {
    const ExFatRootEntries& entries = root.entries;
    FoundExFatVolume volume;
    volume.heapStart = guess.heapStart;
    volume.sectorsPerCluster = guess.sectorsPerCluster;
    volume.clusterCount = ClustersFromBitmap(entries.bitmapBytes);
    volume.evidence = 1;
    std::uint32_t rootCluster =
        ClusterStartingAt(guess.heapStart, guess.sectorsPerCluster, root.sector);
    if (rootCluster == entries.bitmapCluster || rootCluster == entries.upcaseCluster) {
        rootCluster = 0;
    }
    const ExFatBitmapSample* bitmap = SampleAt(
        facts, ExFatClusterSector(guess.heapStart, guess.sectorsPerCluster, entries.bitmapCluster));
    if (bitmap != nullptr) {
        const auto own = MarksInUse(*bitmap, entries.bitmapCluster);
        const auto table = MarksInUse(*bitmap, entries.upcaseCluster);
        const bool checked = own.has_value() || table.has_value();
        if (checked && own.value_or(true) && table.value_or(true)) {
            ++volume.evidence;
            if (rootCluster != 0 && MarksInUse(*bitmap, rootCluster).value_or(false)) {
                ++volume.evidence;
            }
        }
    }
    volume.rootCluster = rootCluster;
    volume.evidence += FoldersLanding(facts, entries, guess.heapStart, guess.sectorsPerCluster);
    return volume;
}

bool Better(const FoundExFatVolume& a, const FoundExFatVolume& b) {
    if (a.bootFound != b.bootFound) {
        return a.bootFound;
    }
    if (a.evidence != b.evidence) {
        return a.evidence > b.evidence;
    }
    return a.heapStart < b.heapStart;
}

bool SameHeap(const FoundExFatVolume& a, const FoundExFatVolume& b) {
    return a.heapStart == b.heapStart && a.sectorsPerCluster == b.sectorsPerCluster;
}

// Each root's best guesses (ties kept: nothing tells them apart) that enough facts support.
std::vector<FoundExFatVolume> InferredFromRoots(const ExFatScanFacts& facts) {
    std::vector<FoundExFatVolume> volumes;
    for (const ExFatRootFact& root : facts.roots) {
        std::vector<FoundExFatVolume> guesses;
        for (const std::uint64_t upcase : facts.upcaseSectors) {
            for (const ExFatHeapGuess& guess : HeapsPlacingUpcase(root.entries, upcase)) {
                guesses.push_back(WeighGuess(facts, root, guess));
            }
        }
        std::uint32_t best = 0;
        for (const FoundExFatVolume& g : guesses) {
            best = std::max(best, g.evidence);
        }
        if (best < kMinEvidence) {
            continue;
        }
        for (const FoundExFatVolume& g : guesses) {
            if (g.evidence == best) {
                volumes.push_back(g);
            }
        }
    }
    return volumes;
}

// A boot sector's volume, taking the sector as its region's main sector (`backup` false) or
// as the backup 12 volume sectors on.
std::optional<FoundExFatVolume> VolumeOfBoot(const ExFatScanFacts& facts, const ExFatBootFact& boot,
                                             bool backup) {
    const std::uint64_t distance = backup ? kBackupRegionDistance * boot.sectorUnit : 0;
    if (boot.sector < distance) {
        return std::nullopt;
    }
    const std::uint64_t start = boot.sector - distance;
    if (start > std::numeric_limits<std::uint64_t>::max() - boot.heapOffset) {
        return std::nullopt;
    }
    FoundExFatVolume volume;
    volume.heapStart = start + boot.heapOffset;
    volume.sectorsPerCluster = boot.sectorsPerCluster;
    volume.rootCluster = boot.rootCluster;
    volume.bootSector = start;
    volume.bootFound = true;
    volume.clusterCount = boot.clusterCount;
    volume.evidence = 1;
    const auto rootSector =
        ExFatClusterSector(volume.heapStart, volume.sectorsPerCluster, volume.rootCluster);
    for (const ExFatRootFact& root : facts.roots) {
        if (!rootSector || root.sector != *rootSector) {
            continue;
        }
        ++volume.evidence;
        const auto upcase = ExFatClusterSector(volume.heapStart, volume.sectorsPerCluster,
                                               root.entries.upcaseCluster);
        volume.evidence += upcase && Holds(facts.upcaseSectors, *upcase) ? 1 : 0;
        volume.evidence +=
            FoldersLanding(facts, root.entries, volume.heapStart, volume.sectorsPerCluster);
        break;
    }
    return volume;
}

bool SameFields(const ExFatBootFact& a, const ExFatBootFact& b) {
    return a.sectorUnit == b.sectorUnit && a.heapOffset == b.heapOffset &&
           a.sectorsPerCluster == b.sectorsPerCluster && a.clusterCount == b.clusterCount &&
           a.rootCluster == b.rootCluster;
}

// A boot sector with its twin 12 sectors on is a main sector; one with its twin 12 before is
// that main's backup and adds nothing; a lone one is read both ways and the better kept.
std::vector<FoundExFatVolume> VolumesOfBoots(const ExFatScanFacts& facts) {
    std::map<std::uint64_t, const ExFatBootFact*> bySector;
    for (const ExFatBootFact& boot : facts.bootSectors) {
        bySector.emplace(boot.sector, &boot);
    }
    const auto twinAt = [&](const ExFatBootFact& boot, bool after) {
        const std::uint64_t distance = kBackupRegionDistance * boot.sectorUnit;
        if (after ? boot.sector > std::numeric_limits<std::uint64_t>::max() - distance
                  : boot.sector < distance) {
            return false;
        }
        const auto found = bySector.find(after ? boot.sector + distance : boot.sector - distance);
        return found != bySector.end() && SameFields(*found->second, boot);
    };
    std::vector<FoundExFatVolume> volumes;
    for (const ExFatBootFact& boot : facts.bootSectors) {
        if (twinAt(boot, false)) {
            continue;
        }
        auto asMain = VolumeOfBoot(facts, boot, false);
        if (!twinAt(boot, true)) {
            const auto asBackup = VolumeOfBoot(facts, boot, true);
            if (asBackup && (!asMain || asBackup->evidence > asMain->evidence)) {
                asMain = asBackup;
            }
        }
        if (asMain) {
            volumes.push_back(*asMain);
        }
    }
    return volumes;
}

}  // namespace

std::optional<std::uint64_t> ExFatClusterSector(std::uint64_t heapStart,
                                                std::uint32_t sectorsPerCluster,
                                                std::uint32_t cluster) {
    if (cluster < kFirstHeapCluster) {
        return std::nullopt;
    }
    // At most 2^32 clusters of 2^16 sectors: the product fits, only the sum can wrap.
    const std::uint64_t offset = std::uint64_t{cluster - kFirstHeapCluster} * sectorsPerCluster;
    if (heapStart > std::numeric_limits<std::uint64_t>::max() - offset) {
        return std::nullopt;
    }
    return heapStart + offset;
}

std::vector<ExFatHeapGuess> HeapsPlacingUpcase(const ExFatRootEntries& root,
                                               std::uint64_t upcaseSector) {
    std::vector<ExFatHeapGuess> guesses;
    if (root.upcaseCluster < kFirstHeapCluster) {
        return guesses;
    }
    const std::uint64_t clustersBefore = root.upcaseCluster - kFirstHeapCluster;
    for (std::uint32_t spc = 1; spc <= kExFatMaxSectorsPerCluster; spc *= 2) {
        const std::uint64_t before = clustersBefore * spc;
        if (before <= upcaseSector) {
            guesses.push_back({upcaseSector - before, spc});
        }
    }
    return guesses;
}

std::vector<FoundExFatVolume> InferExFatVolumes(const ExFatScanFacts& facts) {
    std::vector<FoundExFatVolume> volumes = VolumesOfBoots(facts);
    for (const FoundExFatVolume& inferred : InferredFromRoots(facts)) {
        const auto same = std::find_if(volumes.begin(), volumes.end(),
                                       [&](const auto& v) { return SameHeap(v, inferred); });
        if (same == volumes.end()) {
            volumes.push_back(inferred);
        } else if (!same->bootFound && inferred.evidence > same->evidence) {
            *same = inferred;
        }
    }
    std::sort(volumes.begin(), volumes.end(), Better);
    return volumes;
}

}  // namespace lumarest

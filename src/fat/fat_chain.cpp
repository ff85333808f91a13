#include "fat/fat_chain.h"

#include <algorithm>
#include <unordered_set>

#include "core/reporter.h"

namespace lumarest {

namespace {

// A cache miss reads this many FAT sectors ahead in one request: chains mostly run forward.
constexpr std::uint32_t kFatReadAhead = 64;
// FAT sectors kept at most (8 MiB); a larger FAT starts its cache afresh when it is full.
constexpr std::size_t kMaxCachedFatSectors = 16384;
// Directory sectors read in one request: the largest cluster.
constexpr std::uint32_t kDirectoryReadSectors = 128;

std::uint32_t EntriesPerSector(const ActiveVolume& volume) {
    return IsFat16(volume) ? kFat16EntriesPerSector : kFat32EntriesPerSector;
}

// A chain ends below 2 and at the end marks; FAT32 entries are not masked to 28 bits, so any
// of the top four bits set ends the chain too.
bool LinksOn(const ActiveVolume& volume, std::uint32_t next) {
    const std::uint32_t end = IsFat16(volume) ? kFat16ChainEnd : kFat32ChainEnd;
    return next >= kFirstDataCluster && next < end;
}

}  // namespace

std::uint64_t ClusterToSector(const ActiveVolume& volume, std::uint32_t cluster, std::uint32_t i) {
    // cluster0Start lies below sector 0 on a small volume with large clusters; the first data
    // sector, two clusters on, is always a real sector number.
    const std::uint32_t dataStart =
        volume.cluster0Start + kFirstDataCluster * volume.sectorsPerCluster;
    const std::int64_t sector =
        std::int64_t{dataStart} +
        (std::int64_t{cluster} - kFirstDataCluster) * volume.sectorsPerCluster + i;
    // Clusters 0 and 1 before such a volume's start wrap round as 32-bit sector numbers do.
    return sector >= 0 ? static_cast<std::uint64_t>(sector) : static_cast<std::uint32_t>(sector);
}

bool IsFat16(const ActiveVolume& volume) {
    return volume.fsName == "FAT16";
}

std::uint64_t FatEntryCount(const ActiveVolume& volume) {
    return std::uint64_t{volume.sectorsPerFat} * EntriesPerSector(volume);
}

bool RefuseClusterlessVolume(const ActiveVolume& volume, Reporter& reporter) {
    if (volume.sectorsPerCluster != 0) {
        return true;
    }
    reporter.ShowMessage(kNoSectorsPerClusterMessage, MessageIcon::Error);
    return false;
}

FatTable::FatTable(const ActiveVolume& volume, SectorSource& disk) : volume_(volume), disk_(disk) {}

const FatTable::Sector* FatTable::FatSector(std::uint32_t index) {
    if (const auto found = cache_.find(index); found != cache_.end()) {
        return &found->second;
    }
    const std::uint32_t count = std::min(kFatReadAhead, volume_.sectorsPerFat - index);
    if (cache_.size() + count > kMaxCachedFatSectors) {
        cache_.clear();
    }
    std::vector<std::uint8_t> bytes(std::size_t{count} * kSectorSize);
    ++sectorReads_;
    if (count > 1 &&
        disk_.ReadSectors(std::uint64_t{volume_.firstFat} + index, count, bytes.data()) != 0) {
        for (std::uint32_t i = 0; i < count; ++i) {
            Sector& kept = cache_[index + i];
            std::copy_n(bytes.begin() + std::ptrdiff_t{i} * kSectorSize, kSectorSize, kept.begin());
        }
        return &cache_[index];
    }
    // A failed run of sectors does not say which failed: ask for the one wanted alone.
    Sector one{};
    ++sectorReads_;
    if (disk_.ReadSectors(std::uint64_t{volume_.firstFat} + index, 1, one.data()) == 0) {
        return nullptr;
    }
    return &(cache_[index] = one);
}

std::optional<std::uint32_t> FatTable::Entry(std::uint32_t cluster) {
    const std::uint32_t perSector = EntriesPerSector(volume_);
    const std::uint32_t index = cluster / perSector;
    const std::uint32_t entry = cluster % perSector;
    if (volume_.firstFat == 0 || index >= volume_.sectorsPerFat) {
        return std::nullopt;
    }
    const Sector* sector = FatSector(index);
    if (sector == nullptr) {
        return std::nullopt;
    }
    const ByteSpan bytes(sector->data(), sector->size());
    if (IsFat16(volume_)) {
        return LoadLe16(bytes, std::size_t{entry} * 2);
    }
    return LoadLe32(bytes, std::size_t{entry} * 4);
}

std::vector<std::uint32_t> FatTable::BuildClusterChain(std::uint32_t startCluster) {
    std::vector<std::uint32_t> chain{startCluster};
    // The chain's own bound: each cluster once. A chain of more clusters than the FAT has
    // entries must have come back on itself, and so does any repeat before that.
    std::unordered_set<std::uint32_t> visited{startCluster};
    const std::uint64_t entryBound = FatEntryCount(volume_);
    std::uint32_t current = startCluster;
    while (chain.size() <= entryBound) {
        const std::optional<std::uint32_t> next = Entry(current);
        if (!next || !LinksOn(volume_, *next) || !visited.insert(*next).second) {
            break;
        }
        chain.push_back(*next);
        current = *next;
    }
    return chain;
}

std::vector<std::uint32_t> BuildClusterChain(const ActiveVolume& volume, SectorSource& disk,
                                             std::uint32_t startCluster) {
    FatTable fat(volume, disk);
    return fat.BuildClusterChain(startCluster);
}

namespace {

// False when the visitor asked to stop.
bool VisitSectors(SectorSource& disk, std::uint64_t first, std::uint32_t count,
                  const DirectorySectorVisitor& visit) {
    // A run is read in one request; a sector that cannot be read comes back as zeros, as it
    // would from a read of its own.
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t run = std::min(kDirectoryReadSectors, count - done);
        bytes.assign(std::size_t{run} * kSectorSize, 0);
        disk.ReadSectors(first + done, run, bytes.data());
        for (std::uint32_t i = 0; i < run; ++i, ++done) {
            const ByteSpan sector(bytes.data() + std::size_t{i} * kSectorSize, kSectorSize);
            if (!visit(first + done, sector)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

void ForEachDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                            std::uint32_t firstCluster, const DirectorySectorVisitor& visit) {
    if (volume.sectorsPerCluster == 0) {
        return;
    }
    for (const std::uint32_t cluster : fat.BuildClusterChain(firstCluster)) {
        if (!VisitSectors(disk, ClusterToSector(volume, cluster, 0), volume.sectorsPerCluster,
                          visit)) {
            return;
        }
    }
}

void ForEachRootDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                                const DirectorySectorVisitor& visit) {
    if (IsFat16(volume)) {
        VisitSectors(disk, volume.rootStart, volume.rootSectors, visit);
        return;
    }
    ForEachDirectorySector(volume, disk, fat, volume.rootStart, visit);
}

}  // namespace lumarest

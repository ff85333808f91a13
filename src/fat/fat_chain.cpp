#include "fat/fat_chain.h"

#include <algorithm>
#include <string_view>
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
constexpr std::uint32_t kFreeCluster = 0;
// A directory holds at most 65 536 entries of 32 bytes.
constexpr std::uint64_t kMaxDirectoryBytes = 65536 * kDirectoryEntrySize;
constexpr std::string_view kDotName = ".          ";
constexpr std::string_view kDotDotName = "..         ";
constexpr std::size_t kShortNameBytes = 11;
constexpr std::size_t kAttributeOffset = 11;
constexpr std::uint8_t kReservedAttributeBits = 0xC0;
constexpr std::uint8_t kFirstNameByte = 0x20;
constexpr std::uint8_t kEscapedDeletedMark = 0x05;

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
    const std::uint64_t dataStart =
        volume.cluster0Start + std::uint64_t{kFirstDataCluster} * volume.sectorsPerCluster;
    const std::int64_t sector =
        static_cast<std::int64_t>(dataStart) +
        (std::int64_t{cluster} - kFirstDataCluster) * volume.sectorsPerCluster + i;
    // Clusters 0 and 1 before such a volume's start wrap round as 32-bit sector numbers do.
    return sector >= 0 ? static_cast<std::uint64_t>(sector) : static_cast<std::uint32_t>(sector);
}

bool IsFat16(const ActiveVolume& volume) {
    return volume.fsName == "FAT16";
}

std::uint32_t RootCluster(const ActiveVolume& volume) {
    return static_cast<std::uint32_t>(volume.rootStart);
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

// Clusters the volume can have: no more than the FAT has entries or the disk holds.
std::uint64_t ClusterLimit(const ActiveVolume& volume, SectorSource& disk) {
    std::uint64_t limit = FatEntryCount(volume);
    const std::uint64_t firstData = ClusterToSector(volume, kFirstDataCluster, 0);
    const std::uint64_t diskSectors = disk.TotalSectors();
    if (diskSectors > firstData) {
        limit = std::min(limit,
                         kFirstDataCluster + (diskSectors - firstData) / volume.sectorsPerCluster);
    }
    return limit;
}

// False when the cluster could not be read whole.
bool ReadCluster(const ActiveVolume& volume, SectorSource& disk, std::uint32_t cluster,
                 std::vector<std::uint8_t>& bytes) {
    std::fill(bytes.begin(), bytes.end(), 0);
    return disk.ReadSectors(ClusterToSector(volume, cluster, 0), volume.sectorsPerCluster,
                            bytes.data()) != 0;
}

bool HasName(ByteSpan entry, std::string_view name) {
    const ByteSpan bytes = SliceOrEmpty(entry, 0, name.size());
    return !bytes.empty() && std::equal(name.begin(), name.end(), bytes.begin());
}

// A directory's first cluster begins with its "." and ".." entries.
bool BeginsDirectory(const std::vector<std::uint8_t>& bytes) {
    const ByteSpan all(bytes.data(), bytes.size());
    return HasName(EntryAt(all, 0), kDotName) &&
           HasName(EntryAt(all, kDirectoryEntrySize), kDotDotName);
}

// A short entry's name bytes are never control characters (a first byte 0x05 stands for 0xE5)
// and its attributes use the low six bits only.
bool LooksLikeEntry(ByteSpan entry) {
    if (IsLongNameEntry(entry)) {
        return true;
    }
    if ((LoadLe8(entry, kAttributeOffset).value_or(0) & kReservedAttributeBits) != 0) {
        return false;
    }
    for (std::size_t i = 0; i < kShortNameBytes; ++i) {
        const std::uint8_t byte = LoadLe8(entry, i).value_or(0);
        if (byte < kFirstNameByte && !(i == 0 && byte == kEscapedDeletedMark)) {
            return false;
        }
    }
    return true;
}

// A freed cluster after a deleted folder is taken as its own only when every entry up to the
// end of the directory could be one: file data rarely passes.
bool HoldsOnlyEntries(const std::vector<std::uint8_t>& bytes) {
    const ByteSpan all(bytes.data(), bytes.size());
    for (std::size_t offset = 0; offset + kDirectoryEntrySize <= all.size();
         offset += kDirectoryEntrySize) {
        const ByteSpan entry = EntryAt(all, offset);
        if (IsEndOfDirectory(entry)) {
            return true;
        }
        if (!LooksLikeEntry(entry)) {
            return false;
        }
    }
    return true;
}

bool HoldsEndOfDirectory(const std::vector<std::uint8_t>& bytes) {
    const ByteSpan all(bytes.data(), bytes.size());
    for (std::size_t offset = 0; offset + kDirectoryEntrySize <= all.size();
         offset += kDirectoryEntrySize) {
        if (IsEndOfDirectory(EntryAt(all, offset))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<std::uint32_t> DirectoryClusters(const ActiveVolume& volume, SectorSource& disk,
                                             FatTable& fat, std::uint32_t firstCluster) {
    std::vector<std::uint32_t> clusters = fat.BuildClusterChain(firstCluster);
    if (volume.sectorsPerCluster == 0 || volume.sectorsPerCluster > kDirectoryReadSectors ||
        fat.Entry(clusters.back()) != kFreeCluster) {
        return clusters;
    }
    const std::uint64_t clusterBytes = std::uint64_t{volume.sectorsPerCluster} * kSectorSize;
    const std::uint64_t mostClusters =
        std::max<std::uint64_t>(1, kMaxDirectoryBytes / clusterBytes);
    const std::uint64_t clusterLimit = ClusterLimit(volume, disk);
    std::vector<std::uint8_t> bytes(clusterBytes);
    if (!ReadCluster(volume, disk, clusters.back(), bytes) || HoldsEndOfDirectory(bytes)) {
        return clusters;
    }
    for (std::uint64_t next = std::uint64_t{clusters.back()} + 1;
         clusters.size() < mostClusters && next < clusterLimit; ++next) {
        const auto cluster = static_cast<std::uint32_t>(next);
        if (fat.Entry(cluster) != kFreeCluster || !ReadCluster(volume, disk, cluster, bytes) ||
            BeginsDirectory(bytes) || !HoldsOnlyEntries(bytes)) {
            break;
        }
        clusters.push_back(cluster);
        if (HoldsEndOfDirectory(bytes)) {
            break;
        }
    }
    return clusters;
}

std::unordered_map<std::uint64_t, std::uint64_t> ChainPreviousSectors(
    const ActiveVolume& volume, const std::vector<std::uint32_t>& clusters) {
    std::unordered_map<std::uint64_t, std::uint64_t> previous;
    if (clusters.empty() || volume.sectorsPerCluster == 0) {
        return previous;
    }
    previous[ClusterToSector(volume, clusters.front(), 0)] = kNoPreviousSector;
    for (std::size_t i = 1; i < clusters.size(); ++i) {
        const std::uint64_t first = ClusterToSector(volume, clusters[i], 0);
        const std::uint64_t last =
            ClusterToSector(volume, clusters[i - 1], volume.sectorsPerCluster - 1);
        if (first != last + 1) {
            previous[first] = last;
        }
    }
    return previous;
}

namespace {

void VisitClusters(const ActiveVolume& volume, SectorSource& disk,
                   const std::vector<std::uint32_t>& clusters,
                   const DirectorySectorVisitor& visit) {
    for (const std::uint32_t cluster : clusters) {
        if (!VisitSectors(disk, ClusterToSector(volume, cluster, 0), volume.sectorsPerCluster,
                          visit)) {
            return;
        }
    }
}

}  // namespace

void ForEachDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                            std::uint32_t firstCluster, const DirectorySectorVisitor& visit) {
    if (volume.sectorsPerCluster == 0) {
        return;
    }
    VisitClusters(volume, disk, DirectoryClusters(volume, disk, fat, firstCluster), visit);
}

void ForEachDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                            std::uint32_t firstCluster, LongNameSource& names,
                            const DirectorySectorVisitor& visit) {
    if (volume.sectorsPerCluster == 0) {
        return;
    }
    const std::vector<std::uint32_t> clusters = DirectoryClusters(volume, disk, fat, firstCluster);
    names.previousSector = ChainPreviousSectors(volume, clusters);
    VisitClusters(volume, disk, clusters, visit);
}

void ForEachRootDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                                const DirectorySectorVisitor& visit) {
    LongNameSource unused;
    ForEachRootDirectorySector(volume, disk, fat, unused, visit);
}

void ForEachRootDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                                LongNameSource& names, const DirectorySectorVisitor& visit) {
    if (IsFat16(volume)) {
        // The sectors before the fixed root hold the FATs: no long name begins there.
        names.previousSector = {{volume.rootStart, kNoPreviousSector}};
        VisitSectors(disk, volume.rootStart, volume.rootSectors, visit);
        return;
    }
    ForEachDirectorySector(volume, disk, fat, RootCluster(volume), names, visit);
}

}  // namespace lumarest

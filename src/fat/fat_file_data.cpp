#include "fat/fat_file_data.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/sector_source.h"
#include "core/volume_params.h"
#include "fat/fat_chain.h"

namespace lumarest {
namespace {

// The largest cluster any FAT volume has, in sectors; damaged parameters beyond it would ask
// for a buffer of gigabytes.
constexpr std::uint32_t kMaxSectorsPerCluster = 256;

constexpr std::uint32_t kFreeCluster = 0;

// Where the clusters of the active volume end: the FAT's entries and the disk's sectors,
// whichever is known and smaller; 0 when neither is known.
std::uint64_t ClusterLimit(const ActiveVolume& volume, SectorSource& disk) {
    std::uint64_t limit = FatEntryCount(volume);
    const std::uint64_t diskSectors = disk.TotalSectors();
    const std::uint64_t firstData = std::uint64_t{volume.cluster0Start} +
                                    std::uint64_t{kFirstDataCluster} * volume.sectorsPerCluster;
    if (diskSectors > firstData && volume.sectorsPerCluster != 0) {
        const std::uint64_t diskClusters =
            kFirstDataCluster + (diskSectors - firstData) / volume.sectorsPerCluster;
        limit = limit == 0 ? diskClusters : std::min(limit, diskClusters);
    }
    return limit;
}

// Reads one cluster into `buffer`; false when its sectors could not all be read (those that
// could not are zeros).
bool ReadCluster(const ActiveVolume& volume, SectorSource& disk, std::uint32_t cluster,
                 std::vector<std::uint8_t>& buffer) {
    std::fill(buffer.begin(), buffer.end(), 0);
    return disk.ReadSectors(ClusterToSector(volume, cluster, 0), volume.sectorsPerCluster,
                            buffer.data()) != 0;
}

// Writes the cluster's bytes the file still needs and returns how many it still needs after.
std::uint64_t WriteClusterBytes(const std::vector<std::uint8_t>& buffer, std::uint64_t left,
                                std::ostream& out) {
    const std::uint64_t count = std::min<std::uint64_t>(left, buffer.size());
    out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(count));
    return left - count;
}

}  // namespace

FatFileClusters FindFatFileClusters(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                                    const FatFilePlace& file) {
    FatFileClusters found;
    const std::uint64_t clusterLimit = ClusterLimit(volume, disk);
    const auto onVolume = [&](std::uint64_t cluster) {
        return cluster >= kFirstDataCluster && cluster <= UINT32_MAX &&
               (clusterLimit == 0 || cluster < clusterLimit);
    };
    found.onVolume = volume.sectorsPerCluster != 0 &&
                     volume.sectorsPerCluster <= kMaxSectorsPerCluster &&
                     onVolume(file.firstCluster);
    if (!found.onVolume || file.size == 0) {
        return found;
    }
    const std::uint64_t clusterBytes = std::uint64_t{volume.sectorsPerCluster} * kSectorSize;
    const std::uint64_t needed = (file.size + clusterBytes - 1) / clusterBytes;
    const std::vector<std::uint32_t> chain = fat.BuildClusterChain(file.firstCluster);
    bool leftVolume = false;
    for (const std::uint32_t cluster : chain) {
        if (found.chain.size() >= needed) {
            break;
        }
        if (!onVolume(cluster)) {
            leftVolume = true;
            break;
        }
        found.chain.push_back(cluster);
    }
    const bool freed = file.deleted && !leftVolume && fat.Entry(chain.back()) == kFreeCluster;
    found.freeStart = std::uint64_t{chain.back()} + 1;
    // Another entry starting inside the run ends it: two files cannot hold one cluster.
    const std::uint64_t end = file.nextStart > chain.back() ? file.nextStart : UINT64_MAX;
    for (std::uint64_t cluster = found.freeStart;
         freed && found.Count() < needed && cluster < end && onVolume(cluster) &&
         fat.Entry(static_cast<std::uint32_t>(cluster)) == kFreeCluster;
         ++cluster) {
        ++found.freeCount;
    }
    found.truncated = file.deleted && found.Count() < needed;
    return found;
}

RecoveredFileStatus WriteFatFileData(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                                     const FatFilePlace& file, std::ostream& out) {
    if (file.size == 0) {
        return RecoveredFileStatus::Written;
    }
    const FatFileClusters found = FindFatFileClusters(volume, disk, fat, file);
    if (!found.onVolume) {
        return RecoveredFileStatus::NoData;
    }
    std::vector<std::uint8_t> buffer(std::uint64_t{volume.sectorsPerCluster} * kSectorSize);
    std::uint64_t left = file.size;
    bool whole = true;
    // A write that failed, or was stopped, ends the reading too.
    for (std::size_t i = 0; i < found.chain.size() && left > 0 && out; ++i) {
        // An unreadable cluster of the chain keeps its place in the file, as zeros.
        whole = ReadCluster(volume, disk, found.chain[i], buffer) && whole;
        left = WriteClusterBytes(buffer, left, out);
    }
    for (std::uint64_t i = 0; i < found.freeCount && left > 0 && out; ++i) {
        // Past the chain an unreadable cluster means the disk ends: the rest is not there.
        if (!ReadCluster(volume, disk, static_cast<std::uint32_t>(found.freeStart + i), buffer)) {
            break;
        }
        left = WriteClusterBytes(buffer, left, out);
    }
    if (!out) {
        return RecoveredFileStatus::WriteFailed;
    }
    if (left == file.size) {
        return RecoveredFileStatus::NoData;
    }
    return left == 0 && whole ? RecoveredFileStatus::Written : RecoveredFileStatus::Incomplete;
}

RecoveredFileStatus WriteFatFileData(const ActiveVolume& volume, SectorSource& disk,
                                     std::uint32_t firstCluster, std::uint64_t size, bool deleted,
                                     std::ostream& out) {
    FatTable fat(volume, disk);
    return WriteFatFileData(volume, disk, fat, {firstCluster, size, deleted, 0}, out);
}

}  // namespace lumarest

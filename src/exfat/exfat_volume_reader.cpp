#include "exfat/exfat_volume_reader.h"

#include <algorithm>
#include <unordered_set>

namespace lumarest {
namespace {

constexpr std::size_t kFatEntryBytes = 4;
// FAT sectors read at once and kept together.
constexpr std::uint64_t kFatChunkSectors = 256;
// The most sectors one read asks for.
constexpr std::uint64_t kLargestRead = 2048;
constexpr std::uint8_t kBitmapType = 0x81;
constexpr std::size_t kBitmapFirstClusterOffset = 20;
constexpr std::size_t kBitmapLengthOffset = 24;
constexpr unsigned kBitsPerByte = 8;

std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t by) {
    return value / by + (value % by != 0 ? 1 : 0);
}

}  // namespace

ExFatVolumeReader::ExFatVolumeReader(SectorSource& disk, const ExFatLayout& layout)
    : disk_(disk), layout_(layout) {}

const std::vector<std::uint8_t>* ExFatVolumeReader::FatChunk(std::uint64_t index) {
    const auto found = fatChunks_.find(index);
    if (found != fatChunks_.end()) {
        return found->second.empty() ? nullptr : &found->second;
    }
    const std::uint64_t first = index * kFatChunkSectors;
    const auto count =
        static_cast<std::uint32_t>(std::min(kFatChunkSectors, layout_.fatSectors - first));
    std::vector<std::uint8_t> chunk(SectorsToBytes(count));
    // A chunk that cannot be read is remembered as empty: its entries are unknown.
    if (disk_.ReadSectors(layout_.fatStart + first, count, chunk.data()) == 0) {
        chunk.clear();
    }
    const auto& kept = fatChunks_.emplace(index, std::move(chunk)).first->second;
    return kept.empty() ? nullptr : &kept;
}

std::optional<std::uint32_t> ExFatVolumeReader::FatEntry(std::uint32_t cluster) {
    const std::uint64_t offset = std::uint64_t{cluster} * kFatEntryBytes;
    const std::uint64_t sector = offset / kSectorSize;
    if (sector >= layout_.fatSectors) {
        return std::nullopt;
    }
    const std::vector<std::uint8_t>* chunk = FatChunk(sector / kFatChunkSectors);
    if (chunk == nullptr) {
        return std::nullopt;
    }
    return LoadLe32(*chunk,
                    offset - SectorsToBytes((sector / kFatChunkSectors) * kFatChunkSectors));
}

void ExFatVolumeReader::LoadBitmap() {
    bitmapLoaded_ = true;
    std::vector<std::uint8_t> root;
    ReadClusters(RootClusters(), root);
    const ByteSpan bytes(root);
    for (std::size_t at = 0; at + kExFatEntrySize <= bytes.size(); at += kExFatEntrySize) {
        if (bytes[at] == 0) {
            break;
        }
        if (bytes[at] != kBitmapType) {
            continue;
        }
        const std::uint64_t wantedBytes = CeilDiv(layout_.clusterCount, kBitsPerByte);
        if (*LoadLe64(bytes, at + kBitmapLengthOffset) < wantedBytes) {
            continue;
        }
        ExFatEntrySet bitmapFile;
        bitmapFile.firstCluster = *LoadLe32(bytes, at + kBitmapFirstClusterOffset);
        bitmapFile.dataLength = wantedBytes;
        const ExFatClusters clusters = FileClusters(bitmapFile);
        if (!clusters.complete || !ReadClusters(clusters, bitmap_)) {
            bitmap_.clear();
            continue;
        }
        bitmap_.resize(wantedBytes);
        return;
    }
}

std::optional<bool> ExFatVolumeReader::ClusterInUse(std::uint32_t cluster) {
    if (!bitmapLoaded_) {
        LoadBitmap();
    }
    if (!layout_.HoldsCluster(cluster) || bitmap_.empty()) {
        return std::nullopt;
    }
    const std::uint32_t index = cluster - kExFatFirstCluster;
    return (bitmap_[index / kBitsPerByte] >> (index % kBitsPerByte) & 1) != 0;
}

void ExFatVolumeReader::AddCluster(ExFatClusters& clusters, std::uint32_t cluster) const {
    if (!clusters.runs.empty()) {
        ClusterRun& last = clusters.runs.back();
        if (std::uint64_t{last.first} + last.count == cluster) {
            ++last.count;
            ++clusters.count;
            return;
        }
    }
    clusters.runs.push_back({cluster, 1});
    ++clusters.count;
}

ExFatClusters ExFatVolumeReader::ChainClusters(std::uint32_t first, std::uint64_t wanted,
                                               bool deleted) {
    ExFatClusters clusters;
    if (!layout_.HoldsCluster(first)) {
        return clusters;
    }
    std::unordered_set<std::uint32_t> seen;
    std::uint32_t cluster = first;
    AddCluster(clusters, cluster);
    seen.insert(cluster);
    bool chainGone = false;
    while (clusters.count < wanted) {
        const std::optional<std::uint32_t> next = FatEntry(cluster);
        if (!next || *next == kExFatChainEnd) {
            break;
        }
        // A free or bad entry, or one past the heap: the chain was cleared or damaged here.
        if (!layout_.HoldsCluster(*next)) {
            chainGone = true;
            break;
        }
        if (!seen.insert(*next).second) {
            break;
        }
        cluster = *next;
        AddCluster(clusters, cluster);
    }
    if (deleted && chainGone) {
        for (std::uint64_t free = std::uint64_t{cluster} + 1;
             clusters.count < wanted && free < layout_.ClusterEnd() &&
             ClusterInUse(static_cast<std::uint32_t>(free)) == false;
             ++free) {
            AddCluster(clusters, static_cast<std::uint32_t>(free));
        }
    }
    clusters.complete = clusters.count >= wanted;
    return clusters;
}

void ExFatVolumeReader::CutAtDiskEnd(ExFatClusters& clusters) const {
    const std::uint64_t diskEnd = EndWithinDisk(disk_, UINT64_MAX);
    for (std::size_t i = 0; i < clusters.runs.size(); ++i) {
        ClusterRun& run = clusters.runs[i];
        const std::uint64_t start = layout_.ClusterSector(run.first);
        const std::uint64_t fit =
            start >= diskEnd ? 0 : (diskEnd - start) / layout_.sectorsPerCluster;
        if (fit < run.count) {
            clusters.count -= run.count - fit;
            for (std::size_t j = i + 1; j < clusters.runs.size(); ++j) {
                clusters.count -= clusters.runs[j].count;
            }
            run.count = static_cast<std::uint32_t>(fit);
            clusters.runs.resize(fit == 0 ? i : i + 1);
            clusters.complete = false;
            return;
        }
    }
}

ExFatClusters ExFatVolumeReader::RootClusters() {
    const std::uint64_t most =
        std::max<std::uint64_t>(1, kExFatMaxDirectoryBytes / layout_.ClusterBytes());
    ExFatClusters clusters = ChainClusters(layout_.rootCluster, most, false);
    // The root has no length of its own: its chain's end is its end.
    clusters.complete = clusters.count > 0;
    CutAtDiskEnd(clusters);
    return clusters;
}

ExFatClusters ExFatVolumeReader::FileClusters(const ExFatEntrySet& file) {
    const std::uint64_t needed = CeilDiv(file.dataLength, layout_.ClusterBytes());
    const std::uint64_t wanted = std::min<std::uint64_t>(needed, layout_.clusterCount);
    ExFatClusters clusters;
    if (wanted == 0) {
        clusters.complete = true;
        return clusters;
    }
    if (file.contiguous) {
        if (layout_.HoldsCluster(file.firstCluster)) {
            const std::uint64_t fits = layout_.ClusterEnd() - file.firstCluster;
            const std::uint64_t count = std::min(wanted, fits);
            clusters.runs.push_back({file.firstCluster, static_cast<std::uint32_t>(count)});
            clusters.count = count;
        }
    } else {
        clusters = ChainClusters(file.firstCluster, wanted, file.deleted);
    }
    clusters.complete = clusters.count == needed;
    CutAtDiskEnd(clusters);
    return clusters;
}

bool ExFatVolumeReader::ReadClusters(const ExFatClusters& clusters,
                                     std::vector<std::uint8_t>& bytes) {
    const std::uint64_t diskEnd = EndWithinDisk(disk_, UINT64_MAX);
    bytes.clear();
    bool whole = true;
    for (const ClusterRun& run : clusters.runs) {
        const std::uint64_t start = layout_.ClusterSector(run.first);
        const std::uint64_t wantedSectors = std::uint64_t{run.count} * layout_.sectorsPerCluster;
        // Sectors past a disk of known size are never asked for, nor given room.
        const std::uint64_t sectors =
            start >= diskEnd ? 0 : std::min(wantedSectors, diskEnd - start);
        if (sectors < wantedSectors) {
            whole = false;
        }
        const std::size_t base = bytes.size();
        bytes.resize(base + SectorsToBytes(sectors));
        if (!ReadStretch(start, sectors, bytes.data() + base)) {
            whole = false;
        }
        if (sectors < wantedSectors) {
            break;
        }
    }
    return whole;
}

bool ExFatVolumeReader::ReadStretch(std::uint64_t start, std::uint64_t sectors,
                                    std::uint8_t* into) {
    bool whole = true;
    for (std::uint64_t done = 0; done < sectors;) {
        const auto count = static_cast<std::uint32_t>(std::min(kLargestRead, sectors - done));
        if (disk_.ReadSectors(start + done, count, into + SectorsToBytes(done)) == 0) {
            whole = false;
        }
        done += count;
    }
    return whole;
}

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/sector_source.h"
#include "exfat/entry_set.h"
#include "exfat/exfat_layout.h"

namespace lumarest {

inline constexpr std::uint32_t kExFatChainEnd = 0xFFFFFFFF;
inline constexpr std::uint32_t kExFatBadCluster = 0xFFFFFFF7;
// The most a directory may hold: 256 MiB of entries.
inline constexpr std::uint64_t kExFatMaxDirectoryBytes = 256ull * 1024 * 1024;

// Clusters that follow each other on the disk.
struct ClusterRun {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// The clusters a file or a directory lies in, in order.
struct ExFatClusters {
    std::vector<ClusterRun> runs;
    std::uint64_t count = 0;
    bool complete = false;  // as many as its length needs (or its chain's end was met)
};

// One volume being read: the disk, its layout, and the FAT and allocation bitmap read once.
class ExFatVolumeReader {
  public:
    ExFatVolumeReader(SectorSource& disk, const ExFatLayout& layout);

    SectorSource& Disk() { return disk_; }
    const ExFatLayout& Layout() const { return layout_; }

    // The FAT entry of `cluster`; nothing outside the FAT or when its sectors cannot be read.
    std::optional<std::uint32_t> FatEntry(std::uint32_t cluster);

    // Whether the allocation bitmap marks `cluster` in use; nothing when the bitmap is unknown.
    std::optional<bool> ClusterInUse(std::uint32_t cluster);

    // The root directory's clusters: its FAT chain, never looping nor past the largest directory.
    ExFatClusters RootClusters();
    // The clusters of a file or folder by its stream entry: contiguous, chained, and for a
    // deleted chained one, what is left of its chain then the free clusters after it. None
    // past the end of the disk.
    ExFatClusters FileClusters(const ExFatEntrySet& file);

    // Reads `clusters` whole, in order, in few large reads; false when a read failed (the
    // sectors that could not be read are zeros).
    bool ReadClusters(const ExFatClusters& clusters, std::vector<std::uint8_t>& bytes);
    // Reads `sectors` from `start` into `into`, in few large reads; false when a read failed
    // (the sectors that could not be read are zeros).
    bool ReadStretch(std::uint64_t start, std::uint64_t sectors, std::uint8_t* into);

  private:
    ExFatClusters ChainClusters(std::uint32_t first, std::uint64_t wanted, bool deleted);
    void AddCluster(ExFatClusters& clusters, std::uint32_t cluster) const;
    // Clusters past the end of a disk of known size cannot be read: they are left out.
    void CutAtDiskEnd(ExFatClusters& clusters) const;
    void LoadBitmap();
    const std::vector<std::uint8_t>* FatChunk(std::uint64_t index);

    SectorSource& disk_;
    const ExFatLayout layout_;
    std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> fatChunks_;
    bool bitmapLoaded_ = false;
    std::vector<std::uint8_t> bitmap_;
};

}  // namespace lumarest

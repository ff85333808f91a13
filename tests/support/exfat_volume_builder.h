#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exfat/exfat_layout.h"

namespace lumarest::testing {

// One file's entry set as a test writes it.
struct ExFatSetShape {
    std::u16string name;
    std::uint16_t attributes = 0x20;
    std::uint32_t firstCluster = 0;
    std::uint64_t dataLength = 0;
    std::optional<std::uint64_t> validDataLength;  // the data length when unset
    bool contiguous = true;
    bool deleted = false;
    std::uint32_t modifiedStamp = 0;
    std::uint8_t modifiedTenMs = 0;
    std::uint8_t modifiedUtcOffset = 0;
    // Written instead of the count the name needs (2..18), for damaged sets.
    std::optional<std::uint8_t> secondaryCount;
};

inline ExFatSetShape SetShape(std::u16string name, std::uint16_t attributes,
                            std::uint32_t firstCluster, std::uint64_t dataLength) {
    ExFatSetShape shape;
    shape.name = std::move(name);
    shape.attributes = attributes;
    shape.firstCluster = firstCluster;
    shape.dataLength = dataLength;
    return shape;
}

// The entries of a set, 32 bytes each, with its checksum.
std::vector<std::uint8_t> ExFatSetBytes(const ExFatSetShape& shape);

// A small exFAT volume in memory, as mkfs.exfat lays one out: both boot regions, one FAT, the
// heap with the allocation bitmap in cluster 3 and the root in cluster 2.
class ExFatVolumeBuilder {
  public:
    static constexpr std::uint32_t kRootCluster = 2;
    static constexpr std::uint32_t kBitmapCluster = 3;

    // Sector and cluster sizes as the boot sector's shifts; volume sectors before the volume.
    ExFatVolumeBuilder(std::uint8_t sectorShift, std::uint8_t clusterShift,
                       std::uint32_t clusterCount, std::uint64_t leadBytes = 0);

    std::uint64_t ClusterBytes() const;
    std::uint64_t ClusterByteOffset(std::uint32_t cluster) const;
    std::uint8_t* Cluster(std::uint32_t cluster);

    void SetFat(std::uint32_t cluster, std::uint32_t value);
    // FAT entries chaining `clusters` in order, the last ended; each marked in use.
    void Chain(const std::vector<std::uint32_t>& clusters);
    void SetInUse(std::uint32_t cluster, bool inUse);
    // Entries written at entry slot `slot` of the directory cluster `cluster`.
    void PutEntries(std::uint32_t cluster, std::size_t slot,
                    const std::vector<std::uint8_t>& entries);
    // Unused entries (deleted, of no set) from `slot` to the cluster's end, so a directory
    // goes on past them.
    void FillUnusedEntries(std::uint32_t cluster, std::size_t slot);
    // `count` clusters from `first` filled with `fill`, then its ending byte the cluster number.
    void FillClusters(std::uint32_t first, std::uint32_t count, std::uint8_t fill);

    // The image with its boot regions and checksums written.
    std::vector<std::uint8_t> Image();
    // The engine layout the image should give.
    ExFatLayout ExpectedLayout() const;

    std::vector<std::uint8_t>& Bytes() { return bytes_; }
    std::uint64_t BootByteOffset(bool backup) const;

  private:
    std::uint8_t sectorShift_;
    std::uint8_t clusterShift_;
    std::uint32_t clusterCount_;
    std::uint64_t leadBytes_;
    std::uint32_t fatOffset_;
    std::uint32_t fatLength_;
    std::uint32_t heapOffset_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace lumarest::testing

#include "support/exfat_volume_builder.h"

#include <algorithm>
#include <cstring>

#include "exfat/boot_region.h"
#include "exfat/entry_set.h"

namespace lumarest::testing {
namespace {

void Put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}
void Put32(std::uint8_t* at, std::uint32_t value) {
    Put16(at, static_cast<std::uint16_t>(value));
    Put16(at + 2, static_cast<std::uint16_t>(value >> 16));
}
void Put64(std::uint8_t* at, std::uint64_t value) {
    Put32(at, static_cast<std::uint32_t>(value));
    Put32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

constexpr std::size_t kUnitsPerNameEntry = 15;

}  // namespace

std::vector<std::uint8_t> ExFatSetBytes(const ExFatSetShape& shape) {
    const std::size_t nameEntries =
        std::max<std::size_t>(1, (shape.name.size() + kUnitsPerNameEntry - 1) / kUnitsPerNameEntry);
    std::vector<std::uint8_t> set((2 + nameEntries) * kExFatEntrySize, 0);
    const std::uint8_t inUse = shape.deleted ? 0x00 : 0x80;
    std::uint8_t* file = set.data();
    file[0] = 0x05 | inUse;
    file[1] = shape.secondaryCount.value_or(static_cast<std::uint8_t>(1 + nameEntries));
    Put16(file + 4, shape.attributes);
    Put32(file + 8, shape.modifiedStamp);
    Put32(file + 12, shape.modifiedStamp);
    file[21] = shape.modifiedTenMs;
    file[22] = shape.modifiedUtcOffset;
    file[23] = shape.modifiedUtcOffset;
    std::uint8_t* stream = file + kExFatEntrySize;
    stream[0] = 0x40 | inUse;
    stream[1] = static_cast<std::uint8_t>(0x01 | (shape.contiguous ? 0x02 : 0x00));
    stream[3] = static_cast<std::uint8_t>(shape.name.size());
    Put64(stream + 8, shape.validDataLength.value_or(shape.dataLength));
    Put32(stream + 20, shape.firstCluster);
    Put64(stream + 24, shape.dataLength);
    for (std::size_t i = 0; i < nameEntries; ++i) {
        std::uint8_t* name = stream + (1 + i) * kExFatEntrySize;
        name[0] = 0x41 | inUse;
        for (std::size_t u = 0; u < kUnitsPerNameEntry; ++u) {
            const std::size_t index = i * kUnitsPerNameEntry + u;
            Put16(name + 2 + 2 * u, index < shape.name.size() ? shape.name[index] : 0);
        }
    }
    Put16(file + 2, EntrySetChecksum(set));
    return set;
}

ExFatVolumeBuilder::ExFatVolumeBuilder(std::uint8_t sectorShift, std::uint8_t clusterShift,
                                       std::uint32_t clusterCount, std::uint64_t leadBytes)
    : sectorShift_(sectorShift),
      clusterShift_(clusterShift),
      clusterCount_(clusterCount),
      leadBytes_(leadBytes),
      fatOffset_(24) {
    const std::uint64_t sectorBytes = std::uint64_t{1} << sectorShift;
    fatLength_ =
        static_cast<std::uint32_t>(((clusterCount + 2) * 4 + sectorBytes - 1) / sectorBytes);
    heapOffset_ = fatOffset_ + fatLength_;
    const std::uint64_t volumeSectors = heapOffset_ + (std::uint64_t{clusterCount} << clusterShift);
    bytes_.assign(leadBytes + volumeSectors * sectorBytes, 0);
    SetFat(0, 0xFFFFFFF8);
    SetFat(1, 0xFFFFFFFF);
    Chain({kRootCluster});
    Chain({kBitmapCluster});
    std::vector<std::uint8_t> bitmapEntry(kExFatEntrySize, 0);
    bitmapEntry[0] = 0x81;
    Put32(bitmapEntry.data() + 20, kBitmapCluster);
    Put64(bitmapEntry.data() + 24, (clusterCount + 7) / 8);
    PutEntries(kRootCluster, 0, bitmapEntry);
}

std::uint64_t ExFatVolumeBuilder::ClusterBytes() const {
    return std::uint64_t{1} << (sectorShift_ + clusterShift_);
}

std::uint64_t ExFatVolumeBuilder::ClusterByteOffset(std::uint32_t cluster) const {
    return leadBytes_ + (std::uint64_t{heapOffset_} << sectorShift_) +
           std::uint64_t{cluster - 2} * ClusterBytes();
}

std::uint8_t* ExFatVolumeBuilder::Cluster(std::uint32_t cluster) {
    return bytes_.data() + ClusterByteOffset(cluster);
}

void ExFatVolumeBuilder::SetFat(std::uint32_t cluster, std::uint32_t value) {
    Put32(bytes_.data() + leadBytes_ + (std::uint64_t{fatOffset_} << sectorShift_) + 4 * cluster,
          value);
}

void ExFatVolumeBuilder::Chain(const std::vector<std::uint32_t>& clusters) {
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFFFFFFF);
        SetInUse(clusters[i], true);
    }
}

void ExFatVolumeBuilder::SetInUse(std::uint32_t cluster, bool inUse) {
    std::uint8_t& byte = Cluster(kBitmapCluster)[(cluster - 2) / 8];
    const auto bit = static_cast<std::uint8_t>(1u << ((cluster - 2) % 8));
    byte = static_cast<std::uint8_t>(inUse ? byte | bit : byte & ~bit);
}

void ExFatVolumeBuilder::PutEntries(std::uint32_t cluster, std::size_t slot,
                                    const std::vector<std::uint8_t>& entries) {
    std::memcpy(Cluster(cluster) + slot * kExFatEntrySize, entries.data(), entries.size());
}

void ExFatVolumeBuilder::FillUnusedEntries(std::uint32_t cluster, std::size_t slot) {
    constexpr std::uint8_t kUnusedEntry = 0x20;
    for (std::size_t at = slot * kExFatEntrySize; at < ClusterBytes(); at += kExFatEntrySize) {
        Cluster(cluster)[at] = kUnusedEntry;
    }
}

void ExFatVolumeBuilder::FillClusters(std::uint32_t first, std::uint32_t count, std::uint8_t fill) {
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* at = Cluster(first + i);
        std::memset(at, fill, ClusterBytes());
        at[ClusterBytes() - 1] = static_cast<std::uint8_t>(first + i);
    }
}

std::uint64_t ExFatVolumeBuilder::BootByteOffset(bool backup) const {
    return leadBytes_ + (backup ? std::uint64_t{kExFatBootRegionSectors} << sectorShift_ : 0);
}

std::vector<std::uint8_t> ExFatVolumeBuilder::Image() {
    const std::uint64_t sectorBytes = std::uint64_t{1} << sectorShift_;
    std::vector<std::uint8_t> region(kExFatBootRegionSectors * sectorBytes, 0);
    std::uint8_t* boot = region.data();
    boot[0] = 0xEB;
    boot[1] = 0x76;
    boot[2] = 0x90;
    std::memcpy(boot + 3, "EXFAT   ", 8);
    Put64(boot + 64, leadBytes_ / sectorBytes);
    Put64(boot + 72, (bytes_.size() - leadBytes_) / sectorBytes);
    Put32(boot + 80, fatOffset_);
    Put32(boot + 84, fatLength_);
    Put32(boot + 88, heapOffset_);
    Put32(boot + 92, clusterCount_);
    Put32(boot + 96, kRootCluster);
    Put32(boot + 100, 0x12345678);
    Put16(boot + 104, 0x0100);
    boot[108] = sectorShift_;
    boot[109] = clusterShift_;
    boot[110] = 1;
    boot[111] = 0x80;
    Put16(boot + 510, 0xAA55);
    const std::uint32_t sum = BootRegionChecksum(region);
    for (std::uint64_t at = 0; at < sectorBytes; at += 4) {
        Put32(region.data() + 11 * sectorBytes + at, sum);
    }
    std::copy(region.begin(), region.end(),
              bytes_.begin() + static_cast<std::ptrdiff_t>(BootByteOffset(false)));
    std::copy(region.begin(), region.end(),
              bytes_.begin() + static_cast<std::ptrdiff_t>(BootByteOffset(true)));
    return bytes_;
}

ExFatLayout ExFatVolumeBuilder::ExpectedLayout() const {
    const std::uint32_t unit = 1u << (sectorShift_ - 9);
    const std::uint64_t lead = leadBytes_ / 512;
    ExFatLayout layout;
    layout.volumeStart = lead;
    layout.volumeSectors = (bytes_.size() - leadBytes_) / 512;
    layout.sectorUnit = unit;
    layout.fatStart = lead + std::uint64_t{fatOffset_} * unit;
    layout.fatSectors = std::uint64_t{fatLength_} * unit;
    layout.heapStart = lead + std::uint64_t{heapOffset_} * unit;
    layout.sectorsPerCluster = unit << clusterShift_;
    layout.clusterCount = clusterCount_;
    layout.rootCluster = kRootCluster;
    return layout;
}

}  // namespace lumarest::testing

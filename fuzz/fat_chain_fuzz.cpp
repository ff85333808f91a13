// Fuzzes the cluster-chain walk and the directory read over a random FAT.
//
// Input: byte 0 picks FAT16 or FAT32 (bit 0), byte 1 the FAT's sectors (1 to 16), byte 2 the
// sectors per cluster (0 to 8), bytes 3 to 6 the start cluster; the rest fills the disk, whose
// first FAT starts at sector 1. The cached walk must give what a plain walk that reads one
// FAT sector per step gives, never repeat a cluster, and the directory read must visit each
// sector of the chain once. A deleted file from the start reads what its size and the next
// entry allow, and writes what the room check counts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <streambuf>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/le_bytes.h"
#include "core/volume_params.h"
#include "fat/fat_chain.h"
#include "fat/fat_file_data.h"
#include "fuzz_disk.h"
#include "output/recovered_file.h"

namespace {

using lumarest::fuzzing::Check;
using lumarest::fuzzing::FuzzDisk;

using lumarest::kSectorSize;

constexpr std::uint64_t kDiskSectors = 64;
constexpr std::uint32_t kFirstFat = 1;

// One FAT sector read per step, as the walk is written down; ends at a repeat.
std::vector<std::uint32_t> PlainWalk(const lumarest::ActiveVolume& volume,
                                     lumarest::SectorSource& disk, std::uint32_t cluster) {
    const bool fat16 = volume.fsName == "FAT16";
    const std::uint32_t perSector = fat16 ? 256 : 128;
    const std::uint32_t end = fat16 ? lumarest::kFat16ChainEnd : lumarest::kFat32ChainEnd;
    std::vector<std::uint32_t> chain{cluster};
    std::unordered_set<std::uint32_t> seen{cluster};
    while (true) {
        const std::uint32_t index = cluster / perSector;
        if (volume.firstFat == 0 || index >= volume.sectorsPerFat) {
            break;
        }
        std::uint8_t sector[kSectorSize];
        if (disk.ReadSectors(volume.firstFat + index, 1, sector) == 0) {
            break;
        }
        const lumarest::ByteSpan bytes(sector, kSectorSize);
        const std::size_t at = cluster % perSector;
        const std::uint32_t next =
            fat16 ? *lumarest::LoadLe16(bytes, at * 2) : *lumarest::LoadLe32(bytes, at * 4);
        if (next < 2 || next >= end || !seen.insert(next).second) {
            break;
        }
        chain.push_back(next);
        cluster = next;
    }
    return chain;
}

// Counts what is written and keeps nothing.
class CountingBuffer : public std::streambuf {
  public:
    std::uint64_t count = 0;

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        count += static_cast<std::uint64_t>(n);
        return n;
    }
    int overflow(int c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7) {
        return 0;
    }
    lumarest::ActiveVolume volume;
    volume.fsName = (data[0] & 1) != 0 ? "FAT32" : "FAT16";
    volume.sectorsPerFat = 1 + data[1] % 16;
    volume.sectorsPerCluster = data[2] % 9;
    volume.firstFat = kFirstFat;
    volume.secondFat = kFirstFat + volume.sectorsPerFat;
    volume.cluster0Start = volume.secondFat + volume.sectorsPerFat;
    std::uint32_t start = 0;
    std::memcpy(&start, data + 3, sizeof start);
    std::vector<std::uint8_t> bytes(kDiskSectors * kSectorSize, 0);
    std::memcpy(bytes.data(), data + 7, std::min(size - 7, bytes.size()));
    FuzzDisk disk(std::move(bytes), kDiskSectors);

    lumarest::FatTable table(volume, disk);
    const std::vector<std::uint32_t> chain = table.BuildClusterChain(start);
    Check(!chain.empty() && chain.front() == start);
    Check(chain.size() <= lumarest::FatEntryCount(volume) + 1);
    Check(chain == PlainWalk(volume, disk, start));
    Check(table.BuildClusterChain(start) == chain);  // again, from the cache

    // A deleted folder's reading may go on through the free clusters after its chain.
    const std::vector<std::uint32_t> clusters =
        lumarest::DirectoryClusters(volume, disk, table, start);
    Check(clusters.size() >= chain.size() &&
          std::equal(chain.begin(), chain.end(), clusters.begin()));

    std::uint64_t visits = 0;
    lumarest::ForEachDirectorySector(
        volume, disk, table, start, [&](std::uint64_t sector, lumarest::ByteSpan sectorBytes) {
            Check(sectorBytes.size() == kSectorSize);
            Check(sector == lumarest::ClusterToSector(volume,
                                                      clusters[visits / volume.sectorsPerCluster],
                                                      visits % volume.sectorsPerCluster));
            ++visits;
            return true;
        });
    Check(visits == clusters.size() * volume.sectorsPerCluster);

    // A deleted file from the same start, its size and the next entry's start from the spare
    // bits: no more clusters than its size needs, its chain first, its free run ending before
    // the next entry, and exactly the bytes the room check counts written.
    const std::uint64_t fileSize = (std::uint64_t{data[1]} / 16 + 1) << ((data[0] >> 1) % 36);
    const lumarest::FatFilePlace place{start, fileSize, true, start + data[2] / 16u};
    const lumarest::FatFileClusters found =
        lumarest::FindFatFileClusters(volume, disk, table, place);
    if (!found.onVolume) {
        return 0;
    }
    const std::uint64_t clusterBytes = std::uint64_t{volume.sectorsPerCluster} * kSectorSize;
    Check(found.Count() <= (fileSize + clusterBytes - 1) / clusterBytes);
    Check(found.truncated == (found.Count() * clusterBytes < fileSize));
    Check(found.chain.size() <= chain.size() &&
          std::equal(found.chain.begin(), found.chain.end(), chain.begin()));
    Check(found.freeCount == 0 || place.nextStart <= chain.back() ||
          found.freeStart + found.freeCount <= place.nextStart);
    CountingBuffer counter;
    std::ostream out(&counter);
    lumarest::WriteFatFileData(volume, disk, table, place, out);
    Check(counter.count == std::min(fileSize, found.Count() * clusterBytes));
    return 0;
}

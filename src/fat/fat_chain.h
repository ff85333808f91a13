#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/le_bytes.h"
#include "core/sector_source.h"
#include "core/volume_params.h"
#include "fat/directory_entry.h"

namespace lumarest {

class Reporter;

inline constexpr std::uint32_t kFat16EntriesPerSector = 256;
inline constexpr std::uint32_t kFat32EntriesPerSector = 128;
// The first value that ends a chain: the end-of-chain marks 0xFFF8 to 0xFFFF (0x0FFFFFF8 to
// 0x0FFFFFFF). mkfs.fat ends the FAT32 root with 0x0FFFFFF8; following it as a cluster would
// read sectors of no directory. The bad-cluster mark just below is still followed.
inline constexpr std::uint32_t kFat16ChainEnd = 0xFFF8;
inline constexpr std::uint32_t kFat32ChainEnd = 0x0FFFFFF8;
inline constexpr std::uint32_t kFirstDataCluster = 2;

// Shown instead of scanning a volume whose clusters would have no sectors.
inline constexpr const char* kNoSectorsPerClusterMessage =
    "The partition's parameters give 0 sectors per cluster, so its folders cannot be read.";

// The i-th sector (0-based) of a cluster: cluster × sectorsPerCluster + cluster0Start + i.
// Kept 64-bit so a far cluster never wraps round onto the start of the disk, and taken from
// the first data sector so a cluster0Start below sector 0 still gives the right sectors.
std::uint64_t ClusterToSector(const ActiveVolume& volume, std::uint32_t cluster, std::uint32_t i);

bool IsFat16(const ActiveVolume& volume);

// FAT32 keeps its root folder's cluster in rootStart, which FAT16 gives a sector: a cluster
// number is 32-bit.
std::uint32_t RootCluster(const ActiveVolume& volume);

// Entries the first FAT holds: its sectors × entries per sector. No chain can have more
// distinct clusters than this.
std::uint64_t FatEntryCount(const ActiveVolume& volume);

// False, after an error box, when the volume's clusters have 0 sectors: nothing of it can be
// read by cluster.
bool RefuseClusterlessVolume(const ActiveVolume& volume, Reporter& reporter);

// The first FAT of the active volume, read through a cache of its sectors: walking many
// chains reads each FAT sector once. A sector that cannot be read is not kept, so the next
// walk tries it again, just as a walk without a cache would. The table keeps its own copy of
// the volume: a new active volume needs a new table.
class FatTable {
  public:
    FatTable(const ActiveVolume& volume, SectorSource& disk);

    // The chain from `startCluster`: the start cluster itself, then each successor from the
    // first FAT until an entry below 2, the end mark, an entry past the FAT, a failed read
    // or a firstFat of 0. A cluster already in the chain ends it too: a looping FAT gives
    // each of its clusters once.
    std::vector<std::uint32_t> BuildClusterChain(std::uint32_t startCluster);

    // The FAT entry of `cluster`, or nothing when it lies outside the first FAT or its sector
    // cannot be read.
    std::optional<std::uint32_t> Entry(std::uint32_t cluster);

    std::uint64_t SectorReads() const { return sectorReads_; }

  private:
    using Sector = std::array<std::uint8_t, kSectorSize>;
    const Sector* FatSector(std::uint32_t index);

    const ActiveVolume volume_;
    SectorSource& disk_;
    std::unordered_map<std::uint32_t, Sector> cache_;
    std::uint64_t sectorReads_ = 0;
};

// One walk without a kept cache.
std::vector<std::uint32_t> BuildClusterChain(const ActiveVolume& volume, SectorSource& disk,
                                             std::uint32_t startCluster);

// Called with each sector of a directory in order, its number and its bytes; false stops.
using DirectorySectorVisitor = std::function<bool(std::uint64_t sector, ByteSpan bytes)>;

// The clusters a directory's entries lie in, in order: its chain from `firstCluster`. A
// deleted folder's chain was freed, so it ends at a cluster whose FAT entry is 0 while the
// folder may have gone on: as for a deleted file, its clusters are taken to follow on the
// disk, each while it is free, does not begin another directory with "." and "..", holds
// nothing but what can be entries, and the entries so far have not ended the directory; never
// past the volume's clusters or the most a directory holds (65 536 entries). A live
// directory's chain is all of it.
std::vector<std::uint32_t> DirectoryClusters(const ActiveVolume& volume, SectorSource& disk,
                                             FatTable& fat, std::uint32_t firstCluster);

// For a backward long-name walk over these clusters: the first sector of each cluster that
// does not follow its chain predecessor on the disk, mapped to that predecessor's last
// sector; the first cluster's first sector to kNoPreviousSector.
std::unordered_map<std::uint64_t, std::uint64_t> ChainPreviousSectors(
    const ActiveVolume& volume, const std::vector<std::uint32_t>& clusters);

// Reads a directory by DirectoryClusters from `firstCluster`, every sector of every cluster
// in order. Nothing is read when the volume's clusters have no sectors.
void ForEachDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                            std::uint32_t firstCluster, const DirectorySectorVisitor& visit);
// The same, first pointing `names` along the directory's chain, so a long name that begins
// in the cluster before is read from there.
void ForEachDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                            std::uint32_t firstCluster, LongNameSource& names,
                            const DirectorySectorVisitor& visit);

// Reads the root directory: the fixed sectors rootStart to rootStart + rootSectors - 1 on
// FAT16, the directory from cluster rootStart on FAT32.
void ForEachRootDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                                const DirectorySectorVisitor& visit);
// The same, with `names` pointed along the root's sectors.
void ForEachRootDirectorySector(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                                LongNameSource& names, const DirectorySectorVisitor& visit);

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "output/recovered_file.h"

namespace lumarest {

struct ActiveVolume;
class FatTable;
class SectorSource;

// A FAT file as its directory entry places it.
struct FatFilePlace {
    std::uint32_t firstCluster = 0;
    std::uint64_t size = 0;
    bool deleted = false;
    // Deleted: the first cluster past its own where another entry of its folder begins; its
    // freed data ends before it. 0 when none does.
    std::uint32_t nextStart = 0;
};

// The clusters a FAT file's data is read from, in order, no more than its size needs: first
// from its chain, then, for a freed file, the free clusters that follow on the disk.
struct FatFileClusters {
    bool onVolume = false;  // its first cluster lies on the volume, whose clusters have sectors
    std::vector<std::uint32_t> chain;
    std::uint64_t freeStart = 0;  // the first of the free clusters read on
    std::uint64_t freeCount = 0;
    // Deleted, and its size runs past what its chain and the free clusters after it hold: it
    // can only be saved in part.
    bool truncated = false;

    std::uint64_t Count() const { return chain.size() + freeCount; }
};

// A live file is all of its chain: a size beyond it is damage. A deleted file whose chain was
// freed most likely lay in one piece after the last cluster found, and can only have gone on
// through clusters that are still free, up to the start of another entry of its folder. A
// chain that loops, leaves the volume or ends in a mark was not freed: nothing says where its
// file went on.
FatFileClusters FindFatFileClusters(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                                    const FatFilePlace& file);

// Writes at most `size` bytes of a FAT file along the clusters FindFatFileClusters gives. An
// unreadable cluster of the chain keeps its place as zeros; one after it ends the file there.
// Nothing is added past what was found.
RecoveredFileStatus WriteFatFileData(const ActiveVolume& volume, SectorSource& disk, FatTable& fat,
                                     const FatFilePlace& file, std::ostream& out);

// The same through a FAT table of its own, for a file with no other entry after it.
RecoveredFileStatus WriteFatFileData(const ActiveVolume& volume, SectorSource& disk,
                                     std::uint32_t firstCluster, std::uint64_t size, bool deleted,
                                     std::ostream& out);

}  // namespace lumarest

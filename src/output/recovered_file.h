#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace lumarest {

struct ActiveVolume;
class FatTable;
class SectorSource;

inline constexpr const char* kTempFilePrefix = "LMRC";

// "LMRC" + counter + "." + the name's text after its first dot ("LMRC0.jpg" for photo.jpg,
// "LMRC1.tar.gz" for backup.tar.gz, "LMRC3.README" for README).
std::string TempFileName(std::uint32_t counter, std::string_view name);

// The folder, a "/" unless it already ends in one, and the name.
std::string TempFilePath(const std::string& folder, const std::string& name);

// Creates every folder along `path`; folders that exist already are fine. False when the
// path is still not a folder afterwards.
bool CreateFolderPath(const std::string& path);

enum class RecoveredFileStatus {
    Written,
    Incomplete,   // fewer bytes could be found than the file's size; what was found was written
    NoData,       // nothing of the file could be located
    WriteFailed,  // the target could not be created or written
};

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

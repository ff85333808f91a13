#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace lumarest::testing {

// (path, deleted) of each regular file `fls -r -p` lists in the volume at `offset` sectors of
// `image`, leaving out the file system's own ($MFT, streams, orphans) and the volume label.
// Empty when fls is not installed or refuses the volume.
std::set<std::pair<std::string, bool>> FlsUserFiles(const std::string& image,
                                                    std::uint64_t offset = 0);

// The path of each folder `fls -r -D -p` lists in the volume at `offset` sectors of `image`,
// live and deleted. Empty when fls is not installed or refuses the volume.
std::set<std::string> FlsFolders(const std::string& image, std::uint64_t offset = 0);

// One entry of `fls -r -p`: its kind ('d' folder, 'r' file, '-' unknown), deleted mark and
// path. Orphans are kept (under "$OrphanFiles/"); the file system's virtual files are not.
struct FlsEntry {
    char kind = 'r';
    bool deleted = false;
    std::string path;
    std::uint64_t inode = 0;  // the number icat takes (NTFS: the record number)
};
// Every entry `fls -r -p` lists in the volume at `offset` sectors of `image`, in its order.
// Empty when fls is not installed or refuses the volume.
std::vector<FlsEntry> FlsEntries(const std::string& image, std::uint64_t offset = 0);

// FlsEntries less what the file system keeps for itself and the orphans: `$`-named files
// ($MFT, $ALLOC_BITMAP, $UPCASE_TABLE ...), streams and the volume label's entry.
std::vector<FlsEntry> FlsUserEntries(const std::string& image, std::uint64_t offset = 0);

}  // namespace lumarest::testing

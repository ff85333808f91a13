#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace lumarest::testing {

// One entry line of an fls listing, as `-p` writes it ("r/r * 64-128-2:<tab>Old/a.txt").
struct FlsEntry {
    char kind = 'r';  // from the file's record: 'd' folder, 'r' file, '-' unknown, 'v' virtual
    bool deleted = false;
    std::string path;
    std::uint64_t inode = 0;           // the number icat takes (NTFS: the record number)
    char nameKind = 'r';               // the same, as the name's directory entry gives it
    bool reallocated = false;          // "(realloc)": the name's record now belongs to another file
    std::string address;               // all icat takes: "522", or on NTFS "64-128-2"
    std::vector<std::string> details;  // the fields after the path (-l: four times, size, ...)
};

// The entry lines of `listing`, fls's output or a stored copy of it, in their order; other
// lines (comments, a heading) are left out.
std::vector<FlsEntry> ParseFlsListing(const std::string& listing);

// One line of `fls -m ''`, the timeline body: its times are seconds since 1970.
struct FlsBodyLine {
    std::string path;  // without the leading "/" and the " (deleted)" mark
    bool deleted = false;
    bool fileNameTimes = false;  // NTFS: the line of the name's own times, " ($FILE_NAME)"
    std::int64_t modified = 0;
};

// The lines of a body `fls -m ''` wrote, in their order; lines of too few fields are left out.
std::vector<FlsBodyLine> ParseFlsBody(const std::string& body);

// What `fls <options> -o <offset> <image> [folder]` writes, the folder by its number (none:
// the root). Empty when fls is not installed or refuses the volume.
std::string FlsOutput(const std::string& image, const std::string& options,
                      std::uint64_t offset = 0, const std::string& folder = {});

// A stored listing of the shared real images, by its file name; empty when it is not there.
std::string StoredFlsListing(const std::string& name);

// Whether `path` is the file system's own rather than the user's: `$`-named files ($MFT,
// $FAT1, $OrphanFiles ...), attribute streams and the volume label's entry.
bool FileSystemOwn(const std::string& path);

// (path, deleted) of each regular file `fls -r -p` lists in the volume at `offset` sectors of
// `image`, leaving out the file system's own ($MFT, streams, orphans) and the volume label.
// Empty when fls is not installed or refuses the volume.
std::set<std::pair<std::string, bool>> FlsUserFiles(const std::string& image,
                                                    std::uint64_t offset = 0);

// Path -> deleted of each folder `fls -r -D -p` lists in the volume at `offset` sectors of
// `image`. Empty when fls is not installed or refuses the volume.
std::map<std::string, bool> FlsFolderMarks(const std::string& image, std::uint64_t offset = 0);

// The path of each folder `fls -r -D -p` lists in the volume at `offset` sectors of `image`,
// live and deleted. Empty when fls is not installed or refuses the volume.
std::set<std::string> FlsFolders(const std::string& image, std::uint64_t offset = 0);

// Every folder, file and entry of unknown kind `fls -r -p` lists in the volume at `offset`
// sectors of `image`, in its order. Orphans are kept (under "$OrphanFiles/"); the file
// system's virtual files and reallocated names are not. Empty when fls is not installed or
// refuses the volume.
std::vector<FlsEntry> FlsEntries(const std::string& image, std::uint64_t offset = 0);

// FlsEntries less what the file system keeps for itself and the orphans: `$`-named files
// ($MFT, $ALLOC_BITMAP, $UPCASE_TABLE ...), streams and the volume label's entry.
std::vector<FlsEntry> FlsUserEntries(const std::string& image, std::uint64_t offset = 0);

}  // namespace lumarest::testing

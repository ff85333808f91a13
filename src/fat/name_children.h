#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/le_bytes.h"
#include "fat/directory_entry.h"

namespace lumarest {

struct RecoveryRun;
class SectorSource;
class TextTable;

// Long-name walks of the selected volume read no sector before its first one; short names
// are read through the run's code page.
LongNameSource VolumeNameSource(const RecoveryRun& run, SectorSource& disk);

// Called with the first cluster and the name of each named entry of a directory sector.
using NamedEntryVisitor = std::function<void(std::uint32_t cluster, const EntryNameResult& name)>;

// Visits the named entries of one directory sector in order, skipping dot and long-name
// entries and entries whose name is garbage. False when an entry ends the directory.
bool ForEachNamedEntry(const LongNameSource& source, ByteSpan sector, std::uint64_t sectorNumber,
                       std::string_view fsName, const NamedEntryVisitor& visit);

// Which of a directory's entries names a folder when several point at its cluster. Windows
// leaves the deleted entries of a folder's old name ("New Folder") beside its live entry: the
// live entry names the folder and keeps the deleted mark it had before this read, wherever the
// two stand. Otherwise the last entry names it, and a deleted one marks it deleted.
// One object lives for one read of one directory.
class FolderNamePass {
  public:
    // The deleted mark to give the folder of `cluster`, which had `deletedBefore` when the read
    // began, as the entry names it; nothing when a live entry named it already in this read.
    std::optional<bool> Deleted(std::uint32_t cluster, bool entryDeleted, bool deletedBefore);

  private:
    struct Folder {
        bool deletedBefore = false;
        bool namedLive = false;
    };
    std::unordered_map<std::uint32_t, Folder> folders_;
};

// Names the child folders of the folder `parentSelfId` from sector `sector` of its directory:
// each entry names the first folder node with that cluster under that parent, as
// FolderNamePass chooses. Returns 0 when the sector holds the end of the directory, else 1.
// Knowing no chain, it reads a long name back through the sectors before on the disk.
int NameChildFolders(RecoveryRun& run, SectorSource& disk, std::uint64_t sector,
                     std::uint32_t parentSelfId);
// The same from the sector's bytes, read as its directory's walk read them, in the read
// `pass` of the whole directory; false when the sector holds the end of the directory.
bool NameChildFoldersFrom(RecoveryRun& run, const LongNameSource& source, ByteSpan bytes,
                          std::uint64_t sector, std::uint32_t parentSelfId, FolderNamePass& pass);

// Names the root-level folder rows of `table` from the active volume's root directory, read
// as `fsName` says: each entry names the first row under the root with that cluster, as
// FolderNamePass chooses.
void NameRootFolders(RecoveryRun& run, SectorSource& disk, TextTable& table,
                     const std::string& fsName);

}  // namespace lumarest

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>

#include "core/file_system.h"

namespace lumarest {

struct RecoveryRun;
struct VolumeParams;
class RebuiltVolume;
class Reporter;
class SectorSource;

struct AdvanceSearchResult {
    bool stopped = false;           // the stop was requested before the scan ended
    std::uint64_t searchedEnd = 0;  // the first sector not read: the range's end unless stopped
    std::size_t volumesFound = 0;
};

// Everything one file system knows: its boot sector, its scans and its rebuilt volume. The
// searches run the same steps for every file system and leave each step to the room of the
// partition's file system; nothing outside a room branches on which one it is.
class FileSystemRoom {
  public:
    virtual ~FileSystemRoom() = default;

    // The folder number the tree's top item stands for.
    virtual std::uint32_t RootFolderId() const = 0;
    // Tests the boot sector of the partition [start, last] and fills `params` with the layout it
    // gives. False when it is not a valid boot sector of this file system; `params` may then
    // be partly overwritten.
    virtual bool ValidateBootSector(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                                    std::uint64_t last) const = 0;
    // The Standard search's scan of run.selectedPartition into run.folderTable, leaving
    // run.activeVolume describing the volume. False when an error box has told why the volume
    // could not be searched as asked.
    virtual bool ScanStandard(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                              bool bootSectorValid, std::stop_token stop) const = 0;
    // Turns the scan's folder table (sorted by parent, orphans re-attached) into run.folderTree.
    virtual void BuildStandardTree(RecoveryRun& run, SectorSource& disk,
                                   Reporter& reporter) const = 0;
    // The Advance search's first phase over run.selectedPartition: the volumes found, as rows of
    // run.fileSystemTable. `quit` ends the analysis too, for a run that is going away.
    virtual AdvanceSearchResult ScanAdvance(RecoveryRun& run, SectorSource& disk,
                                            Reporter& reporter, std::stop_token stop,
                                            std::stop_token quit) const = 0;
    // Rebuilds found volume `volume` (0-based) into the fresh tree the search started.
    virtual void RebuildFound(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                              std::size_t volume) const = 0;
    // Browsing and writing the files of the volume run.activeVolume describes.
    virtual std::unique_ptr<RebuiltVolume> OpenVolume(RecoveryRun& run,
                                                      SectorSource& disk) const = 0;
};

// The room of `fileSystem`; FAT16 and FAT32 share one.
const FileSystemRoom& RoomFor(FileSystem fileSystem);

}  // namespace lumarest

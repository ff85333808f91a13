#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "core/tree_model.h"
#include "volume/file_system_room.h"

namespace lumarest {

struct RecoveryRun;
class Reporter;
class SectorSource;

inline constexpr const char* kFileSystemsTop = "File Systems";
inline constexpr const char* kNoFileSystemStatus =
    "No File System could be identified. Click on 'Back' button to select another Partition.";
inline constexpr const char* kPressNextToRecoverStatus =
    "Press 'Next' button to Recover Data. Or to select another Partition press 'Back' button.";

// Columns of a found volume's row (run.fileSystemTable) that the pages show.
enum FoundVolumeColumn : std::size_t {
    kVolumeSector = 0,
    kVolumeSpf,
    kVolumeSpc,
    kVolumeRootSectors,
    kVolumeRootStart,
    kVolumeReserved,
    kVolumeCluster0Start,
    kVolumeFirstFat,
    kVolumeSecondFat,
    kVolumeTotalSectors,
    kVolumePartType,
};

// The first phase of an Advance search of run.selectedPartition, on emptied tables: FAT16 and FAT32
// read the range for boot sectors and directory starts and group them into volumes; NTFS reads it
// for boot sectors, file records and index blocks and assigns record numbers and volumes. A stop
// through run.scanStop ends the reading early; what was found is still analysed. `quit` ends
// the analysis too, for a run that is going away.
AdvanceSearchResult RunAdvanceSearch(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                     std::stop_token quit = {});

// Fills run.volumeTree afresh: "File Systems" with one item per found volume,
// "File System 1 - FAT32", ... and expands the top item. Returns the first volume's item.
std::uint32_t ListVolumes(RecoveryRun& run);

// The found volume an item of run.volumeTree stands for (0-based), as ListVolumes made it;
// false for the top item or an item of no found volume.
bool VolumeOfItem(const RecoveryRun& run, TreeItem item, std::size_t& volume);

struct VolumeDetailRow {
    std::string name;
    std::string value;
};

// The four rows the found-volume page shows for `volume` (0-based): as the search leaves them,
// or as a click on its item shows them.
std::vector<VolumeDetailRow> FoundVolumeDetails(const RecoveryRun& run, std::size_t volume,
                                                bool clicked);

// The second phase: rebuilds found volume `volume` (0-based) into a fresh run.folderTree, its
// folders in run.folderNodes and, on NTFS, its files in run.fileTable; run.activeVolume then
// describes it and run.chosenVolume names it. Progress on the tree-loading bar. The found
// tables keep their rows, so another volume can be rebuilt after this one. False when no such
// volume was found.
bool RebuildFoundVolume(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                        std::size_t volume);

// Names every folder of the rebuilt tree from its parent's directory entries, as expanding each
// folder once does; a found FAT volume's folders are DIR0, DIR1, ... until then. Nothing
// changes on NTFS, whose records carry their names.
void NameEveryFolder(RecoveryRun& run, SectorSource& disk);

}  // namespace lumarest

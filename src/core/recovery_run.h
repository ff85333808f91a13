#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/file_ref.h"
#include "core/folder_nodes.h"
#include "core/oem_code_page.h"
#include "core/partition_list.h"
#include "core/text_table.h"
#include "core/tree_model.h"
#include "core/volume_contents.h"
#include "core/volume_params.h"

namespace lumarest {

class DeviceFiles;
class SectorSource;

enum class SearchMode : std::int16_t { None = -1, Standard = 1, Advance = 2, Raw = 3 };

inline constexpr int kDriveSlots = 10;

// The partition a Standard or Advance search works on, as the wizard fills it on Next.
struct SelectedPartition {
    std::uint16_t diskNumber = 0;
    std::uint32_t partitionNo = 0;
    std::string fsName;  // "FAT16", "FAT32" or "NTFS", as shown
    // The same, read once from the name where the partition is chosen.
    std::optional<FileSystem> fileSystem;
    std::string searchModeText;  // "Standard Search" or "Advance Search"
    std::int64_t startSector = 0;
    std::int64_t endSector = 0;  // inclusive
};

// Names the partition's file system, keeping the shown name and the kind together.
inline void SetPartitionFileSystem(SelectedPartition& partition, const std::string& fsName) {
    partition.fsName = fsName;
    partition.fileSystem = FileSystemNamed(fsName);
}

// What the disk inventory leaves behind for the disk whose details were shown last.
struct ShownDisk {
    std::int32_t diskNumber = -1;            // which disk the values are of; -1 before the first
    std::int32_t diskMaximum = 0;            // total sectors as 32-bit value, for the slider
    std::uint64_t totalSectors = 0;          // engine sectors
    std::uint32_t logicalSectorBytes = 512;  // the disk's own sector, what positions are shown in
    std::string totalSectorsText;            // in the disk's own sectors
    std::string capacityText;                // "%ld MB"
    std::string model;
    std::string cylinders;
    std::string heads;
    std::string sectorsPerTrack;
};

// What the engines produce for the run: the layout of the volume worked on, the tables and
// trees of its searches, the rebuilt folders and the volumes found.
struct EngineResults {
    EngineResults();

    // The selected volume's layout, and the copy the scan works on.
    VolumeParams volumeParams;
    ActiveVolume activeVolume;

    TextTable detailsList;
    TextTable fileList;
    // What each row of fileList stands for, row by row, as the listing that filled it left it.
    std::vector<FileRef> fileListRefs;
    TextTable folderTable;
    TextTable fileTable;
    TextTable foundDirectoryTable;
    TextTable bootSectorTable;
    TextTable fileSystemTable;
    TextTable indexBlockTable;
    TextTable ntfsRecordTable;

    // The four left-panel trees; absent until the wizard creates them.
    std::unique_ptr<TreeModel> diskTree;
    std::unique_ptr<TreeModel> partitionTree;
    std::unique_ptr<TreeModel> volumeTree;
    std::unique_ptr<TreeModel> folderTree;
    // What the scan of the rebuilt volume read, for a file system that keeps it typed.
    std::shared_ptr<const VolumeContents> volumeContents;
    // The folders of folderTree, in the order they were added.
    FolderNodeList folderNodes;
    FolderTreeState folderTreeState;
    // Raised when a search rebuilt at least one folder.
    bool resultsFound = false;
    // Volumes the Advance search found (rows of fileSystemTable), and the one chosen, from 0.
    std::size_t volumesFound = 0;
    std::size_t chosenVolume = 0;
    // The found volumes as the file system's room keeps them typed, for the rebuild.
    std::shared_ptr<const VolumeContents> foundVolumes;
    // The item of run.volumeTree that stands for each found volume, in row order.
    std::vector<TreeItem> volumeItems;

    // Partitions per disk number, kept for the life of the run.
    std::array<DiskPartitionList, kDriveSlots> diskPartitionLists;
    // Set when the last walk of a partition table listed at least one partition.
    bool partitionsListed = false;
    // The item of the first partition the master boot record listed; selected by default.
    TreeItem defaultPartitionItem = kNoItem;

    // Counters that live as long as the run.
    std::uint32_t dirCounter = 0;
    std::uint32_t tempFileCounter = 0;

    // Empties the entry and hidden work tables, as the wizard does before every scan.
    void ClearEntryTables();
};

// What the wizard shows: the search chosen, the disk chosen and shown, the status
// line and the slider. Engines set none of it.
struct WizardView {
    SearchMode searchMode = SearchMode::Raw;
    // The disk chosen in DiskTree.
    std::uint16_t selectedDiskNumber = 0;
    std::string selectedDiskKey;  // last two characters of the item text, or the floppy text
    ShownDisk shownDisk;

    std::string statusText;
    // Lets the automatic partition search run once per visit of the disk page.
    int partitionSearchVisits = 1;

    std::int64_t rawFirstSector = 0;
    std::int64_t rawLastSector = 0;
    std::array<std::int32_t, 4> sliderMirror{};  // Min, Start Sector, End Sector, Max

    // True when the selected disk key marks the floppy (its last six characters are "Floppy").
    bool FloppySelected() const;
};

// The state of one recovery run, held in one object and passed by reference: what the engines
// produce, what the wizard shows, and the settings and disks both work with. The window owns
// one for its lifetime, the command line one per command, each test its own.
struct RecoveryRun : EngineResults, WizardView {
    SelectedPartition selectedPartition;
    // Sector reader: 'N' reads the device file; 'F' goes through the BIOS disk service.
    char accessMode = 'N';
    // Device path per disk number: whole disks first, then attached images.
    std::array<std::string, kDriveSlots> physicalDriveTable;
    // How the sector reader opens device files; null: directly. Owned by the window or the
    // command, which outlives every read of the run.
    DeviceFiles* deviceFiles = nullptr;
    std::string floppyPath = "/dev/fd0";
    // Disk images attached with --image or "Add Disk Image...", in order, absolute paths.
    std::vector<std::string> attachedImages;

    std::string workingFolder;
    std::string destinationFolder;
    bool thoroughSearch = true;
    // How FAT short names' letters beyond ASCII are read; CP437 unless chosen otherwise.
    OemCodePage oemCodePage = OemCodePage::Load(kDefaultOemCodePage).value_or(OemCodePage{});
    // One stop source per worker slot; a new worker gets a fresh one.
    std::stop_source scanStop;
    std::stop_source secondPhaseStop;
    std::stop_source partitionSearchStop;
};

// The selected partition's last sector, or the disk's when the partition claims more than the
// disk holds: where a scan of the partition ends.
std::uint64_t LastSectorSearched(const RecoveryRun& run, const SectorSource& disk);

}  // namespace lumarest

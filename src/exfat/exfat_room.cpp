#include "exfat/exfat_room.h"

#include <algorithm>
#include <string>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/text_number.h"
#include "exfat/boot_region.h"
#include "exfat/exfat_contents.h"
#include "exfat/exfat_facts_scan.h"
#include "exfat/exfat_volume.h"
#include "exfat/found_exfat_volume.h"
#include "partitions/partition_search.h"
#include "search/standard_search.h"
#include "tree/folder_tree_build.h"
#include "tree/named_folder_tree.h"

namespace lumarest {
namespace {

constexpr const char* kCompletedText = "Completed";
constexpr int kFullPercent = 100;
// Cluster numbers stop short of the FAT's marks.
constexpr std::uint64_t kLargestClusterCount = 0xFFFFFFF5;

constexpr const char* kSearchAdvanceAdvice =
    " The Advance search can find the volume from its folders without it.";

// Where cluster 0 would begin, as FAT counts its layout; 0 for a heap too early to have one.
std::uint64_t ClusterZeroSector(std::uint64_t heapStart, std::uint32_t sectorsPerCluster) {
    const std::uint64_t twoClusters = std::uint64_t{kExFatFirstCluster} * sectorsPerCluster;
    return heapStart >= twoClusters ? heapStart - twoClusters : 0;
}

// What the layout page shows of an exFAT volume, in the fields FAT uses: the FAT, the cluster
// size, the root's cluster and where cluster 0 would begin.
void FillShownLayout(VolumeParams& params, const ExFatLayout& layout) {
    params.sectorsPerFat = static_cast<std::uint32_t>(layout.fatSectors);
    params.sectorsPerCluster = layout.sectorsPerCluster;
    params.rootSectors = 0;
    params.rootStart = layout.rootCluster;
    params.reservedSectors = layout.fatStart > layout.volumeStart
                                 ? static_cast<std::uint32_t>(layout.fatStart - layout.volumeStart)
                                 : 0;
    params.cluster0Start = ClusterZeroSector(layout.heapStart, layout.sectorsPerCluster);
    params.firstFat = layout.fatStart;
    params.secondFat = 0;
}

// Adds every folder the walk found to the folder table.
void AppendFolderRows(TextTable& table, const ExFatTree& tree) {
    for (const ExFatFolder& folder : tree.folders) {
        RecoveredEntry row;
        row.name = folder.entry.name;
        row.sector = folder.entry.entrySector;
        row.self = folder.id;
        row.parent = folder.parentId;
        row.date = folder.entry.modified.value_or(0);
        row.attr = folder.entry.attributes;
        row.deleted = folder.entry.deleted;
        AppendEntryRow(table, row);
    }
}

// Walks the volume into the run: its folder rows, and its files kept typed for browsing.
void WalkIntoRun(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                 const ExFatLayout& layout, std::stop_token stop) {
    ExFatTree tree = WalkExFatVolume(disk, layout, reporter, stop);
    if (!tree.problem.empty()) {
        reporter.ShowMessage(tree.problem, MessageIcon::Warning);
    }
    AppendFolderRows(run.folderTable, tree);
    run.volumeContents = std::make_shared<const ExFatContents>(layout, std::move(tree));
}

std::uint64_t PartitionFirstSector(const RecoveryRun& run) {
    return static_cast<std::uint64_t>(std::max<std::int64_t>(run.selectedPartition.startSector, 0));
}

// The volumes the Advance search found, as the rebuild takes them again.
struct FoundExFatVolumes final : VolumeContents {
    std::vector<FoundExFatVolume> volumes;
    std::uint64_t rangeEnd = 0;  // the first sector past the range searched
};

// Clusters a found volume can hold: as many as its boot sector or bitmap says, else as many as
// fit before the range's end.
std::uint32_t FoundClusterCount(const FoundExFatVolume& volume, std::uint64_t rangeEnd) {
    if (volume.clusterCount != 0) {
        return volume.clusterCount;
    }
    if (volume.sectorsPerCluster == 0 || rangeEnd <= volume.heapStart) {
        return 0;
    }
    const std::uint64_t fit = (rangeEnd - volume.heapStart) / volume.sectorsPerCluster;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(fit, kLargestClusterCount));
}

// A found volume's layout: its boot region's where one was found and still reads, otherwise
// the heap the facts placed, with no FAT known (chains end where they begin; contiguous files
// and folders are read whole).
ExFatLayout FoundVolumeLayout(SectorSource& disk, const FoundExFatVolume& volume,
                              std::uint64_t rangeEnd) {
    if (volume.bootFound) {
        const BootRegionReading reading = ReadExFatBootRegion(disk, volume.bootSector);
        if (reading.layout) {
            return *reading.layout;
        }
    }
    ExFatLayout layout;
    layout.volumeStart = volume.bootFound ? volume.bootSector : volume.heapStart;
    layout.heapStart = volume.heapStart;
    layout.sectorsPerCluster = volume.sectorsPerCluster;
    layout.clusterCount = FoundClusterCount(volume, rangeEnd);
    layout.rootCluster = volume.rootCluster;
    layout.volumeSectors = rangeEnd > layout.volumeStart ? rangeEnd - layout.volumeStart : 0;
    return layout;
}

// The found volume's row of the file-system table, in the columns FAT fills.
void AppendFoundVolumeRow(TextTable& table, const FoundExFatVolume& volume,
                          std::uint64_t rangeEnd) {
    const std::uint64_t cluster0 = ClusterZeroSector(volume.heapStart, volume.sectorsPerCluster);
    const std::uint64_t total =
        std::uint64_t{FoundClusterCount(volume, rangeEnd)} * volume.sectorsPerCluster;
    table.AppendRow({NumberText(volume.bootFound ? volume.bootSector : volume.heapStart), "",
                     NumberText(volume.sectorsPerCluster), "0", NumberText(volume.rootCluster), "",
                     NumberText(cluster0), "", "", NumberText(total),
                     std::string(FileSystemName(FileSystem::ExFat))});
}

}  // namespace

std::uint32_t ExFatRoom::RootFolderId() const {
    return kExFatRootFolderId;
}

bool ExFatRoom::ValidateBootSector(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                                   std::uint64_t /*last*/) const {
    const BootRegionReading reading = ReadExFatBootRegion(disk, start);
    if (!reading.layout) {
        return false;
    }
    FillShownLayout(params, *reading.layout);
    return true;
}

bool ExFatRoom::ScanStandard(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                             bool /*bootSectorValid*/, std::stop_token stop) const {
    run.volumeContents.reset();
    AppendOrphanFolderRow(run.folderTable, kExFatRootFolderId);
    const BootRegionReading reading =
        ReadExFatBootRegion(disk, static_cast<std::uint64_t>(run.selectedPartition.startSector));
    reporter.SetStatisticCaption(Statistic::DirectoriesFound, kDirectoriesFoundCaption);
    if (!reading.layout) {
        reporter.ShowMessage(reading.problem + kSearchAdvanceAdvice, MessageIcon::Error);
        run.activeVolume = SnapshotVolume(run.volumeParams, run.selectedPartition.fsName);
        return false;
    }
    FillShownLayout(run.volumeParams, *reading.layout);
    run.activeVolume = SnapshotVolume(run.volumeParams, run.selectedPartition.fsName);
    WalkIntoRun(run, disk, reporter, *reading.layout, stop);
    return true;
}

void ExFatRoom::BuildStandardTree(RecoveryRun& run, SectorSource& /*disk*/,
                                  Reporter& reporter) const {
    BuildNamedFolderTree(run, run.folderTable, reporter, ProgressBar::MainScan, kExFatRootFolderId);
}

AdvanceSearchResult ExFatRoom::ScanAdvance(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                                           std::stop_token stop, std::stop_token /*quit*/) const {
    reporter.SetStatisticCaption(Statistic::DirectoriesFound, kDirectoriesFoundCaption);
    const std::uint64_t first = PartitionFirstSector(run);
    const std::uint64_t last = LastSectorSearched(run, disk);
    const ExFatScanFacts facts = ScanForExFatFacts(disk, first, last, reporter, stop);
    auto found = std::make_shared<FoundExFatVolumes>();
    found->volumes = InferExFatVolumes(facts);
    found->rangeEnd = last + 1;
    for (const FoundExFatVolume& volume : found->volumes) {
        AppendFoundVolumeRow(run.fileSystemTable, volume, found->rangeEnd);
    }
    AdvanceSearchResult result;
    result.searchedEnd = facts.nextSector;
    result.stopped = stop.stop_requested();
    result.volumesFound = found->volumes.size();
    run.volumesFound = result.volumesFound;
    run.foundVolumes = std::move(found);
    return result;
}

void ExFatRoom::RebuildFound(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                             std::size_t volume) const {
    const auto found = std::dynamic_pointer_cast<const FoundExFatVolumes>(run.foundVolumes);
    if (!found || volume >= found->volumes.size()) {
        return;
    }
    run.volumeContents.reset();
    const ExFatLayout layout = FoundVolumeLayout(disk, found->volumes[volume], found->rangeEnd);
    FillShownLayout(run.volumeParams, layout);
    run.activeVolume =
        SnapshotVolume(run.volumeParams, std::string(FileSystemName(FileSystem::ExFat)));
    NullReporter quiet;
    WalkIntoRun(run, disk, quiet, layout, {});
    TextTable& table = run.folderTable;
    table.SortByColumn(kEntrySelf);
    ReattachOrphans(table, reporter, ProgressBar::TreeLoading, kExFatRootFolderId, 0);
    reporter.SetPhaseLabel(kStoringDirectoryPhase);
    BuildNamedFolderTree(run, table, reporter, ProgressBar::TreeLoading, kExFatRootFolderId);
    reporter.SetProgress(ProgressBar::TreeLoading, kFullPercent, kCompletedText);
}

std::unique_ptr<RebuiltVolume> ExFatRoom::OpenVolume(RecoveryRun& run, SectorSource& disk) const {
    return std::make_unique<ExFatVolume>(
        std::dynamic_pointer_cast<const ExFatContents>(run.volumeContents), disk);
}

}  // namespace lumarest

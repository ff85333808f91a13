#include "exfat/exfat_room.h"

#include <string>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "exfat/boot_region.h"
#include "exfat/exfat_contents.h"
#include "exfat/exfat_volume.h"
#include "search/standard_search.h"
#include "tree/folder_tree_build.h"
#include "tree/named_folder_tree.h"

namespace lumarest {
namespace {

constexpr const char* kSearchAdvanceAdvice =
    " The Advance search can find the volume from its folders without it.";

// What the layout page shows of an exFAT volume, in the fields FAT uses: the FAT, the cluster
// size, the root's cluster and where cluster 0 would begin.
void FillShownLayout(VolumeParams& params, const ExFatLayout& layout) {
    params.sectorsPerFat = static_cast<std::uint32_t>(layout.fatSectors);
    params.sectorsPerCluster = layout.sectorsPerCluster;
    params.rootSectors = 0;
    params.rootStart = layout.rootCluster;
    params.reservedSectors = static_cast<std::uint32_t>(layout.fatStart - layout.volumeStart);
    params.cluster0Start = static_cast<std::uint32_t>(
        layout.heapStart - std::uint64_t{kExFatFirstCluster} * layout.sectorsPerCluster);
    params.firstFat = static_cast<std::uint32_t>(layout.fatStart);
    params.secondFat = 0;
}

// Adds every folder the walk found to the folder table, after the orphan folder's row.
void AppendFolderRows(TextTable& table, const ExFatTree& tree) {
    AppendOrphanFolderRow(table, kExFatRootFolderId);
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
    const BootRegionReading reading =
        ReadExFatBootRegion(disk, static_cast<std::uint64_t>(run.selectedPartition.startSector));
    reporter.SetStatisticCaption(Statistic::DirectoriesFound, kDirectoriesFoundCaption);
    if (!reading.layout) {
        reporter.ShowMessage(reading.problem + kSearchAdvanceAdvice, MessageIcon::Error);
        AppendOrphanFolderRow(run.folderTable, kExFatRootFolderId);
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
    BuildNamedFolderTree(run, run.folderTable, reporter, ProgressBar::MainScan,
                         kExFatRootFolderId);
}

AdvanceSearchResult ExFatRoom::ScanAdvance(RecoveryRun&, SectorSource&, Reporter&,
                                           std::stop_token, std::stop_token) const {
    return {};
}

void ExFatRoom::RebuildFound(RecoveryRun&, SectorSource&, Reporter&, std::size_t) const {}

std::unique_ptr<RebuiltVolume> ExFatRoom::OpenVolume(RecoveryRun& run, SectorSource& disk) const {
    return std::make_unique<ExFatVolume>(
        std::dynamic_pointer_cast<const ExFatContents>(run.volumeContents), disk);
}

}  // namespace lumarest

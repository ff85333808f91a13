#include "fat/directory_scan.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"
#include "core/table_columns.h"
#include "core/text_number.h"
#include "fat/directory_entry.h"
#include "fat/directory_fragment.h"
#include "fat/fat_chain.h"

namespace lumarest {
namespace {

constexpr const char* kSectorsText = "Sectors  ";
constexpr const char* kOfText = " of ";
constexpr const char* kCompletedText = "Completed ";
constexpr std::size_t kDotDotOffset = kDirectoryEntrySize;
constexpr std::size_t kTimeOffset = 22;
constexpr std::size_t kDateOffset = 24;
constexpr std::size_t kSizeOffset = 28;
constexpr std::size_t kAttributeOffset = 11;
constexpr int kFullPercent = 100;
constexpr std::uint32_t kLastCluster = std::numeric_limits<std::uint32_t>::max();

std::string SectorsText(std::uint64_t sector, std::uint64_t endSector) {
    return kSectorsText + std::to_string(sector) + kOfText + std::to_string(endSector);
}

// A directory's first sector starts with "." and ".." entries.
bool StartsWithDotEntries(ByteSpan sector) {
    const auto byte = [&](std::size_t at) { return LoadLe8(sector, at).value_or(0); };
    return byte(0) == '.' && byte(1) == ' ' && byte(kDotDotOffset) == '.' &&
           byte(kDotDotOffset + 1) == '.' && byte(kDotDotOffset + 2) == ' ';
}

RecoveredEntry FolderRowOf(ByteSpan sector, std::uint64_t sectorNumber, std::uint32_t cluster,
                           const std::string& fsName, std::size_t row) {
    RecoveredEntry entry;
    entry.name = kProvisionalFolderName + std::to_string(row);
    entry.sector = sectorNumber;
    entry.self = cluster;
    entry.parent = EntryFirstCluster(EntryAt(sector, kDotDotOffset), fsName);
    entry.date = LoadLe16(sector, kDateOffset).value_or(0);
    entry.time = LoadLe16(sector, kTimeOffset).value_or(0);
    entry.size = LoadLe32(sector, kSizeOffset).value_or(0);
    entry.attr = LoadLe8(sector, kAttributeOffset).value_or(0);
    return entry;
}

// One past the last cluster the scan reaches, and never past what a known FAT can number.
std::uint64_t ClusterLimitOf(const ActiveVolume& volume, std::uint64_t endSector) {
    const std::uint64_t firstData = ClusterToSector(volume, kFirstDataCluster, 0);
    if (endSector < firstData) {
        return kFirstDataCluster;
    }
    const std::uint64_t areaLimit =
        kFirstDataCluster + (endSector - firstData + 1) / volume.sectorsPerCluster;
    const std::uint64_t fatLimit = FatEntryCount(volume);
    return fatLimit == 0 ? areaLimit : std::min(fatLimit, areaLimit);
}

// The caption starts at the range's first sector, so it shows the range searched.
void ReportStart(const RecoveryRun& run, std::uint64_t endSector, Reporter& reporter) {
    const auto first =
        static_cast<std::uint64_t>(std::max<std::int64_t>(run.selectedPartition.startSector, 0));
    reporter.SetStatisticValue(Statistic::DirectoriesFound, "0");
    reporter.SetStatisticValue(Statistic::BootSectorsFound, "0");
    reporter.SetStatisticValue(Statistic::SectorProgress,
                               SectorsText(std::min(first, endSector), endSector));
}

}  // namespace

int ScanLostDirectories(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                        std::stop_token stop) {
    const std::string fsName = run.selectedPartition.fsName;
    const ActiveVolume volume = SnapshotVolume(run.volumeParams, fsName);
    const std::uint64_t endSector = LastSectorSearched(run, disk);
    ReportStart(run, endSector, reporter);
    if (!RefuseClusterlessVolume(volume, reporter)) {
        return 0;
    }
    TextTable& table = run.folderTable;
    table.SetColumns(EntryTableColumns());
    AppendOrphanFolderRow(table, kFatRootId);
    reporter.SetStatisticValue(Statistic::DirectoriesFound, NumberText(table.RowCount()));

    std::vector<std::uint8_t> chunk(std::size_t{kScanChunkSectors} * kSectorSize);
    std::uint32_t cluster = kFirstDataCluster;
    std::uint64_t sector = ClusterToSector(volume, cluster, 0);
    int shownPercent = -1;
    const std::uint64_t clusterLimit = ClusterLimitOf(volume, endSector);
    std::vector<std::uint32_t> fragments;
    // Chunks start at a cluster, so every cluster lies where its own sector says, whatever
    // the cluster size; with sizes dividing 512 the chunks are 512 sectors apart.
    while (sector <= endSector && cluster < kLastCluster && !stop.stop_requested()) {
        const std::uint64_t chunkStart = sector;
        reporter.SetStatisticValue(Statistic::SectorProgress, SectorsText(chunkStart, endSector));
        const auto count = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(kScanChunkSectors, endSector - chunkStart + 1));
        std::fill(chunk.begin(), chunk.end(), 0);
        // A failed read still leaves the sectors that could be read; the others stay zero.
        disk.ReadSectors(chunkStart, count, chunk.data());
        const ByteSpan bytes(chunk.data(), std::size_t{count} * kSectorSize);
        for (; sector < chunkStart + count && cluster < kLastCluster;
             sector += volume.sectorsPerCluster, ++cluster) {
            const ByteSpan first =
                SliceOrEmpty(bytes, (sector - chunkStart) * kSectorSize, kSectorSize);
            if (!StartsWithDotEntries(first)) {
                if (LooksLikeDirectoryFragment(first, fsName, clusterLimit)) {
                    fragments.push_back(cluster);
                }
                continue;
            }
            if (EntryFirstCluster(first, fsName) != cluster) {
                continue;
            }
            AppendEntryRow(table, FolderRowOf(first, sector, cluster, fsName, table.RowCount()));
            reporter.SetStatisticValue(Statistic::DirectoriesFound, NumberText(table.RowCount()));
        }
        const int percent = endSector == 0
                                ? kFullPercent
                                : static_cast<int>(std::min<std::uint64_t>(
                                      chunkStart * kFullPercent / endSector, kFullPercent));
        if (percent != shownPercent) {
            shownPercent = percent;
            reporter.SetProgress(ProgressBar::MainScan, percent, kCompletedText);
        }
    }
    AppendUnreachedFragments(table, volume, disk, fragments);
    reporter.SetStatisticValue(Statistic::DirectoriesFound, NumberText(table.RowCount()));
    return 1;
}

}  // namespace lumarest

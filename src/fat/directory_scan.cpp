#include "fat/directory_scan.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_range_scan.h"
#include "core/sector_source.h"
#include "core/table_columns.h"
#include "core/text_number.h"
#include "fat/directory_entry.h"
#include "fat/directory_fragment.h"
#include "fat/fat_chain.h"

namespace lumarest {
namespace {

constexpr std::size_t kDotDotOffset = kDirectoryEntrySize;
constexpr std::size_t kTimeOffset = 22;
constexpr std::size_t kDateOffset = 24;
constexpr std::size_t kSizeOffset = 28;
constexpr std::size_t kAttributeOffset = 11;
constexpr std::uint32_t kLastCluster = std::numeric_limits<std::uint32_t>::max();

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
void ReportStart(const RecoveryRun& run, std::uint64_t endSector, SectorRangeScan& scan) {
    const auto first =
        static_cast<std::uint64_t>(std::max<std::int64_t>(run.selectedPartition.startSector, 0));
    scan.ShowStart(std::min(first, endSector));
}

}  // namespace

int ScanLostDirectories(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                        std::stop_token stop) {
    const std::string fsName = run.selectedPartition.fsName;
    const ActiveVolume volume = SnapshotVolume(run.volumeParams, fsName);
    const std::uint64_t endSector = LastSectorSearched(run, disk);
    SectorRangeScan scan(reporter, {ScanPace::AsRead, endSector});
    ReportStart(run, endSector, scan);
    if (!RefuseClusterlessVolume(volume, reporter)) {
        return 0;
    }
    TextTable& table = run.folderTable;
    table.SetColumns(EntryTableColumns());
    AppendOrphanFolderRow(table, kFatRootId);
    reporter.SetStatisticValue(Statistic::DirectoriesFound, NumberText(table.RowCount()));

    std::uint32_t cluster = kFirstDataCluster;
    std::uint64_t sector = ClusterToSector(volume, cluster, 0);
    const std::uint64_t clusterLimit = ClusterLimitOf(volume, endSector);
    std::vector<std::uint32_t> fragments;
    // Chunks start at a cluster, so every cluster lies where its own sector says, whatever
    // the cluster size; with sizes dividing 512 the chunks are 512 sectors apart.
    const auto scanChunk = [&](const ScanChunk& chunk) -> std::uint64_t {
        for (; sector < chunk.first + chunk.sectors && cluster < kLastCluster;
             sector += volume.sectorsPerCluster, ++cluster) {
            const ByteSpan first =
                SliceOrEmpty(chunk.bytes, (sector - chunk.first) * kSectorSize, kSectorSize);
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
        // Short of the chunk's end only once the cluster numbers run out.
        return sector - chunk.first;
    };
    // A failed read still leaves the sectors that could be read; the others stay zero.
    scan.Run({.first = sector, .end = endSector + 1, .chunkSectors = kScanChunkSectors}, disk,
             scanChunk, stop);
    AppendUnreachedFragments(table, volume, disk, fragments);
    reporter.SetStatisticValue(Statistic::DirectoriesFound, NumberText(table.RowCount()));
    return 1;
}

}  // namespace lumarest

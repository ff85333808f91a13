#include "fat/fat_chain_found_volume.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"

namespace lumarest {

namespace {

// How far before cluster 0 each kind starts looking for its FATs, and where it starts when
// cluster 0 lies closer to the disk's start than that.
constexpr std::uint32_t kFat16SearchBack = 550;
constexpr std::uint32_t kFat32SearchBack = 30000;
// Sector 0 holds the disk's table or the volume's boot sector, never a FAT; a volume that
// begins before sector 63 (a card or stick without a table) has its FATs there too.
constexpr std::uint32_t kDefaultSearchStart = 1;
constexpr std::uint32_t kFat16DefaultRootSectors = 32;
constexpr std::uint32_t kFat32DefaultRootCluster = 2;
// The FAT region is read this many sectors at a time; each sector is still tested in order.
constexpr std::uint32_t kSearchChunkSectors = 256;

struct Columns {
    explicit Columns(const TextTable& table)
        : spf(table.ColumnIndex("SPF")),
          spc(table.ColumnIndex("SPC")),
          rootSectors(table.ColumnIndex("Root Sectors")),
          rootStart(table.ColumnIndex("Root Start")),
          reserved(table.ColumnIndex("Reserve Sectors")),
          cluster0Start(table.ColumnIndex("Cluster0Start")),
          firstFat(table.ColumnIndex("firstFAT")),
          secondFat(table.ColumnIndex("secondFAT")),
          partType(table.ColumnIndex("PartType")) {}

    std::size_t spf, spc, rootSectors, rootStart, reserved, cluster0Start, firstFat, secondFat,
        partType;
};

bool StartsLikeFatTable(const std::uint8_t* sector) {
    return sector[0] == 0xF8 && sector[1] == 0xFF && sector[2] == 0xFF;
}

std::uint64_t SearchStart(bool fat16, std::uint64_t cluster0Start) {
    const std::uint32_t back = fat16 ? kFat16SearchBack : kFat32SearchBack;
    const std::uint64_t start = cluster0Start > back ? cluster0Start - back : kDefaultSearchStart;
    return start == 0 ? kDefaultSearchStart : start;
}

int PercentOf(std::uint64_t sector, std::uint64_t end) {
    return end == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(100, sector * 100 / end));
}

}  // namespace

int LocateFats(RecoveryRun& run, SectorSource& disk, Reporter& reporter, std::size_t row) {
    TextTable& table = run.fileSystemTable;
    if (row >= table.RowCount()) {
        return 0;
    }
    const Columns col(table);
    const bool fat16 = table.Cell(row, col.partType) == "FAT16";
    const std::uint64_t cluster0Start = table.CellU64(row, col.cluster0Start);
    reporter.ShowProgress(ProgressBar::TreeLoading, true);

    std::vector<std::uint8_t> chunk(std::size_t{kSearchChunkSectors} * kSectorSize);
    std::array<std::uint64_t, 2> found{};
    int count = 0;
    int shown = -1;
    for (std::uint64_t first = SearchStart(fat16, cluster0Start);
         first < cluster0Start && count < 2; first += kSearchChunkSectors) {
        const auto sectors = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(kSearchChunkSectors, cluster0Start - first));
        std::fill(chunk.begin(), chunk.end(), 0);
        disk.ReadSectors(first, sectors, chunk.data());
        for (std::uint32_t i = 0; i < sectors && count < 2; ++i) {
            if (StartsLikeFatTable(chunk.data() + std::size_t{i} * kSectorSize)) {
                found[static_cast<std::size_t>(count++)] = first + i;
            }
        }
        // The bar moves by whole percents; it is redrawn only when its figure changes.
        if (const int percent = PercentOf(first + sectors - 1, cluster0Start); percent != shown) {
            shown = percent;
            reporter.SetProgress(ProgressBar::TreeLoading, percent, kLocatingFatsProgressText);
        }
    }

    ActiveVolume& active = run.activeVolume;
    if (count >= 1) {
        active.firstFat = found[0];
        table.SetCellNumber(row, col.firstFat, static_cast<std::int64_t>(found[0]));
    }
    if (count == 2) {
        active.secondFat = found[1];
        table.SetCellNumber(row, col.secondFat, static_cast<std::int64_t>(found[1]));
        // Both lie in the search's window before cluster 0: far less apart than 32 bits hold.
        const auto sectorsPerFat = static_cast<std::uint32_t>(found[1] - found[0]);
        table.SetCellNumber(row, col.spf, sectorsPerFat);
        table.SetCellNumber(
            row, col.rootStart,
            fat16 ? static_cast<std::int64_t>(found[1] + sectorsPerFat) : kFat32DefaultRootCluster);
    }
    return count;
}

bool LoadFoundVolume(RecoveryRun& run, SectorSource& disk, Reporter& reporter, std::size_t row) {
    const TextTable& table = run.fileSystemTable;
    if (row >= table.RowCount()) {
        return false;
    }
    const Columns col(table);
    ActiveVolume& active = run.activeVolume;
    active.cluster0Start = table.CellU64(row, col.cluster0Start);
    SetVolumeFileSystem(active, table.Cell(row, col.partType));
    if (table.CellU64(row, col.firstFat) == 0) {
        LocateFats(run, disk, reporter, row);
    }
    const bool fat16 = active.fsName == "FAT16";
    active.firstFat = table.CellU64(row, col.firstFat);
    active.reservedSectors = table.CellU32(row, col.reserved);
    active.rootSectors = table.CellU32(row, col.rootSectors);
    if (active.rootSectors == 0 && fat16) {
        active.rootSectors = kFat16DefaultRootSectors;
    }
    active.rootStart = table.CellU64(row, col.rootStart);
    if (active.rootStart == 0) {
        active.rootStart = kFat32DefaultRootCluster;
    }
    active.secondFat = table.CellU64(row, col.secondFat);
    active.sectorsPerCluster = table.CellU32(row, col.spc);
    active.sectorsPerFat = table.CellU32(row, col.spf);
    return true;
}

}  // namespace lumarest

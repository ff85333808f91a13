#include "fat/advance_fat_tables.h"

#include "core/text_table.h"

namespace lumarest {
namespace {

enum BootSectorColumn : std::size_t {
    kBootSector = 0,
    kBootSpf,
    kBootSpc,
    kBootRootSectors,
    kBootRootStart,
    kBootReserved,
    kBootCluster0Start,
    kBootFirstFat,
    kBootSecondFat,
    kBootTotalSectors,
    kBootPartType,
};

}  // namespace

void AppendBootSectorRows(TextTable& table, const std::vector<FoundBootSector>& bootSectors) {
    for (const FoundBootSector& b : bootSectors) {
        if (b.inferred) {
            table.AppendRow({"0", "", std::to_string(b.spc), "", "", "",
                             std::to_string(b.cluster0Start), "", "", "", b.partType});
            continue;
        }
        table.AppendRow({std::to_string(b.sector), std::to_string(b.spf), std::to_string(b.spc),
                         std::to_string(b.rootSectors), std::to_string(b.rootStart),
                         std::to_string(b.reserved), std::to_string(b.cluster0Start),
                         std::to_string(b.firstFat), std::to_string(b.secondFat),
                         std::to_string(b.totalSectors), b.partType});
    }
}

void AppendDirectoryRows(TextTable& table, const std::vector<FoundDirectory>& directories) {
    for (const FoundDirectory& d : directories) {
        table.AppendRow({std::to_string(d.sector), std::to_string(d.self), std::to_string(d.parent),
                         std::to_string(d.fileSystem), std::to_string(d.date),
                         std::to_string(d.time), ""});
    }
}

std::vector<FoundBootSector> ReadBootSectorRows(const TextTable& table) {
    std::vector<FoundBootSector> rows(table.RowCount());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        FoundBootSector& b = rows[r];
        b.sector = table.CellU64(r, kBootSector);
        b.spf = table.CellU32(r, kBootSpf);
        b.spc = table.CellU32(r, kBootSpc);
        b.rootSectors = table.CellU32(r, kBootRootSectors);
        b.rootStart = table.CellU64(r, kBootRootStart);
        b.reserved = table.CellU32(r, kBootReserved);
        b.cluster0Start = table.CellU64(r, kBootCluster0Start);
        b.firstFat = table.CellU64(r, kBootFirstFat);
        b.secondFat = table.CellU64(r, kBootSecondFat);
        b.totalSectors = table.CellU64(r, kBootTotalSectors);
        b.partType = table.Cell(r, kBootPartType);
    }
    return rows;
}

std::vector<FoundDirectory> ReadDirectoryRows(const TextTable& table) {
    std::vector<FoundDirectory> rows(table.RowCount());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        FoundDirectory& d = rows[r];
        d.sector = table.CellU64(r, kDirSector);
        d.self = table.CellU32(r, kDirSelf);
        d.parent = table.CellU32(r, kDirParent);
        d.fileSystem = table.CellNumber(r, kDirFileSystem);
        d.date = table.CellU32(r, kDirDate);
        d.time = table.CellU32(r, kDirTime);
    }
    return rows;
}

}  // namespace lumarest

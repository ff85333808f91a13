#pragma once

// The Advance FAT search's findings as numbers: what the search reads off the disk and what
// the analysis groups, before they become rows of text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/le_bytes.h"

namespace lumarest {

class TextTable;

// One FAT16 or FAT32 boot sector found, with the layout it describes (a row of
// run.bootSectorTable, and of run.fileSystemTable once directories are matched to it).
struct FoundBootSector {
    std::uint64_t sector = 0;
    std::uint32_t spf = 0;
    std::uint32_t spc = 0;
    std::uint32_t rootSectors = 0;
    std::uint64_t rootStart = 0;  // FAT16: a sector; FAT32: the root's cluster
    std::uint32_t reserved = 0;
    std::uint64_t cluster0Start = 0;
    std::uint64_t firstFat = 0;
    std::uint64_t secondFat = 0;
    std::uint64_t totalSectors = 0;  // the sector just past the volume, despite its name
    std::string partType;
    // A volume inferred from its directories knows only these: sector 0, its sectors per
    // cluster, its cluster-0 start and its type. Its other columns stay empty.
    bool inferred = false;
};

// One sector that starts with a "." and a ".." entry (a row of run.foundDirectoryTable).
struct FoundDirectory {
    std::uint64_t sector = 0;
    std::uint32_t self = 0;
    std::uint32_t parent = 0;
    std::int64_t fileSystem = 0;  // 0 not yet grouped, the volume from 1, -1 fits none
    std::uint32_t date = 0;
    std::uint32_t time = 0;
};

// Columns of run.foundDirectoryTable.
enum FoundDirectoryColumn : std::size_t {
    kDirSector = 0,
    kDirSelf,
    kDirParent,
    kDirFileSystem,
    kDirDate,
    kDirTime,
};

inline constexpr std::int64_t kUngrouped = 0;
inline constexpr std::int64_t kFitsNoVolume = -1;
// A sector number below 0 is kept as its low 32 bits, as 32-bit sector numbers wrap.
inline constexpr std::uint64_t kLow32BitSectors = 0xFFFFFFFF;

// Tests one 512-byte sector for a boot sector and for a directory start, appending what it
// is. Sectors shorter than 512 bytes are neither.
void TestSectorForAdvanceSearch(ByteSpan sector, std::uint64_t sectorNumber,
                                std::vector<FoundBootSector>& bootSectors,
                                std::vector<FoundDirectory>& directories);

void AppendBootSectorRows(TextTable& table, const std::vector<FoundBootSector>& bootSectors);
void AppendDirectoryRows(TextTable& table, const std::vector<FoundDirectory>& directories);
std::vector<FoundBootSector> ReadBootSectorRows(const TextTable& table);
std::vector<FoundDirectory> ReadDirectoryRows(const TextTable& table);

}  // namespace lumarest

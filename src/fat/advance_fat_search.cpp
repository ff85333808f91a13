// The Advance FAT search: boot sectors and directory starts anywhere in a range.

#include "fat/advance_fat_search.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/found_counts.h"
#include "core/le_bytes.h"
#include "core/partition_list.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_range_scan.h"
#include "core/sector_source.h"
#include "fat/advance_fat_tables.h"

namespace lumarest {
namespace {

// Large reads keep the disk streaming; each sector is still tested in order.
constexpr std::uint32_t kSearchChunkSectors = 8 * 1024;

constexpr std::size_t kSignatureOffset = 510;
constexpr std::size_t kFat32TypeDigits = 85;  // "32" of "FAT32" at 82
constexpr std::size_t kFat16TypeDigits = 57;  // "16" of "FAT16" at 54
constexpr std::size_t kBytesPerSectorOffset = 11;
constexpr std::size_t kSectorsPerClusterOffset = 13;
constexpr std::size_t kReservedOffset = 14;
constexpr std::size_t kRootEntriesOffset = 17;
constexpr std::size_t kFat16SpfOffset = 22;
constexpr std::size_t kSmallTotalSectorsOffset = 19;
constexpr std::size_t kTotalSectorsOffset = 32;
constexpr std::size_t kFat32SpfOffset = 36;
constexpr std::size_t kRootClusterOffset = 44;
constexpr std::uint32_t kRootEntriesPerSector = 16;

constexpr std::size_t kDotDotOffset = 32;
constexpr std::size_t kSelfHighOffset = 20;
constexpr std::size_t kTimeOffset = 22;
constexpr std::size_t kDateOffset = 24;
constexpr std::size_t kSelfLowOffset = 26;
constexpr std::size_t kParentHighOffset = kDotDotOffset + kSelfHighOffset;
constexpr std::size_t kParentLowOffset = kDotDotOffset + kSelfLowOffset;

std::uint32_t Le16(ByteSpan sector, std::size_t at) {
    return LoadLe16(sector, at).value_or(0);
}

std::uint32_t Le32(ByteSpan sector, std::size_t at) {
    return LoadLe32(sector, at).value_or(0);
}

std::uint32_t ClusterAt(ByteSpan sector, std::size_t highAt, std::size_t lowAt) {
    return (Le16(sector, highAt) << 16) | Le16(sector, lowAt);
}

bool HasBootSignature(ByteSpan sector) {
    return LoadLe8(sector, kSignatureOffset) == 0x55 &&
           LoadLe8(sector, kSignatureOffset + 1) == 0xAA;
}

enum class BootKind { None, Fat16, Fat32 };

BootKind BootSectorKind(ByteSpan sector) {
    if (!HasBootSignature(sector)) {
        return BootKind::None;
    }
    if (SpellsAt(sector, kFat32TypeDigits, "32")) {
        return BootKind::Fat32;
    }
    return SpellsAt(sector, kFat16TypeDigits, "16") ? BootKind::Fat16 : BootKind::None;
}

bool StartsWithDotEntries(ByteSpan sector) {
    return SpellsAt(sector, 0, ". ") && SpellsAt(sector, kDotDotOffset, ".. ");
}

// Engine sectors in one of the volume's own sectors: its counts are in that unit. A size no
// disk has is taken as 512 bytes, as the directories found still count in engine sectors.
std::uint32_t VolumeUnit(ByteSpan sector) {
    const std::uint32_t bytes = Le16(sector, kBytesPerSectorOffset);
    return IsSupportedSectorSize(bytes) ? SectorsPerUnit(bytes) : 1;
}

// Where cluster 0 would begin: two clusters before the data. A volume whose data starts
// nearer the disk's start than that puts it below sector 0, where it wraps round as 32-bit
// sector numbers do; no directory found lies there.
std::uint64_t Cluster0Sector(std::uint64_t dataStart, std::uint32_t spc) {
    const std::uint64_t twoClusters = std::uint64_t{2} * spc;
    return dataStart >= twoClusters ? dataStart - twoClusters
                                    : (dataStart - twoClusters) & kLow32BitSectors;
}

FoundBootSector BootSectorOf(ByteSpan sector, std::uint64_t s, BootKind kind) {
    const std::uint32_t unit = VolumeUnit(sector);
    FoundBootSector b;
    b.sector = s;
    b.spc = LoadLe8(sector, kSectorsPerClusterOffset).value_or(0) * unit;
    b.reserved = Le16(sector, kReservedOffset) * unit;
    b.firstFat = s + b.reserved;
    // A volume under 32 MiB gives its size only in the 16-bit field; without it, its own boot
    // sector would explain none of its directories.
    const std::uint32_t total = Le32(sector, kTotalSectorsOffset);
    b.totalSectors =
        s + std::uint64_t{total != 0 ? total : Le16(sector, kSmallTotalSectorsOffset)} * unit;
    if (kind == BootKind::Fat32) {
        b.spf = Le32(sector, kFat32SpfOffset) * unit;
        b.rootSectors = 0;
        b.rootStart = Le32(sector, kRootClusterOffset);
        b.cluster0Start = Cluster0Sector(b.firstFat + std::uint64_t{2} * b.spf, b.spc);
        b.partType = FileSystemName(FileSystem::Fat32);
    } else {
        b.spf = Le16(sector, kFat16SpfOffset) * unit;
        b.rootSectors = Le16(sector, kRootEntriesOffset) / kRootEntriesPerSector;
        b.rootStart = b.firstFat + std::uint64_t{2} * b.spf;
        b.cluster0Start = Cluster0Sector(b.rootStart + b.rootSectors, b.spc);
        b.partType = FileSystemName(FileSystem::Fat16);
    }
    b.secondFat = b.firstFat + b.spf;
    return b;
}

FoundDirectory DirectoryOf(ByteSpan sector, std::uint64_t s) {
    FoundDirectory d;
    d.sector = s;
    d.self = ClusterAt(sector, kSelfHighOffset, kSelfLowOffset);
    d.parent = ClusterAt(sector, kParentHighOffset, kParentLowOffset);
    d.date = Le16(sector, kDateOffset);
    d.time = Le16(sector, kTimeOffset);
    return d;
}

}  // namespace

void TestSectorForAdvanceSearch(ByteSpan sector, std::uint64_t sectorNumber,
                                std::vector<FoundBootSector>& bootSectors,
                                std::vector<FoundDirectory>& directories) {
    // Cheap byte compares first: nearly every sector fails both at once.
    if (sector.size() < kSectorSize) {
        return;
    }
    if (sector[kSignatureOffset] == 0x55) {
        if (const BootKind kind = BootSectorKind(sector); kind != BootKind::None) {
            bootSectors.push_back(BootSectorOf(sector, sectorNumber, kind));
        }
    }
    if (sector[0] == '.' && StartsWithDotEntries(sector)) {
        directories.push_back(DirectoryOf(sector, sectorNumber));
    }
}

std::uint64_t AdvanceFatSearch(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                               std::stop_token stop) {
    const std::uint64_t first =
        static_cast<std::uint64_t>(std::max<std::int64_t>(run.selectedPartition.startSector, 0));
    const std::uint64_t last = LastSectorSearched(run, disk);
    std::vector<FoundBootSector> bootSectors;
    std::vector<FoundDirectory> directories;
    FoundCounts counts(reporter);
    const auto showCounts = [&] { counts.Show(directories.size(), bootSectors.size()); };
    SectorRangeScan scan(reporter, {ScanPace::Timed, last, 0, showCounts});
    scan.ShowStart(0);
    // A chunk that cannot be read is tested as the reader leaves it: zeros where it failed.
    const std::uint64_t reached = scan.Run(
        {.first = first, .end = last + 1, .chunkSectors = kSearchChunkSectors}, disk,
        [&](const ScanChunk& chunk) {
            for (std::uint32_t i = 0; i < chunk.sectors; ++i) {
                TestSectorForAdvanceSearch(chunk.bytes.subspan(SectorsToBytes(i), kSectorSize),
                                           chunk.first + i, bootSectors, directories);
            }
            return std::uint64_t{chunk.sectors};
        },
        stop);
    showCounts();
    AppendBootSectorRows(run.bootSectorTable, bootSectors);
    AppendDirectoryRows(run.foundDirectoryTable, directories);
    return reached;
}

}  // namespace lumarest

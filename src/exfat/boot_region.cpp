#include "exfat/boot_region.h"

#include <array>
#include <vector>

namespace lumarest {
namespace {

constexpr std::string_view kFileSystemName = "EXFAT   ";
constexpr std::size_t kNameOffset = 3;
// Where FAT boot sectors keep their parameters; exFAT zeroes it so they read as no volume.
constexpr std::size_t kZeroedFirst = 11;
constexpr std::size_t kZeroedEnd = 64;
constexpr std::size_t kVolumeLengthOffset = 72;
constexpr std::size_t kFatOffsetOffset = 80;
constexpr std::size_t kFatLengthOffset = 84;
constexpr std::size_t kHeapOffsetOffset = 88;
constexpr std::size_t kClusterCountOffset = 92;
constexpr std::size_t kRootClusterOffset = 96;
constexpr std::size_t kVolumeFlagsOffset = 106;
constexpr std::size_t kSectorShiftOffset = 108;
constexpr std::size_t kClusterShiftOffset = 109;
constexpr std::size_t kFatCountOffset = 110;
constexpr std::size_t kPercentInUseOffset = 112;
constexpr std::size_t kSignatureOffset = 510;
constexpr std::uint16_t kSignature = 0xAA55;

constexpr std::uint8_t kSmallestSectorShift = 9;
constexpr std::uint8_t kLargestSectorShift = 12;
// A cluster is at most 32 MiB.
constexpr std::uint8_t kLargestClusterShiftSum = 25;
// The FAT starts after the main and the backup boot regions.
constexpr std::uint32_t kSmallestFatOffset = 2 * kExFatBootRegionSectors;
constexpr std::uint32_t kLargestClusterCount = 0xFFFFFFF5;
constexpr std::uint16_t kSecondFatActive = 0x0001;
constexpr std::size_t kFatEntryBytes = 4;
// Sectors of the region the checksum covers; the checksum sector follows them.
constexpr std::uint32_t kChecksummedSectors = kExFatBootRegionSectors - 1;
constexpr std::size_t kChecksumBytes = 4;
constexpr std::array<std::uint32_t, 4> kSectorUnits = {1, 2, 4, 8};

constexpr const char* kNoRegionProblem =
    "Neither the main nor the backup boot region of the exFAT volume could be read: their boot "
    "sectors are damaged or their checksums do not match.";

std::uint8_t Byte(ByteSpan sector, std::size_t at) {
    return LoadLe8(sector, at).value_or(0);
}

// 1, 2, 4 or 8 engine sectors per volume sector, or 0 when the shift is out of range.
std::uint32_t SectorUnitOf(ByteSpan sector) {
    const std::uint8_t shift = Byte(sector, kSectorShiftOffset);
    if (shift < kSmallestSectorShift || shift > kLargestSectorShift) {
        return 0;
    }
    return 1u << (shift - kSmallestSectorShift);
}

// A volume region read whole: the first `count` volume sectors from `first`.
std::vector<std::uint8_t> ReadVolumeSectors(SectorSource& disk, std::uint64_t first,
                                            std::uint32_t unit, std::uint32_t count, bool& ok) {
    std::vector<std::uint8_t> bytes(SectorsToBytes(std::uint64_t{unit} * count));
    ok = disk.ReadSectors(first, unit * count, bytes.data()) != 0;
    return bytes;
}

// The checksum sector repeats the region's checksum in every 4 bytes.
bool ChecksumSectorMatches(ByteSpan region, std::size_t sectorBytes) {
    const std::uint32_t sum = BootRegionChecksum(region);
    const ByteSpan kept = SliceOrEmpty(region, kChecksummedSectors * sectorBytes, sectorBytes);
    if (kept.empty()) {
        return false;
    }
    for (std::size_t at = 0; at < kept.size(); at += kChecksumBytes) {
        if (LoadLe32(kept, at) != sum) {
            return false;
        }
    }
    return true;
}

// The layout of the region at `regionStart` when its boot sector and checksum hold.
std::optional<ExFatLayout> CheckedRegion(SectorSource& disk, std::uint64_t regionStart,
                                         std::uint64_t volumeStart, std::uint32_t expectedUnit) {
    std::array<std::uint8_t, kSectorSize> boot{};
    if (disk.ReadSectors(regionStart, 1, boot.data()) == 0 || !IsExFatBootSector(boot)) {
        return std::nullopt;
    }
    const std::uint32_t unit = SectorUnitOf(boot);
    if (expectedUnit != 0 && unit != expectedUnit) {
        return std::nullopt;
    }
    bool ok = false;
    const std::vector<std::uint8_t> region =
        ReadVolumeSectors(disk, regionStart, unit, kExFatBootRegionSectors, ok);
    if (!ok || !ChecksumSectorMatches(region, SectorsToBytes(unit))) {
        return std::nullopt;
    }
    return LayoutFromBootSector(boot, volumeStart);
}

}  // namespace

std::optional<ExFatLayout> LayoutFromBootSector(ByteSpan sector, std::uint64_t volumeStart) {
    if (!SpellsAt(sector, kNameOffset, kFileSystemName) ||
        LoadLe16(sector, kSignatureOffset) != kSignature) {
        return std::nullopt;
    }
    for (std::size_t at = kZeroedFirst; at < kZeroedEnd; ++at) {
        if (Byte(sector, at) != 0) {
            return std::nullopt;
        }
    }
    const std::uint32_t unit = SectorUnitOf(sector);
    const std::uint8_t sectorShift = Byte(sector, kSectorShiftOffset);
    const std::uint8_t clusterShift = Byte(sector, kClusterShiftOffset);
    const std::uint8_t fatCount = Byte(sector, kFatCountOffset);
    if (unit == 0 || sectorShift + clusterShift > kLargestClusterShiftSum || fatCount < 1 ||
        fatCount > 2) {
        return std::nullopt;
    }
    const std::uint64_t volumeLength = *LoadLe64(sector, kVolumeLengthOffset);
    const std::uint32_t fatOffset = *LoadLe32(sector, kFatOffsetOffset);
    const std::uint32_t fatLength = *LoadLe32(sector, kFatLengthOffset);
    const std::uint32_t heapOffset = *LoadLe32(sector, kHeapOffsetOffset);
    const std::uint32_t clusterCount = *LoadLe32(sector, kClusterCountOffset);
    const std::uint32_t rootCluster = *LoadLe32(sector, kRootClusterOffset);
    const std::uint64_t volumeSectorsPerCluster = std::uint64_t{1} << clusterShift;
    const std::uint64_t fatEnd = std::uint64_t{fatOffset} + std::uint64_t{fatLength} * fatCount;
    const std::uint64_t fatEntries = (std::uint64_t{fatLength} << sectorShift) / kFatEntryBytes;
    const std::uint64_t heapEnd =
        std::uint64_t{heapOffset} + std::uint64_t{clusterCount} * volumeSectorsPerCluster;
    // Volume lengths past 2^54 volume sectors would overflow once counted in engine sectors.
    if (volumeLength == 0 || (volumeLength >> 54) != 0 || fatOffset < kSmallestFatOffset ||
        fatLength == 0 || heapOffset < fatEnd || clusterCount == 0 ||
        clusterCount > kLargestClusterCount || fatEntries < std::uint64_t{clusterCount} + 2 ||
        heapEnd > volumeLength) {
        return std::nullopt;
    }
    ExFatLayout layout;
    layout.volumeStart = volumeStart;
    layout.volumeSectors = volumeLength * unit;
    layout.sectorUnit = unit;
    const bool secondFat =
        fatCount == 2 && (LoadLe16(sector, kVolumeFlagsOffset).value_or(0) & kSecondFatActive);
    layout.fatStart = volumeStart + (std::uint64_t{fatOffset} + (secondFat ? fatLength : 0)) * unit;
    layout.fatSectors = std::uint64_t{fatLength} * unit;
    layout.heapStart = volumeStart + std::uint64_t{heapOffset} * unit;
    layout.sectorsPerCluster = static_cast<std::uint32_t>(volumeSectorsPerCluster * unit);
    layout.clusterCount = clusterCount;
    layout.rootCluster = rootCluster;
    if (!layout.HoldsCluster(rootCluster)) {
        return std::nullopt;
    }
    return layout;
}

bool IsExFatBootSector(ByteSpan sector) {
    return LayoutFromBootSector(sector, 0).has_value();
}

std::uint32_t BootRegionChecksum(ByteSpan region) {
    const std::uint32_t unit = SectorUnitOf(region);
    const std::size_t covered =
        std::min(region.size(), std::size_t{kChecksummedSectors} * SectorsToBytes(unit));
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < covered; ++i) {
        // The flags and the in-use percentage change while the volume is used.
        if (i == kVolumeFlagsOffset || i == kVolumeFlagsOffset + 1 || i == kPercentInUseOffset) {
            continue;
        }
        sum = ((sum & 1) != 0 ? 0x80000000u : 0u) + (sum >> 1) + region[i];
    }
    return sum;
}

BootRegionReading ReadExFatBootRegion(SectorSource& disk, std::uint64_t firstSector) {
    BootRegionReading reading;
    reading.layout = CheckedRegion(disk, firstSector, firstSector, 0);
    if (reading.layout) {
        return reading;
    }
    // The main boot sector's own sector size may be the damaged field: try every size.
    for (const std::uint32_t unit : kSectorUnits) {
        reading.layout = CheckedRegion(
            disk, firstSector + std::uint64_t{kExFatBootRegionSectors} * unit, firstSector, unit);
        if (reading.layout) {
            reading.fromBackup = true;
            return reading;
        }
    }
    reading.problem = kNoRegionProblem;
    return reading;
}

}  // namespace lumarest

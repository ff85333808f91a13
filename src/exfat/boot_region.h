#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/le_bytes.h"
#include "core/sector_source.h"
#include "exfat/exfat_layout.h"

namespace lumarest {

// Sectors of one boot region: boot sector, extended boot sectors, parameters, reserved, checksum.
inline constexpr std::uint32_t kExFatBootRegionSectors = 12;

struct BootRegionReading {
    std::optional<ExFatLayout> layout;
    bool fromBackup = false;  // the main region failed its checks; sectors 12..23 were used
    std::string problem;      // why neither region gave a layout (a sentence for the user)
};

// The name at byte 3, the zeroed block where other FAT boot sectors keep their parameters, the
// signature and fields that can describe a volume.
bool IsExFatBootSector(ByteSpan sector);

// The layout a boot sector's fields give for a volume starting at `volumeStart`, or nothing
// when they contradict each other. `sector` is the first 512 bytes of the boot sector.
std::optional<ExFatLayout> LayoutFromBootSector(ByteSpan sector, std::uint64_t volumeStart);

// The region's checksum over its first eleven sectors (`region` holds them, whole volume sectors)
// as it is kept in its twelfth.
std::uint32_t BootRegionChecksum(ByteSpan region);

// Reads the main boot region at `firstSector`, and the backup region after it when the main one
// fails its checksum or its fields.
BootRegionReading ReadExFatBootRegion(SectorSource& disk, std::uint64_t firstSector);

}  // namespace lumarest

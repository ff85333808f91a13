#pragma once

#include <cstdint>
#include <string>

#include "core/sector_source.h"
#include "disk/device_sector_source.h"
#include "disk/sector_reader.h"

namespace lumarest {

class Reporter;
struct DiskProperties;

// What a reader of one disk is made from: the device or image it opens, its size, the sector it
// counts in, and how it reads. A plain value, copied into whatever reads the disk.
struct DiskInputs {
    std::string devicePath;
    std::uint64_t totalSectors = 0;  // engine sectors
    std::uint32_t logicalSectorBytes = kSectorSize;
    SectorReaderContext reader;
};

// The inputs of an inventoried disk, read as `reader` says.
DiskInputs DiskInputsOf(const DiskProperties& disk, SectorReaderContext reader);

// The reader of the disk. The second form tells `reporter` what the reader has to say, the
// reader's own reporter set aside.
DeviceSectorSource OpenDisk(DiskInputs disk);
DeviceSectorSource OpenDisk(DiskInputs disk, Reporter& reporter);

}  // namespace lumarest

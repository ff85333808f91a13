#include "disk/device_sector_source.h"

namespace lumarest {

DeviceSectorSource::DeviceSectorSource(SectorReaderContext context, std::string devicePath,
                                       std::uint64_t totalSectors, std::uint32_t logicalSectorBytes)
    : context_(std::move(context)),
      devicePath_(std::move(devicePath)),
      totalSectors_(totalSectors),
      logicalSectorBytes_(IsSupportedSectorSize(logicalSectorBytes) ? logicalSectorBytes
                                                                    : kSectorSize) {}

DeviceSectorSource::~DeviceSectorSource() {
    ReleaseDevice(context_, held_);
}

int DeviceSectorSource::ReadSectors(std::uint64_t firstSector, std::uint32_t count,
                                    std::uint8_t* buffer) {
    return ReadSectorsHeld(context_, held_, devicePath_, firstSector, count, buffer);
}

}  // namespace lumarest

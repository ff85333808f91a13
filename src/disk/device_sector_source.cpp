#include "disk/device_sector_source.h"

#include <utility>

namespace lumarest {

DeviceSectorSource::DeviceSectorSource(SectorReaderContext context, std::string devicePath,
                                       std::uint64_t totalSectors, std::uint32_t logicalSectorBytes)
    : context_(std::move(context)),
      devicePath_(std::move(devicePath)),
      totalSectors_(totalSectors),
      logicalSectorBytes_(IsSupportedSectorSize(logicalSectorBytes) ? logicalSectorBytes
                                                                    : kSectorSize) {}

DeviceSectorSource::DeviceSectorSource(DeviceSectorSource&& other) noexcept
    : context_(std::move(other.context_)),
      held_(std::exchange(other.held_, HeldDevice{})),
      devicePath_(std::move(other.devicePath_)),
      totalSectors_(other.totalSectors_),
      logicalSectorBytes_(other.logicalSectorBytes_) {}

DeviceSectorSource& DeviceSectorSource::operator=(DeviceSectorSource&& other) noexcept {
    if (this != &other) {
        ReleaseDevice(context_, held_);
        context_ = std::move(other.context_);
        held_ = std::exchange(other.held_, HeldDevice{});
        devicePath_ = std::move(other.devicePath_);
        totalSectors_ = other.totalSectors_;
        logicalSectorBytes_ = other.logicalSectorBytes_;
    }
    return *this;
}

DeviceSectorSource::~DeviceSectorSource() {
    ReleaseDevice(context_, held_);
}

int DeviceSectorSource::ReadSectors(std::uint64_t firstSector, std::uint32_t count,
                                    std::uint8_t* buffer) {
    return ReadSectorsHeld(context_, held_, devicePath_, firstSector, count, buffer);
}

void DeviceSectorSource::WillRead(std::uint64_t firstSector, std::uint32_t count) {
    HintNextRead(context_, held_, firstSector, count);
}

}  // namespace lumarest

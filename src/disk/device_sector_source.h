#pragma once

#include <cstdint>
#include <string>

#include "core/sector_source.h"
#include "disk/sector_reader.h"

namespace lumarest {

// A SectorSource over one device path or image file, reading through ReadSectors with the
// device kept open from the first read to the source's end. One thread reads it at a time.
class DeviceSectorSource : public SectorSource {
  public:
    DeviceSectorSource(SectorReaderContext context, std::string devicePath,
                       std::uint64_t totalSectors, std::uint32_t logicalSectorBytes = kSectorSize);
    ~DeviceSectorSource() override;
    DeviceSectorSource(const DeviceSectorSource&) = delete;
    DeviceSectorSource& operator=(const DeviceSectorSource&) = delete;
    // The open device goes with the source.
    DeviceSectorSource(DeviceSectorSource&& other) noexcept;
    DeviceSectorSource& operator=(DeviceSectorSource&& other) noexcept;

    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override;
    void WillRead(std::uint64_t firstSector, std::uint32_t count) override;
    std::uint64_t TotalSectors() const override { return totalSectors_; }
    std::string Name() const override { return devicePath_; }
    std::uint32_t LogicalSectorBytes() const override { return logicalSectorBytes_; }

  private:
    SectorReaderContext context_;
    HeldDevice held_;
    std::string devicePath_;
    std::uint64_t totalSectors_;
    std::uint32_t logicalSectorBytes_;
};

}  // namespace lumarest

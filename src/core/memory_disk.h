#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/sector_source.h"

namespace lumarest {

// A disk held in memory, for tests and fuzzing. Sectors can be marked unreadable; reads past
// the end fail like a real device, with the readable part filled and the rest zeroed.
class MemoryDisk : public SectorSource {
  public:
    explicit MemoryDisk(std::vector<std::uint8_t> bytes, std::string name = "memory disk");

    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override;
    std::uint64_t TotalSectors() const override;
    std::string Name() const override { return name_; }
    std::uint32_t LogicalSectorBytes() const override { return logicalSectorBytes_; }

    void SetLogicalSectorBytes(std::uint32_t bytes) { logicalSectorBytes_ = bytes; }

    void MarkUnreadable(std::uint64_t sector) { unreadable_.insert(sector); }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }
    std::uint64_t ReadCalls() const { return readCalls_; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::string name_;
    std::set<std::uint64_t> unreadable_;
    std::uint64_t readCalls_ = 0;
    std::uint32_t logicalSectorBytes_ = kSectorSize;
};

}  // namespace lumarest

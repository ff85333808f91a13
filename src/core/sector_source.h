#pragma once

#include <cstdint>
#include <string>

namespace lumarest {

inline constexpr std::uint32_t kSectorSize = 512;

// The one way an engine reads a disk: whole 512-byte sectors of a disk already chosen,
// addressed by absolute sector number. Returns 1 on success, 0 on failure; after a failure the
// buffer still holds every sector that could be read, and zeros for the others.
class SectorSource {
  public:
    virtual ~SectorSource() = default;
    virtual int ReadSectors(std::uint64_t firstSector, std::uint32_t count,
                            std::uint8_t* buffer) = 0;
    // Sectors on the disk, 0 when unknown.
    virtual std::uint64_t TotalSectors() const = 0;
    // What the user knows the disk by, for messages.
    virtual std::string Name() const = 0;
};

}  // namespace lumarest

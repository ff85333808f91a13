#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace lumarest {

// Engines count in sectors of 512 bytes, whatever the disk or the volume counts in: a disk of
// 4096-byte sectors is read as eight of these per sector of its own.
inline constexpr std::uint32_t kSectorSize = 512;
// The largest sector a disk or a volume may have.
inline constexpr std::uint32_t kLargestSectorSize = 4096;

// 512, 1024, 2048 or 4096.
inline bool IsSupportedSectorSize(std::uint64_t bytes) {
    return bytes >= kSectorSize && bytes <= kLargestSectorSize && (bytes & (bytes - 1)) == 0;
}

// Engine sectors in one sector of `sectorBytes` (a supported size).
inline std::uint32_t SectorsPerUnit(std::uint32_t sectorBytes) {
    return sectorBytes / kSectorSize;
}

// The disk's own sector that engine sector `sector` lies in, as the user is shown it.
inline std::uint64_t InDiskSectors(std::uint64_t sector, std::uint32_t diskSectorBytes) {
    return IsSupportedSectorSize(diskSectorBytes) ? sector / SectorsPerUnit(diskSectorBytes)
                                                  : sector;
}

// The one way engine sectors become bytes.
inline std::uint64_t SectorsToBytes(std::uint64_t sectors) {
    return sectors * kSectorSize;
}

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
    // The disk's own logical sector: where its tables count from and what the user is shown.
    virtual std::uint32_t LogicalSectorBytes() const { return kSectorSize; }
    // What the user knows the disk by, for messages.
    virtual std::string Name() const = 0;
    // Sectors that will be read soon: a source may start fetching them while the caller works
    // on what it read last. Only a hint; nothing is read into any buffer.
    virtual void WillRead(std::uint64_t /*firstSector*/, std::uint32_t /*count*/) {}
};

// `endSector` (the first sector after a range) cut at the end of a disk of known size: a table
// or a boot sector that claims more than the disk holds must not send a scan past it.
inline std::uint64_t EndWithinDisk(const SectorSource& disk, std::uint64_t endSector) {
    const std::uint64_t total = disk.TotalSectors();
    return total == 0 ? endSector : std::min(endSector, total);
}

}  // namespace lumarest

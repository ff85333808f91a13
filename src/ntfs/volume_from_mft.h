#pragma once

#include <cstdint>
#include <optional>

namespace lumarest {

class SectorSource;

// Where an NTFS volume lies, in engine sectors, as its master file table tells it.
struct MftVolume {
    std::uint64_t start = 0;  // the volume's first sector: cluster 0
    std::uint32_t sectorsPerCluster = 0;
    // The last sector of the furthest cluster the runs of $MFT, $MFTMirr and $Bitmap reach: the
    // backup boot sector that would give the size is gone with the first one.
    std::uint64_t lastSector = 0;
};

// The volume whose record 0 ($MFT) lies at `recordSector`, records of `recordSectors` sectors
// each, on a disk of `diskSectors` sectors. Record 0's first $DATA cluster must be where it
// lies; for each cluster size from 512 bytes to 64 KiB that puts cluster 0 on the disk, record
// 1 ($MFTMirr) must name a mirror whose first record is a copy of record 0, and record 7
// ($Boot) must start at cluster 0. Nothing when no cluster size holds, or when a run of those
// records leaves the disk.
std::optional<MftVolume> FindVolumeFromMft(SectorSource& disk, std::uint64_t recordSector,
                                           std::uint32_t recordSectors, std::uint64_t diskSectors);

}  // namespace lumarest

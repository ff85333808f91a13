#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/file_system.h"

namespace lumarest {

// The layout of the selected volume, as validation or calculation leaves it. Every sector
// number is absolute on the disk, and 64-bit: a volume may lie anywhere on a disk of any size.
// Counts stay 32-bit. A field a file system does not use keeps its last value.
struct VolumeParams {
    std::uint32_t sectorsPerFat = 0;       // "SPF"
    std::uint32_t sectorsPerCluster = 0;   // "SPC"
    std::uint32_t rootSectors = 0;         // "Root Sectors": FAT16 fixed root; FAT32 0
    std::uint64_t rootStart = 0;           // "Root Start": FAT16 sector; FAT32 root cluster
    std::uint32_t reservedSectors = 0;     // "Reserve Sectors"
    std::uint64_t cluster0Start = 0;       // "Cluster0Start": where cluster 0 would begin
    std::uint64_t firstFat = 0;            // "firstFAT"; 0 = not known
    std::uint64_t secondFat = 0;           // "secondFAT"
    std::uint64_t mftSector = 0;           // NTFS; 0 = not found
    std::uint64_t mftMirrSector = 0;       // NTFS; 0 = not found
    std::uint32_t mftRecordSectors = 0;    // NTFS: 2, 4, 6 or 8
    std::uint32_t indexRecordSectors = 0;  // NTFS
};

// The working copy every FAT or NTFS operation reads once a scan has started.
struct ActiveVolume : VolumeParams {
    std::string fsName;  // "FAT16", "FAT32" or "NTFS", as shown
    // The same, read once from the name where the volume is taken; what every browse decides on.
    std::optional<FileSystem> fileSystem;
};

// Names the volume's file system, keeping the shown name and the kind together.
inline void SetVolumeFileSystem(ActiveVolume& volume, const std::string& fsName) {
    volume.fsName = fsName;
    volume.fileSystem = FileSystemNamed(fsName);
}

// The snapshot the scan takes before it works on the volume.
inline ActiveVolume SnapshotVolume(const VolumeParams& params, const std::string& fsName) {
    ActiveVolume active;
    static_cast<VolumeParams&>(active) = params;
    SetVolumeFileSystem(active, fsName);
    return active;
}

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <optional>

#include "core/le_bytes.h"

namespace lumarest {

// Both FAT kinds are taken to have two FATs; a FAT's first byte is the fixed-disk media byte.
inline constexpr std::uint32_t kFatCount = 2;
inline constexpr std::uint8_t kFixedDiskMedia = 0xF8;
// Where the backup boot sector of a FAT32 volume lies, from its first sector.
inline constexpr std::uint32_t kFat32BackupOffset = 6;
// One sector of a FAT16 fixed root directory holds 16 entries of 32 bytes.
inline constexpr std::uint32_t kDirEntriesPerSector = 16;
inline constexpr std::size_t kDirEntrySize = 32;

// The fields the FAT layout is taken from.
struct FatBootFields {
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t reservedSectors = 0;
    std::uint32_t rootEntries = 0;    // FAT16
    std::uint32_t sectorsPerFat = 0;  // word at 22 (FAT16) or dword at 36 (FAT32)
    std::uint32_t rootCluster = 0;    // FAT32
};

// The fields the NTFS layout is taken from.
struct NtfsBootFields {
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t mftCluster = 0;      // low 32 bits
    std::uint32_t mftMirrCluster = 0;  // low 32 bits
    std::uint32_t clustersPerRecord = 0;
    std::uint32_t clustersPerIndex = 0;
};

// Byte 510 is 0x55 and byte 511 is 0xAA.
bool HasBootSignature(ByteSpan sector);

// The volume's bytes per sector (word at 11) when it is 512, 1024, 2048 or 4096; every count
// of sectors in the boot sector is in that unit.
std::optional<std::uint32_t> VolumeSectorBytes(ByteSpan sector);

FatBootFields ParseFat16BootFields(ByteSpan sector);
FatBootFields ParseFat32BootFields(ByteSpan sector);
NtfsBootFields ParseNtfsBootFields(ByteSpan sector);

// The first FAT sector starts with the media byte.
bool StartsWithFixedDiskMedia(ByteSpan sector);
// A FAT's first sector: the media byte and 0xFF, as the calculation looks for it.
bool StartsLikeFat(ByteSpan sector);

// 1, 2, 4, ... 128.
bool IsValidSectorsPerCluster(std::uint32_t sectorsPerCluster);

// Engine sectors per NTFS file record, `sectorsPerCluster` in engine sectors. A size byte of
// 0x80 to 0xFF counts bytes, not clusters: 0xF6 stands for 1024 bytes, 0xF4 for 4096.
std::uint64_t NtfsRecordSectors(std::uint32_t clustersPerRecord, std::uint32_t sectorsPerCluster);
// Engine sectors per NTFS index record, read as the file record's size is.
std::uint64_t NtfsIndexSectors(std::uint32_t clustersPerIndex, std::uint32_t sectorsPerCluster);
bool IsValidRecordSectors(std::uint64_t recordSectors);

// An MFT record starts with "FILE".
bool StartsWithFileRecord(ByteSpan sector);

// A directory's first sector: a "." entry followed by a ".." entry.
bool IsDirectoryHead(ByteSpan sector);
// The first cluster of a directory entry at `offset`: high word at 20, low word at 26.
std::uint32_t EntryFirstCluster32(ByteSpan sector, std::size_t offset);
// The low word at 26 alone, as FAT16 keeps it.
std::uint32_t EntryFirstCluster16(ByteSpan sector, std::size_t offset);

}  // namespace lumarest

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/le_bytes.h"
#include "core/partition_list.h"

namespace lumarest {

// The four 16-byte entries of a table sector start here; an extended boot record uses the
// first two.
inline constexpr std::size_t kTableEntriesOffset = 446;
inline constexpr std::size_t kTableEntrySize = 16;
inline constexpr int kMbrEntries = 4;
inline constexpr int kEbrEntries = 2;

inline constexpr std::uint8_t kTypeEmpty = 0x00;
inline constexpr std::uint8_t kTypeFat16Small = 0x01;
inline constexpr std::uint8_t kTypeFat16 = 0x06;
inline constexpr std::uint8_t kTypeNtfs = 0x07;
inline constexpr std::uint8_t kTypeFat32 = 0x0B;
// The one entry of a protective (or hybrid) table that stands for a GPT.
inline constexpr std::uint8_t kTypeGptProtective = 0xEE;

// Where a table sector was read: the master boot record or an extended boot record.
enum class TableKind { Master, Extended };

// One entry as the walk uses it; the CHS fields and the boot flag are not read.
struct PartitionEntry {
    std::uint8_t type = kTypeEmpty;
    std::uint32_t firstSector = 0;  // relative to the table's base
    std::uint32_t sectorCount = 0;
};

// A table sector is taken when either byte of its 0x55 0xAA signature is in place.
bool HasTableSignature(ByteSpan sector);

// Entry `index` (0 to 3) of a table sector; an empty entry when the sector is too short.
PartitionEntry ParsePartitionEntry(ByteSpan sector, int index);

// The type a partition is treated as: a file-system name in its first sector wins over the
// type byte ("EXFAT   " at 3, then "FAT32" at 82, then "FAT16" at 54, then "NTFS" at 3). exFAT
// is treated as type 0x07, the type it shares with NTFS.
std::uint8_t ApplyBootSectorMarkers(ByteSpan bootSector, std::uint8_t type);

bool IsExtendedType(std::uint8_t type);

// The file system a boot sector's name marker gives, whatever a table says of it.
std::optional<FileSystem> MarkedFileSystem(ByteSpan bootSector);

// The file system a table entry of `type` is listed with: its boot sector's name marker, else
// what its type names (ListedFileSystem).
std::optional<FileSystem> EntryFileSystem(ByteSpan bootSector, std::uint8_t type, TableKind kind);

// A type partitioning tools write, for telling a table from the boot code of a volume.
bool IsKnownType(std::uint8_t type);

// The file system of a type the walk lists, nothing otherwise. Type 0x01 is listed only from
// an extended boot record.
std::optional<FileSystem> ListedFileSystem(std::uint8_t type, TableKind kind);

}  // namespace lumarest

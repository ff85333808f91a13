#include "partitions/partition_table_sector.h"

#include <algorithm>
#include <string_view>

namespace lumarest {

namespace {

constexpr std::size_t kSignatureOffset = 510;
constexpr std::uint8_t kSignatureLow = 0x55;
constexpr std::uint8_t kSignatureHigh = 0xAA;

constexpr std::size_t kEntryTypeOffset = 4;
constexpr std::size_t kEntryFirstSectorOffset = 8;
constexpr std::size_t kEntrySectorCountOffset = 12;

struct BootSectorMarker {
    std::size_t offset;
    std::string_view text;
    std::uint8_t type;
    FileSystem fileSystem;
};

// Tested in this order; the first that matches decides. exFAT shares NTFS's type byte, so only
// its name tells them apart; it comes first because the rest of its sector holds its own fields,
// which may spell a FAT name by chance, where a FAT or NTFS volume keeps its maker's name.
constexpr std::array<BootSectorMarker, 4> kBootSectorMarkers{{
    {3, "EXFAT   ", kTypeNtfs, FileSystem::ExFat},
    {82, "FAT32", kTypeFat32, FileSystem::Fat32},
    {54, "FAT16", kTypeFat16, FileSystem::Fat16},
    {3, "NTFS", kTypeNtfs, FileSystem::Ntfs},
}};

// Types the common partitioning tools write: DOS FAT and NTFS kinds, extended, hidden FAT,
// Linux, swap, LVM, RAID, BSD, GPT and EFI. Printable characters are left out on purpose, so
// the text a volume keeps where a table would be is not read as one.
constexpr std::array<std::uint8_t, 26> kKnownTypes = {
    0x01, 0x04, 0x05, 0x06, 0x07, 0x0B, 0x0C, 0x0E, 0x0F, 0x11, 0x12, 0x14, 0x16,
    0x17, 0x1B, 0x1C, 0x1E, 0x82, 0x83, 0x85, 0x8E, 0xA5, 0xA6, 0xA9, 0xEE, 0xEF,
};

bool HoldsText(ByteSpan bytes, std::size_t offset, std::string_view text) {
    const ByteSpan field = SliceOrEmpty(bytes, offset, text.size());
    if (field.size() != text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (field[i] != static_cast<std::uint8_t>(text[i])) {
            return false;
        }
    }
    return true;
}

const BootSectorMarker* FindBootSectorMarker(ByteSpan bootSector) {
    for (const BootSectorMarker& marker : kBootSectorMarkers) {
        if (HoldsText(bootSector, marker.offset, marker.text)) {
            return &marker;
        }
    }
    return nullptr;
}

}  // namespace

bool HasTableSignature(ByteSpan sector) {
    return LoadLe8(sector, kSignatureOffset) == kSignatureLow ||
           LoadLe8(sector, kSignatureOffset + 1) == kSignatureHigh;
}

PartitionEntry ParsePartitionEntry(ByteSpan sector, int index) {
    if (index < 0 || index >= kMbrEntries) {
        return {};
    }
    const ByteSpan bytes = SliceOrEmpty(
        sector, kTableEntriesOffset + static_cast<std::size_t>(index) * kTableEntrySize,
        kTableEntrySize);
    if (bytes.empty()) {
        return {};
    }
    PartitionEntry entry;
    entry.type = LoadLe8(bytes, kEntryTypeOffset).value_or(kTypeEmpty);
    entry.firstSector = LoadLe32(bytes, kEntryFirstSectorOffset).value_or(0);
    entry.sectorCount = LoadLe32(bytes, kEntrySectorCountOffset).value_or(0);
    return entry;
}

std::uint8_t ApplyBootSectorMarkers(ByteSpan bootSector, std::uint8_t type) {
    const BootSectorMarker* marker = FindBootSectorMarker(bootSector);
    return marker ? marker->type : type;
}

std::optional<FileSystem> MarkedFileSystem(ByteSpan bootSector) {
    const BootSectorMarker* marker = FindBootSectorMarker(bootSector);
    if (!marker) {
        return std::nullopt;
    }
    return marker->fileSystem;
}

std::optional<FileSystem> EntryFileSystem(ByteSpan bootSector, std::uint8_t type, TableKind kind) {
    if (const auto marked = MarkedFileSystem(bootSector)) {
        return marked;
    }
    return ListedFileSystem(type, kind);
}

bool IsKnownType(std::uint8_t type) {
    return std::find(kKnownTypes.begin(), kKnownTypes.end(), type) != kKnownTypes.end();
}

bool IsExtendedType(std::uint8_t type) {
    return type == 0x05 || type == 0x0F;
}

std::optional<FileSystem> ListedFileSystem(std::uint8_t type, TableKind kind) {
    switch (type) {
        case kTypeFat16Small:
            if (kind == TableKind::Extended) {
                return FileSystem::Fat16;
            }
            return std::nullopt;
        case 0x04:
        case kTypeFat16:
        case 0x0E:
            return FileSystem::Fat16;
        case kTypeFat32:
        case 0x0C:
            return FileSystem::Fat32;
        case kTypeNtfs:
            return FileSystem::Ntfs;
        default:
            return std::nullopt;
    }
}

}  // namespace lumarest

#include "partitions/boot_sector.h"

#include <string_view>

#include "core/sector_source.h"

namespace lumarest {

namespace {

constexpr std::size_t kSignatureOffset = 510;
constexpr std::size_t kBytesPerSectorOffset = 11;
constexpr std::size_t kSectorsPerClusterOffset = 13;
constexpr std::size_t kReservedOffset = 14;
constexpr std::size_t kRootEntriesOffset = 17;
constexpr std::size_t kFat16SectorsPerFatOffset = 22;
constexpr std::size_t kFat32SectorsPerFatOffset = 36;
constexpr std::size_t kFat32RootClusterOffset = 44;
constexpr std::size_t kMftClusterOffset = 48;
constexpr std::size_t kMftMirrClusterOffset = 56;
constexpr std::size_t kClustersPerRecordOffset = 64;
constexpr std::size_t kClustersPerIndexOffset = 68;
// A record size byte of 0x80 to 0xFF is negative: the record holds 2^-v bytes.
constexpr std::uint32_t kFirstNegativeSize = 0x80;
constexpr std::uint32_t kLastSizeByte = 0xFF;
// 2^31 bytes and more cannot be a record.
constexpr std::uint32_t kLargestSizeShift = 31;
constexpr std::uint32_t kLargestSectorsPerCluster = 128;
constexpr std::size_t kHighClusterOffset = 20;
constexpr std::size_t kLowClusterOffset = 26;

std::uint32_t Byte(ByteSpan sector, std::size_t offset) {
    return LoadLe8(sector, offset).value_or(0);
}
std::uint32_t Word(ByteSpan sector, std::size_t offset) {
    return LoadLe16(sector, offset).value_or(0);
}
std::uint32_t Dword(ByteSpan sector, std::size_t offset) {
    return LoadLe32(sector, offset).value_or(0);
}

}  // namespace

bool HasBootSignature(ByteSpan sector) {
    return Byte(sector, kSignatureOffset) == 0x55 && Byte(sector, kSignatureOffset + 1) == 0xAA;
}

std::optional<std::uint32_t> VolumeSectorBytes(ByteSpan sector) {
    const std::uint32_t bytes = Word(sector, kBytesPerSectorOffset);
    if (!IsSupportedSectorSize(bytes)) {
        return std::nullopt;
    }
    return bytes;
}

FatBootFields ParseFat16BootFields(ByteSpan sector) {
    FatBootFields fields;
    fields.sectorsPerCluster = Byte(sector, kSectorsPerClusterOffset);
    fields.reservedSectors = Word(sector, kReservedOffset);
    fields.rootEntries = Word(sector, kRootEntriesOffset);
    fields.sectorsPerFat = Word(sector, kFat16SectorsPerFatOffset);
    return fields;
}

FatBootFields ParseFat32BootFields(ByteSpan sector) {
    FatBootFields fields;
    fields.sectorsPerCluster = Byte(sector, kSectorsPerClusterOffset);
    fields.reservedSectors = Word(sector, kReservedOffset);
    fields.sectorsPerFat = Dword(sector, kFat32SectorsPerFatOffset);
    fields.rootCluster = Dword(sector, kFat32RootClusterOffset);
    return fields;
}

NtfsBootFields ParseNtfsBootFields(ByteSpan sector) {
    NtfsBootFields fields;
    fields.sectorsPerCluster = Byte(sector, kSectorsPerClusterOffset);
    fields.mftCluster = Dword(sector, kMftClusterOffset);
    fields.mftMirrCluster = Dword(sector, kMftMirrClusterOffset);
    fields.clustersPerRecord = Dword(sector, kClustersPerRecordOffset);
    fields.clustersPerIndex = Dword(sector, kClustersPerIndexOffset);
    return fields;
}

bool StartsWithFixedDiskMedia(ByteSpan sector) {
    return !sector.empty() && sector[0] == kFixedDiskMedia;
}

bool StartsLikeFat(ByteSpan sector) {
    return sector.size() >= 2 && sector[0] == kFixedDiskMedia && sector[1] == 0xFF;
}

bool IsValidSectorsPerCluster(std::uint32_t sectorsPerCluster) {
    return sectorsPerCluster != 0 && sectorsPerCluster <= kLargestSectorsPerCluster &&
           (sectorsPerCluster & (sectorsPerCluster - 1)) == 0;
}

std::uint64_t NtfsRecordSectors(std::uint32_t clustersPerRecord, std::uint32_t sectorsPerCluster) {
    if (clustersPerRecord < kFirstNegativeSize || clustersPerRecord > kLastSizeByte) {
        return std::uint64_t{clustersPerRecord} * sectorsPerCluster;
    }
    const std::uint32_t shift = kLastSizeByte + 1 - clustersPerRecord;
    if (shift > kLargestSizeShift) {
        return 0;
    }
    return (std::uint64_t{1} << shift) / kSectorSize;
}

std::uint64_t NtfsIndexSectors(std::uint32_t clustersPerIndex, std::uint32_t sectorsPerCluster) {
    return NtfsRecordSectors(clustersPerIndex, sectorsPerCluster);
}

bool IsValidRecordSectors(std::uint64_t recordSectors) {
    return recordSectors == 2 || recordSectors == 4 || recordSectors == 6 || recordSectors == 8;
}

bool StartsWithFileRecord(ByteSpan sector) {
    return SpellsAt(sector, 0, "FILE");
}

bool IsDirectoryHead(ByteSpan sector) {
    return SpellsAt(sector, 0, ". ") && SpellsAt(sector, kDirEntrySize, ".. ");
}

std::uint32_t EntryFirstCluster32(ByteSpan sector, std::size_t offset) {
    return (Word(sector, offset + kHighClusterOffset) << 16) |
           Word(sector, offset + kLowClusterOffset);
}

std::uint32_t EntryFirstCluster16(ByteSpan sector, std::size_t offset) {
    return Word(sector, offset + kLowClusterOffset);
}

}  // namespace lumarest

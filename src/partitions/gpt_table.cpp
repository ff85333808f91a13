#include "partitions/gpt_table.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "core/sector_source.h"

namespace lumarest {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};
constexpr std::size_t kHeaderSizeOffset = 12;
constexpr std::size_t kHeaderCrcOffset = 16;
constexpr std::size_t kMyLbaOffset = 24;
constexpr std::size_t kEntriesLbaOffset = 72;
constexpr std::size_t kEntryCountOffset = 80;
constexpr std::size_t kEntrySizeOffset = 84;
constexpr std::size_t kEntriesCrcOffset = 88;
constexpr std::uint32_t kMinHeaderSize = 92;

constexpr std::uint32_t kEntrySizeStep = 128;
constexpr std::uint32_t kMaxEntrySize = 4096;
// Tools write 128 entries of 128 bytes; a larger array is damage, and reading it costs time.
constexpr std::uint64_t kMaxEntryArrayBytes = 4 * 1024 * 1024;
constexpr std::size_t kTypeGuidSize = 16;
constexpr std::size_t kFirstLbaOffset = 32;
constexpr std::size_t kLastLbaOffset = 40;

constexpr std::uint64_t kPrimaryLba = 1;
// Reads of the entry array go in pieces of this many engine sectors.
constexpr std::uint32_t kReadChunkSectors = 128;

std::uint32_t Crc32(ByteSpan bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (!bytes.empty()) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(bytes.size(), 1u << 30));
        crc = crc32(crc, bytes.data(), piece);
        bytes = bytes.subspan(piece);
    }
    return static_cast<std::uint32_t>(crc);
}

bool HeaderCrcMatches(ByteSpan sector, std::uint32_t headerSize, std::uint32_t storedCrc) {
    std::vector<std::uint8_t> header(sector.begin(), sector.begin() + headerSize);
    std::fill_n(header.begin() + kHeaderCrcOffset, sizeof(std::uint32_t), 0);
    return Crc32(header) == storedCrc;
}

std::uint64_t ArrayBytes(const GptHeader& header) {
    return std::uint64_t{header.entryCount} * header.entrySize;
}

// Logical sectors the entry array covers.
std::uint64_t ArrayLbas(const GptHeader& header, std::uint32_t sectorBytes) {
    return (ArrayBytes(header) + sectorBytes - 1) / sectorBytes;
}

bool ArrayShapeHolds(const GptHeader& header) {
    return header.entrySize >= kEntrySizeStep && header.entrySize % kEntrySizeStep == 0 &&
           header.entrySize <= kMaxEntrySize && ArrayBytes(header) <= kMaxEntryArrayBytes;
}

bool ArrayInsideDisk(const GptHeader& header, std::uint32_t sectorBytes, std::uint64_t diskLbas) {
    if (header.entriesLba == 0 || header.entriesLba == header.myLba) {
        return false;
    }
    if (diskLbas == 0) {
        return true;
    }
    return header.entriesLba < diskLbas &&
           ArrayLbas(header, sectorBytes) <= diskLbas - header.entriesLba;
}

// Reads `lbaCount` logical sectors from `lba`; nothing when a read fails.
std::optional<std::vector<std::uint8_t>> ReadLbas(SectorSource& disk, std::uint64_t lba,
                                                  std::uint64_t lbaCount) {
    const std::uint32_t unit = SectorsPerUnit(disk.LogicalSectorBytes());
    const std::uint64_t first = lba * unit;
    const std::uint64_t count = lbaCount * unit;
    std::vector<std::uint8_t> bytes(SectorsToBytes(count));
    for (std::uint64_t done = 0; done < count;) {
        const auto piece =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(count - done, kReadChunkSectors));
        if (disk.ReadSectors(first + done, piece, bytes.data() + SectorsToBytes(done)) != 1) {
            return std::nullopt;
        }
        done += piece;
    }
    return bytes;
}

std::optional<std::vector<GptEntry>> ReadEntriesAt(SectorSource& disk, std::uint64_t lba,
                                                   std::uint64_t diskLbas) {
    const std::uint32_t sectorBytes = disk.LogicalSectorBytes();
    const auto sector = ReadLbas(disk, lba, 1);
    if (!sector) {
        return std::nullopt;
    }
    const auto header = ParseGptHeader(*sector, lba, sectorBytes, diskLbas);
    if (!header) {
        return std::nullopt;
    }
    const auto array = ReadLbas(disk, header->entriesLba, ArrayLbas(*header, sectorBytes));
    if (!array) {
        return std::nullopt;
    }
    return ParseGptEntries(*array, *header);
}

}  // namespace

std::optional<GptHeader> ParseGptHeader(ByteSpan sector, std::uint64_t lba,
                                        std::uint32_t sectorBytes, std::uint64_t diskLbas) {
    if (sector.size() < sectorBytes || sectorBytes < kMinHeaderSize ||
        !std::equal(kSignature.begin(), kSignature.end(), sector.begin())) {
        return std::nullopt;
    }
    const std::uint32_t headerSize = LoadLe32(sector, kHeaderSizeOffset).value_or(0);
    if (headerSize < kMinHeaderSize || headerSize > sectorBytes ||
        !HeaderCrcMatches(sector, headerSize, LoadLe32(sector, kHeaderCrcOffset).value_or(0))) {
        return std::nullopt;
    }
    GptHeader header;
    header.myLba = LoadLe64(sector, kMyLbaOffset).value_or(0);
    header.entriesLba = LoadLe64(sector, kEntriesLbaOffset).value_or(0);
    header.entryCount = LoadLe32(sector, kEntryCountOffset).value_or(0);
    header.entrySize = LoadLe32(sector, kEntrySizeOffset).value_or(0);
    header.entriesCrc = LoadLe32(sector, kEntriesCrcOffset).value_or(0);
    if (header.myLba != lba || !ArrayShapeHolds(header) ||
        !ArrayInsideDisk(header, sectorBytes, diskLbas)) {
        return std::nullopt;
    }
    return header;
}

std::optional<std::vector<GptEntry>> ParseGptEntries(ByteSpan array, const GptHeader& header) {
    if (!ArrayShapeHolds(header) || array.size() < ArrayBytes(header) ||
        Crc32(array.first(ArrayBytes(header))) != header.entriesCrc) {
        return std::nullopt;
    }
    std::vector<GptEntry> entries;
    for (std::uint32_t i = 0; i < header.entryCount; ++i) {
        const ByteSpan entry = array.subspan(std::size_t{i} * header.entrySize, header.entrySize);
        const bool used = std::any_of(entry.begin(), entry.begin() + kTypeGuidSize,
                                      [](std::uint8_t byte) { return byte != 0; });
        const GptEntry parsed{LoadLe64(entry, kFirstLbaOffset).value_or(0),
                              LoadLe64(entry, kLastLbaOffset).value_or(0)};
        if (used && parsed.firstLba <= parsed.lastLba) {
            entries.push_back(parsed);
        }
    }
    return entries;
}

std::optional<GptTable> ReadGptTable(SectorSource& disk) {
    if (!IsSupportedSectorSize(disk.LogicalSectorBytes())) {
        return std::nullopt;
    }
    const std::uint64_t diskLbas = disk.TotalSectors() / SectorsPerUnit(disk.LogicalSectorBytes());
    // A disk of unknown size has no last LBA and no bound for the entry array.
    if (diskLbas <= kPrimaryLba + 1) {
        return std::nullopt;
    }
    GptTable table;
    if (auto entries = ReadEntriesAt(disk, kPrimaryLba, diskLbas)) {
        table.entries = std::move(*entries);
        return table;
    }
    table.primaryDamaged = true;
    if (auto entries = ReadEntriesAt(disk, diskLbas - 1, diskLbas)) {
        table.entries = std::move(*entries);
        return table;
    }
    return std::nullopt;
}

}  // namespace lumarest

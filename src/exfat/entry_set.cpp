#include "exfat/entry_set.h"

#include <array>

#include "core/sector_source.h"
#include "exfat/exfat_time.h"
#include "ntfs/name_text.h"

namespace lumarest {
namespace {

constexpr std::uint8_t kEndOfDirectory = 0x00;
constexpr std::uint8_t kInUseBit = 0x80;
constexpr std::uint8_t kSecondaryBit = 0x40;
constexpr std::uint8_t kCategoryBits = kInUseBit | kSecondaryBit;
constexpr std::uint8_t kFileType = 0x05;    // 0x85 in use
constexpr std::uint8_t kStreamType = 0x40;  // 0xC0 in use
constexpr std::uint8_t kNameType = 0x41;    // 0xC1 in use
// A File entry is followed by a stream entry and 1 to 17 name entries.
constexpr std::uint8_t kMostSecondaries = 18;
constexpr std::uint8_t kFewestSecondaries = 2;

constexpr std::size_t kSecondaryCountOffset = 1;
constexpr std::size_t kSetChecksumOffset = 2;
constexpr std::size_t kAttributesOffset = 4;
constexpr std::size_t kCreatedOffset = 8;
constexpr std::size_t kModifiedOffset = 12;
constexpr std::size_t kCreatedTenMsOffset = 20;
constexpr std::size_t kModifiedTenMsOffset = 21;
constexpr std::size_t kCreatedUtcOffset = 22;
constexpr std::size_t kModifiedUtcOffset = 23;

constexpr std::size_t kStreamFlagsOffset = 1;
constexpr std::uint8_t kNoFatChainFlag = 0x02;
constexpr std::size_t kNameLengthOffset = 3;
constexpr std::size_t kValidLengthOffset = 8;
constexpr std::size_t kFirstClusterOffset = 20;
constexpr std::size_t kDataLengthOffset = 24;

constexpr std::size_t kNameUnitsOffset = 2;
constexpr std::size_t kUnitsPerNameEntry = 15;
constexpr std::size_t kUnitBytes = 2;
constexpr std::size_t kMostNameUnits = 255;

std::uint8_t TypeAt(ByteSpan bytes, std::size_t at) {
    return LoadLe8(bytes, at).value_or(kEndOfDirectory);
}

bool IsFileEntry(std::uint8_t type) {
    return (type & static_cast<std::uint8_t>(~kInUseBit)) == kFileType;
}

// A secondary entry of a set whose in-use state is `deleted`.
bool IsSecondaryOf(std::uint8_t type, bool deleted) {
    return (type & kCategoryBits) == (deleted ? kSecondaryBit : kCategoryBits);
}

std::optional<std::int64_t> StampAt(ByteSpan file, std::size_t stampAt, std::size_t tenMsAt,
                                    std::size_t offsetAt) {
    return ExFatTimeSeconds(*LoadLe32(file, stampAt), *LoadLe8(file, tenMsAt),
                            *LoadLe8(file, offsetAt));
}

void ReadFileEntry(ByteSpan file, ExFatEntrySet& set) {
    set.attributes = *LoadLe16(file, kAttributesOffset);
    set.folder = (set.attributes & kExFatDirectoryAttribute) != 0;
    set.created = StampAt(file, kCreatedOffset, kCreatedTenMsOffset, kCreatedUtcOffset);
    set.modified = StampAt(file, kModifiedOffset, kModifiedTenMsOffset, kModifiedUtcOffset);
}

void ReadStreamEntry(ByteSpan stream, ExFatEntrySet& set) {
    set.contiguous = (*LoadLe8(stream, kStreamFlagsOffset) & kNoFatChainFlag) != 0;
    set.validDataLength = *LoadLe64(stream, kValidLengthOffset);
    set.firstCluster = *LoadLe32(stream, kFirstClusterOffset);
    set.dataLength = *LoadLe64(stream, kDataLengthOffset);
}

// The set starting with the File entry at `at`; gives the entries it spans (at least the File
// entry) and fills `set` when its stream entry is there.
std::size_t ReadSetAt(ByteSpan bytes, std::size_t at, ExFatEntrySet& set, bool& listable) {
    const bool deleted = (TypeAt(bytes, at) & kInUseBit) == 0;
    const std::uint8_t declared = *LoadLe8(bytes, at + kSecondaryCountOffset);
    const std::size_t secondaries = std::min(declared, kMostSecondaries);
    std::array<std::uint8_t, kMostNameUnits * kUnitBytes> units{};
    std::size_t unitBytes = 0;
    std::size_t nameLength = 0;
    listable = false;
    std::size_t spanned = 1;
    for (; spanned <= secondaries; ++spanned) {
        const ByteSpan entry = SliceOrEmpty(bytes, at + spanned * kExFatEntrySize, kExFatEntrySize);
        if (entry.empty() || !IsSecondaryOf(entry[0], deleted)) {
            break;
        }
        const std::uint8_t kind = entry[0] & static_cast<std::uint8_t>(~kInUseBit);
        if (spanned == 1) {
            if (kind != kStreamType) {
                break;
            }
            ReadStreamEntry(entry, set);
            nameLength = *LoadLe8(entry, kNameLengthOffset);
            listable = true;
        } else if (kind == kNameType && unitBytes < nameLength * kUnitBytes) {
            const std::size_t take =
                std::min(kUnitsPerNameEntry * kUnitBytes, nameLength * kUnitBytes - unitBytes);
            std::copy_n(entry.begin() + kNameUnitsOffset, take, units.begin() + unitBytes);
            unitBytes += take;
        }
    }
    if (!listable) {
        return 1;
    }
    set.deleted = deleted;
    const ByteSpan file = bytes.subspan(at, kExFatEntrySize);
    ReadFileEntry(file, set);
    set.name = Utf16LeToUtf8(ByteSpan(units.data(), unitBytes), unitBytes / kUnitBytes);
    set.checksumGood = declared >= kFewestSecondaries && declared <= kMostSecondaries &&
                       spanned == std::size_t{declared} + 1 &&
                       EntrySetChecksum(bytes.subspan(at, spanned * kExFatEntrySize)) ==
                           *LoadLe16(file, kSetChecksumOffset);
    return spanned;
}

}  // namespace

std::uint16_t EntrySetChecksum(ByteSpan set) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == kSetChecksumOffset || i == kSetChecksumOffset + 1) {
            continue;
        }
        const std::uint8_t byte =
            i % kExFatEntrySize == 0 ? static_cast<std::uint8_t>(set[i] | kInUseBit) : set[i];
        sum = static_cast<std::uint16_t>(((sum & 1) != 0 ? 0x8000u : 0u) + (sum >> 1) + byte);
    }
    return sum;
}

std::vector<ExFatEntrySet> ParseExFatEntrySets(ByteSpan bytes, const EntrySectorOf& sectorOf) {
    std::vector<ExFatEntrySet> sets;
    std::size_t at = 0;
    while (at + kExFatEntrySize <= bytes.size()) {
        const std::uint8_t type = bytes[at];
        if (type == kEndOfDirectory) {
            break;
        }
        if (!IsFileEntry(type)) {
            at += kExFatEntrySize;
            continue;
        }
        ExFatEntrySet set;
        bool listable = false;
        const std::size_t spanned = ReadSetAt(bytes, at, set, listable);
        if (listable) {
            set.entrySector = sectorOf(at);
            set.entryOffset = static_cast<std::uint32_t>(at % kSectorSize);
            sets.push_back(std::move(set));
        }
        at += spanned * kExFatEntrySize;
    }
    return sets;
}

}  // namespace lumarest

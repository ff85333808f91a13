#include "ntfs/mft_record.h"

#include <algorithm>
#include <cstring>

#include "core/sector_source.h"

namespace lumarest {

namespace {

constexpr std::array<std::uint8_t, 4> kFileSignature{'F', 'I', 'L', 'E'};
constexpr std::size_t kUpdateSequenceOffsetField = 4;
constexpr std::size_t kUpdateSequenceCountField = 6;
constexpr std::size_t kSequenceNumberField = 16;
constexpr std::size_t kFirstAttributeField = 20;
constexpr std::size_t kFlagsField = 22;
constexpr std::size_t kAllocatedSizeField = 28;
constexpr std::size_t kOwnNumberField = 44;
constexpr std::size_t kOwnNumberEnd = kOwnNumberField + 4;
constexpr std::size_t kSequenceEntryBytes = 2;

}  // namespace

bool MftRecordHeader::HasOwnNumber() const {
    return updateSequenceOffset >= kOwnNumberEnd;
}

bool HasFileSignature(ByteSpan record) {
    return record.size() >= kFileSignature.size() &&
           std::equal(kFileSignature.begin(), kFileSignature.end(), record.begin());
}

std::optional<MftRecordHeader> ParseMftRecordHeader(ByteSpan record) {
    if (!HasFileSignature(record)) {
        return std::nullopt;
    }
    const auto usaOffset = LoadLe16(record, kUpdateSequenceOffsetField);
    const auto usaCount = LoadLe16(record, kUpdateSequenceCountField);
    const auto firstAttribute = LoadLe16(record, kFirstAttributeField);
    const auto flags = LoadLe8(record, kFlagsField);
    if (!usaOffset || !usaCount || !firstAttribute || !flags) {
        return std::nullopt;
    }
    MftRecordHeader header;
    header.updateSequenceOffset = *usaOffset;
    header.updateSequenceCount = *usaCount;
    header.firstAttributeOffset = *firstAttribute;
    header.flags = *flags;
    header.sequenceNumber = LoadLe16(record, kSequenceNumberField).value_or(0);
    header.allocatedSize = LoadLe32(record, kAllocatedSizeField).value_or(0);
    header.ownNumber = LoadLe32(record, kOwnNumberField).value_or(0);
    return header;
}

FixupResult ApplyFixup(std::span<std::uint8_t> record) {
    FixupResult result;
    const ByteSpan bytes(record.data(), record.size());
    const auto usaOffset = LoadLe16(bytes, kUpdateSequenceOffsetField);
    const auto usaCount = LoadLe16(bytes, kUpdateSequenceCountField);
    if (!usaOffset || !usaCount || *usaCount < 2) {
        return result;
    }
    const std::size_t checkOffset = *usaOffset;
    const auto checkValue = LoadLe16(bytes, checkOffset);
    if (!checkValue) {
        return result;
    }
    // The count comes from the disk; the buffer's sectors bound it.
    const std::size_t sectorsInBuffer = record.size() / kSectorSize;
    const std::size_t lastSector = std::min<std::size_t>(*usaCount - 1u, sectorsInBuffer);
    for (std::size_t i = 1; i <= lastSector; ++i) {
        const std::size_t entryOffset = checkOffset + kSequenceEntryBytes * i;
        if (entryOffset + kSequenceEntryBytes > record.size()) {
            break;
        }
        const std::size_t sectorEnd = kSectorSize * i - kSequenceEntryBytes;
        if (LoadLe16(bytes, sectorEnd) != checkValue) {
            ++result.mismatchedSectors;
        }
        std::memmove(record.data() + sectorEnd, record.data() + entryOffset, kSequenceEntryBytes);
        ++result.sectorsRestored;
    }
    return result;
}

bool ReadMftRecord(SectorSource& source, std::uint64_t sector, MftRecordBuffer& record) {
    record.fill(0);
    if (source.ReadSectors(sector, record.Sectors(), record.data()) == 0) {
        return false;
    }
    if (!HasFileSignature(record)) {
        return false;
    }
    ApplyFixup(record);
    return true;
}

}  // namespace lumarest

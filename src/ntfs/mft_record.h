#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "core/le_bytes.h"
#include "core/sector_source.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest {

class SectorSource;

// The bytes of one file record: room for the largest record handled, of which the record's
// own size is used. Every reader sees only that size.
class MftRecordBuffer {
  public:
    MftRecordBuffer() = default;  // 1024 bytes
    // A size that is not handled gets 1024 bytes.
    explicit MftRecordBuffer(std::uint32_t recordSectors)
        : size_(std::size_t{UsableRecordSectors(recordSectors)} * kSectorSize) {}

    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::size_t size() const { return size_; }
    std::uint32_t Sectors() const { return static_cast<std::uint32_t>(size_ / kSectorSize); }
    std::uint8_t* begin() { return bytes_.data(); }
    std::uint8_t* end() { return bytes_.data() + size_; }
    const std::uint8_t* begin() const { return bytes_.data(); }
    const std::uint8_t* end() const { return bytes_.data() + size_; }
    std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
    std::uint8_t operator[](std::size_t i) const { return bytes_[i]; }
    void fill(std::uint8_t value) { std::fill(begin(), end(), value); }

  private:
    std::array<std::uint8_t, std::size_t{kMaxMftRecordSectors} * kSectorSize> bytes_{};
    std::size_t size_ = kMftRecordBytes;
};

// Flags byte of the record header.
inline constexpr std::uint8_t kRecordInUse = 0x01;
inline constexpr std::uint8_t kRecordIsDirectory = 0x02;

struct MftRecordHeader {
    std::uint16_t updateSequenceOffset = 0;
    std::uint16_t updateSequenceCount = 0;  // the check value included
    std::uint16_t sequenceNumber = 0;       // changes each time the record is given to another file
    std::uint16_t firstAttributeOffset = 0;
    std::uint8_t flags = 0;
    std::uint32_t allocatedSize = 0;
    std::uint32_t ownNumber = 0;  // meaningless in records of the older layout

    // Records of the older layout keep their update sequence where the number would be.
    bool HasOwnNumber() const;
};

bool HasFileSignature(ByteSpan record);

// The header of a record that starts with "FILE"; nothing for anything else.
std::optional<MftRecordHeader> ParseMftRecordHeader(ByteSpan record);

struct FixupResult {
    std::uint32_t sectorsRestored = 0;
    // Sectors whose last two bytes did not hold the check value: written while the record
    // was being changed. Their bytes are restored all the same; the rest may still be good.
    std::uint32_t mismatchedSectors = 0;
};

// Puts back the last two bytes of every 512-byte sector of `record` from its update sequence
// array. Entries that lie outside the buffer and sectors past its end are left alone.
FixupResult ApplyFixup(std::span<std::uint8_t> record);

// Reads the record at `sector` into `record` (zeroed first), as many sectors as its size, and
// fixes it up. False when the
// sectors cannot be read or do not hold a file record.
bool ReadMftRecord(SectorSource& source, std::uint64_t sector, MftRecordBuffer& record);

}  // namespace lumarest

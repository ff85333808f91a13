#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "core/le_bytes.h"

namespace lumarest {

class SectorSource;

// A file record is always handled as two sectors, whatever size the boot sector names.
inline constexpr std::size_t kMftRecordBytes = 1024;
inline constexpr std::uint32_t kMftRecordSectors = 2;

using MftRecordBuffer = std::array<std::uint8_t, kMftRecordBytes>;

// Flags byte of the record header.
inline constexpr std::uint8_t kRecordInUse = 0x01;
inline constexpr std::uint8_t kRecordIsDirectory = 0x02;

struct MftRecordHeader {
    std::uint16_t updateSequenceOffset = 0;
    std::uint16_t updateSequenceCount = 0;  // the check value included
    std::uint16_t firstAttributeOffset = 0;
    std::uint8_t flags = 0;
    std::uint32_t allocatedSize = 0;
    std::uint32_t ownNumber = 0;  // meaningless in records of the older layout
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

// Reads the record at `sector` into `record` (zeroed first) and fixes it up. False when the
// sectors cannot be read or do not hold a file record.
bool ReadMftRecord(SectorSource& source, std::uint64_t sector, MftRecordBuffer& record);

}  // namespace lumarest

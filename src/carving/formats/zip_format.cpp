#include <string.h>

#include <string_view>

#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::string_view kLocalHeader{"PK\x03\x04", 4};
constexpr std::string_view kCentralHeader{"PK\x01\x02", 4};
constexpr std::string_view kEndRecord{"PK\x05\x06", 4};
constexpr std::string_view kZip64Locator{"PK\x06\x07", 4};
constexpr std::string_view kZip64EndRecord{"PK\x06\x06", 4};
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::uint64_t kZip64RecordLead = 12;  // signature and size field
constexpr std::uint32_t kZip64Marker32 = 0xFFFFFFFF;
constexpr std::uint16_t kZip64Marker16 = 0xFFFF;

// The central directory the ZIP64 end records name, when they agree with the end record at
// `end`: its offset and size in 64 bits.
bool Zip64Agrees(ByteSpan bytes, std::uint64_t end) {
    if (end < kZip64LocatorSize) {
        return false;
    }
    const auto locator = static_cast<std::size_t>(end - kZip64LocatorSize);
    const auto recordAt = LoadLe64(bytes, locator + 8);
    if (!SpellsAt(bytes, locator, kZip64Locator) || !recordAt || *recordAt >= locator ||
        !SpellsAt(bytes, static_cast<std::size_t>(*recordAt), kZip64EndRecord)) {
        return false;
    }
    const auto record = static_cast<std::size_t>(*recordAt);
    const auto recordSize = LoadLe64(bytes, record + 4);
    const auto cdSize = LoadLe64(bytes, record + 40);
    const auto cdOffset = LoadLe64(bytes, record + 48);
    return recordSize && cdSize && cdOffset && *recordSize <= locator &&
           record + kZip64RecordLead + *recordSize == locator && *cdOffset <= record &&
           record - *cdOffset == *cdSize;
}

// The end record at `at` closes the archive that starts at bytes[0]: one disk, and its
// central directory ends right where the end records begin.
bool EndRecordAgrees(ByteSpan bytes, std::size_t at) {
    const auto disk = LoadLe16(bytes, at + 4);
    const auto cdDisk = LoadLe16(bytes, at + 6);
    const auto entriesHere = LoadLe16(bytes, at + 8);
    const auto entries = LoadLe16(bytes, at + 10);
    const auto cdSize = LoadLe32(bytes, at + 12);
    const auto cdOffset = LoadLe32(bytes, at + 16);
    if (!disk || !cdDisk || !entriesHere || !entries || !cdSize || !cdOffset) {
        return false;
    }
    if (*cdSize == kZip64Marker32 || *cdOffset == kZip64Marker32 || *entries == kZip64Marker16) {
        return Zip64Agrees(bytes, at);
    }
    if (*disk != 0 || *cdDisk != 0 || *entriesHere != *entries ||
        std::uint64_t{*cdOffset} + *cdSize != at) {
        return false;
    }
    return *entries == 0 || SpellsAt(bytes, *cdOffset, kCentralHeader);
}

bool LocalHeaderHolds(ByteSpan bytes) {
    const auto nameLength = LoadLe16(bytes, 26);
    return SpellsAt(bytes, 0, kLocalHeader) && nameLength && *nameLength > 0;
}

// The end of the end-of-central-directory record and its comment: the first such record whose
// directory offset and size agree with an archive starting at bytes[0].
FormatEnd ZipEnd(ByteSpan bytes) {
    if (!LocalHeaderHolds(bytes)) {
        return NotThisFormat();
    }
    const auto* data = bytes.data();
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const void* found =
            ::memmem(data + pos, bytes.size() - pos, kEndRecord.data(), kEndRecord.size());
        if (found == nullptr) {
            break;
        }
        const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
        if (EndRecordAgrees(bytes, at)) {
            const auto comment = LoadLe16(bytes, at + 20);
            if (!comment) {
                return CutShort();
            }
            return EndAt(at + kEndRecordSize + *comment, bytes.size());
        }
        pos = at + 1;
    }
    return CutShort();
}

}  // namespace

const CarvedFormat kZipFormat{nullptr, ZipEnd, false};

}  // namespace lumarest

#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::uint8_t kManufacturer = 0x0A;
constexpr std::uint8_t kRunLengthEncoding = 1;
constexpr std::size_t kHeaderSize = 128;
constexpr std::uint8_t kRunFlag = 0xC0;
constexpr std::uint8_t kRunCountMask = 0x3F;
constexpr std::uint8_t kPaletteMarker = 0x0C;
constexpr std::size_t kPaletteSize = 768;
constexpr std::uint8_t kMaxPlanes = 4;
constexpr std::uint16_t kMaxPaletteType = 2;

struct PcxHeader {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint8_t bitsPerPixel = 0;
    std::uint8_t planes = 0;
    std::uint16_t bytesPerLine = 0;
};

// The header's fields agree: version, encoding, depth, window, planes and line length.
std::optional<PcxHeader> ReadPcxHeader(ByteSpan bytes) {
    const ByteSpan h = SliceOrEmpty(bytes, 0, 70);
    if (h.empty() || h[0] != kManufacturer || h[2] != kRunLengthEncoding) {
        return std::nullopt;
    }
    const std::uint8_t version = h[1];
    const std::uint8_t bits = h[3];
    const auto xMin = *LoadLe16(h, 4);
    const auto yMin = *LoadLe16(h, 6);
    const auto xMax = *LoadLe16(h, 8);
    const auto yMax = *LoadLe16(h, 10);
    const std::uint8_t reserved = h[64];
    const std::uint8_t planes = h[65];
    const auto bytesPerLine = *LoadLe16(h, 66);
    const auto paletteType = *LoadLe16(h, 68);
    if ((version != 0 && version != 2 && version != 3 && version != 4 && version != 5) ||
        (bits != 1 && bits != 2 && bits != 4 && bits != 8) || xMax < xMin || yMax < yMin ||
        reserved != 0 || planes == 0 || planes > kMaxPlanes || paletteType > kMaxPaletteType) {
        return std::nullopt;
    }
    PcxHeader header;
    header.width = std::uint64_t{xMax} - xMin + 1;
    header.height = std::uint64_t{yMax} - yMin + 1;
    header.bitsPerPixel = bits;
    header.planes = planes;
    header.bytesPerLine = bytesPerLine;
    if (bytesPerLine == 0 || std::uint64_t{bytesPerLine} * 8 < header.width * bits) {
        return std::nullopt;
    }
    return header;
}

bool PcxHeaderHolds(ByteSpan head) {
    return ReadPcxHeader(head).has_value();
}

// The run-length data decodes to every line of every plane; a 256-colour file adds its palette.
FormatEnd PcxEnd(ByteSpan bytes) {
    const auto header = ReadPcxHeader(bytes);
    if (!header) {
        return NotThisFormat();
    }
    const std::uint64_t wanted = header->height * header->planes * header->bytesPerLine;
    std::uint64_t decoded = 0;
    std::size_t pos = kHeaderSize;
    while (decoded < wanted) {
        if (pos >= bytes.size()) {
            return CutShort();
        }
        const std::uint8_t b = bytes[pos++];
        if ((b & kRunFlag) == kRunFlag) {
            decoded += b & kRunCountMask;
            ++pos;  // the repeated byte
        } else {
            ++decoded;
        }
    }
    if (pos > bytes.size()) {
        return CutShort();
    }
    if (header->bitsPerPixel == 8 && header->planes == 1) {
        if (pos >= bytes.size()) {
            return CutShort();
        }
        if (bytes[pos] == kPaletteMarker) {
            return EndAt(pos + 1 + kPaletteSize, bytes.size());
        }
    }
    return {EndKind::Found, pos};
}

}  // namespace

const CarvedFormat kPcxFormat{PcxHeaderHolds, PcxEnd, true};

}  // namespace lumarest

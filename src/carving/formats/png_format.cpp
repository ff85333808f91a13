#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::string_view kPngSignature{"\x89PNG\r\n\x1a\n", 8};
constexpr std::size_t kChunkFrame = 12;  // length, type, CRC
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr std::uint32_t kIhdrLength = 13;

bool IsChunkTypeByte(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool ChunkTypeHolds(ByteSpan bytes, std::size_t at) {
    const ByteSpan type = SliceOrEmpty(bytes, at, 4);
    if (type.empty()) {
        return false;
    }
    for (const std::uint8_t c : type) {
        if (!IsChunkTypeByte(c)) {
            return false;
        }
    }
    return true;
}

// The first chunk is always a 13-byte IHDR.
bool PngHeaderHolds(ByteSpan head) {
    return SpellsAt(head, 0, kPngSignature) &&
           LoadBe32(head, kPngSignature.size()) == kIhdrLength &&
           SpellsAt(head, kPngSignature.size() + 4, "IHDR");
}

// Chunks by their lengths to IEND and its CRC.
FormatEnd PngEnd(ByteSpan bytes) {
    if (!PngHeaderHolds(bytes)) {
        return NotThisFormat();
    }
    const std::uint64_t size = bytes.size();
    std::uint64_t pos = kPngSignature.size();
    // Each chunk takes at least 12 bytes, so the bytes bound the walk.
    while (true) {
        const auto length = LoadBe32(bytes, static_cast<std::size_t>(pos));
        if (!length || pos + 8 > size) {
            return CutShort();
        }
        if (*length > kMaxChunkLength ||
            !ChunkTypeHolds(bytes, static_cast<std::size_t>(pos + 4))) {
            return NotThisFormat();
        }
        const bool last = SpellsAt(bytes, static_cast<std::size_t>(pos + 4), "IEND");
        pos += kChunkFrame + *length;
        if (last) {
            return EndAt(pos, size);
        }
        if (pos >= size) {
            return CutShort();
        }
    }
}

}  // namespace

const CarvedFormat kPngFormat{PngHeaderHolds, PngEnd, true};

}  // namespace lumarest

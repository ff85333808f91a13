#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::uint8_t kMinVersion = 2;
constexpr std::uint8_t kMaxVersion = 4;
constexpr std::uint8_t kNoRevision = 0xFF;
constexpr std::uint8_t kSyncsafeLimit = 0x80;

// Flags each version leaves unused: they are zero in a real tag.
std::uint8_t UnusedFlags(std::uint8_t version) {
    switch (version) {
        case 2:
            return 0x3F;
        case 3:
            return 0x1F;
        default:
            return 0x0F;
    }
}

// An ID3v2 tag header (an MP3 file's usual start): "ID3" alone is too short a signature.
bool Id3HeaderHolds(ByteSpan head) {
    const ByteSpan header = SliceOrEmpty(head, 0, 10);
    if (header.empty() || !SpellsAt(header, 0, "ID3")) {
        return false;
    }
    const std::uint8_t version = header[3];
    const std::uint8_t revision = header[4];
    const std::uint8_t flags = header[5];
    if (version < kMinVersion || version > kMaxVersion || revision == kNoRevision ||
        (flags & UnusedFlags(version)) != 0) {
        return false;
    }
    for (std::size_t i = 6; i < 10; ++i) {
        if (header[i] >= kSyncsafeLimit) {
            return false;
        }
    }
    return true;
}

}  // namespace

const CarvedFormat kId3Format{Id3HeaderHolds, nullptr, false};

}  // namespace lumarest

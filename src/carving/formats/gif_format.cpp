#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kScreenDescriptorSize = 7;
constexpr std::size_t kImageDescriptorSize = 10;  // with its separator
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kColourTableFlag = 0x80;
constexpr std::uint8_t kMinLzwCodeSize = 1;
constexpr std::uint8_t kMaxLzwCodeSize = 11;

std::uint64_t ColourTableBytes(std::uint8_t packed) {
    if ((packed & kColourTableFlag) == 0) {
        return 0;
    }
    return 3ULL << ((packed & 0x07) + 1);
}

bool GifHeaderHolds(ByteSpan head) {
    return SpellsAt(head, 0, "GIF87a") || SpellsAt(head, 0, "GIF89a");
}

enum class Walk { Done, CutShort };

// Steps over a run of data sub-blocks up to and past its zero-length terminator.
Walk SkipSubBlocks(ByteSpan bytes, std::uint64_t& pos) {
    const std::uint64_t size = bytes.size();
    while (pos < size) {
        const std::uint8_t length = bytes[static_cast<std::size_t>(pos)];
        pos += 1 + std::uint64_t{length};
        if (length == 0) {
            return Walk::Done;
        }
    }
    return Walk::CutShort;
}

// Header, logical screen and its colour table, then images and extensions to the trailer.
FormatEnd GifEnd(ByteSpan bytes) {
    if (!GifHeaderHolds(bytes)) {
        return NotThisFormat();
    }
    const std::uint64_t size = bytes.size();
    const auto screenFlags = LoadLe8(bytes, kHeaderSize + 4);
    if (!screenFlags) {
        return CutShort();
    }
    std::uint64_t pos = kHeaderSize + kScreenDescriptorSize + ColourTableBytes(*screenFlags);
    bool sawImage = false;
    // Every block moves at least one byte on, so the bytes bound the walk.
    while (pos < size) {
        const std::uint8_t introducer = bytes[static_cast<std::size_t>(pos)];
        if (introducer == kTrailer) {
            // A file with no image is no picture: chance bytes, far likelier than such a GIF.
            return sawImage ? FormatEnd{EndKind::Found, pos + 1} : NotThisFormat();
        }
        if (introducer == kImageSeparator) {
            const auto flags = LoadLe8(bytes, static_cast<std::size_t>(pos + 9));
            if (!flags) {
                return CutShort();
            }
            pos += kImageDescriptorSize + ColourTableBytes(*flags);
            if (pos >= size) {
                return CutShort();
            }
            const std::uint8_t codeSize = bytes[static_cast<std::size_t>(pos)];
            if (codeSize < kMinLzwCodeSize || codeSize > kMaxLzwCodeSize) {
                return NotThisFormat();
            }
            ++pos;
            sawImage = true;
        } else if (introducer == kExtensionIntroducer) {
            pos += 2;  // introducer and label
        } else {
            return NotThisFormat();
        }
        if (SkipSubBlocks(bytes, pos) == Walk::CutShort) {
            return CutShort();
        }
    }
    return CutShort();
}

}  // namespace

const CarvedFormat kGifFormat{GifHeaderHolds, GifEnd, true};

}  // namespace lumarest

#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit width and height
constexpr std::uint32_t kDibHeaderSizes[] = {12, 40, 52, 56, 64, 108, 124};
constexpr std::uint16_t kBitDepths[] = {1, 4, 8, 16, 24, 32};
constexpr std::int64_t kMaxSide = 1 << 20;
// Compression: RGB, RLE8, RLE4, bit fields, JPEG, PNG, alpha bit fields, and the CMYK forms.
constexpr std::uint32_t kCompressions[] = {0, 1, 2, 3, 4, 5, 6, 11, 12, 13};
constexpr std::uint32_t kJpegCompression = 4;
constexpr std::uint32_t kPngCompression = 5;

template <typename T, std::size_t N>
bool OneOf(T value, const T (&allowed)[N]) {
    for (const T a : allowed) {
        if (a == value) {
            return true;
        }
    }
    return false;
}

// The file header and DIB header agree with each other and with a picture of sane size: "BM"
// alone is far too short a signature to trust.
bool BmpHeaderHolds(ByteSpan head) {
    if (!SpellsAt(head, 0, "BM")) {
        return false;
    }
    const auto fileSize = LoadLe32(head, 2);
    const auto reserved = LoadLe32(head, 6);
    const auto pixelOffset = LoadLe32(head, 10);
    const auto dibSize = LoadLe32(head, kFileHeaderSize);
    if (!fileSize || !reserved || !pixelOffset || !dibSize || *reserved != 0 ||
        !OneOf(*dibSize, kDibHeaderSizes)) {
        return false;
    }
    const std::uint64_t headers = kFileHeaderSize + std::uint64_t{*dibSize};
    if (*fileSize < headers || *pixelOffset < headers || *pixelOffset >= *fileSize) {
        return false;
    }
    const std::size_t dib = kFileHeaderSize;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::optional<std::uint16_t> planes;
    std::optional<std::uint16_t> depth;
    std::uint32_t compression = 0;
    if (*dibSize == kCoreHeaderSize) {
        const auto w = LoadLe16(head, dib + 4);
        const auto h = LoadLe16(head, dib + 6);
        if (!w || !h) {
            return false;
        }
        width = *w;
        height = *h;
        planes = LoadLe16(head, dib + 8);
        depth = LoadLe16(head, dib + 10);
    } else {
        const auto w = LoadLe32(head, dib + 4);
        const auto h = LoadLe32(head, dib + 8);
        const auto c = LoadLe32(head, dib + 16);
        if (!w || !h || !c) {
            return false;
        }
        width = static_cast<std::int32_t>(*w);
        height = static_cast<std::int32_t>(*h);  // negative: rows stored top down
        planes = LoadLe16(head, dib + 12);
        depth = LoadLe16(head, dib + 14);
        compression = *c;
    }
    if (width <= 0 || width > kMaxSide || height == 0 || height > kMaxSide || height < -kMaxSide ||
        planes != 1 || !depth || !OneOf(compression, kCompressions)) {
        return false;
    }
    // A JPEG or PNG inside leaves the bit depth to the embedded picture.
    const bool embedded = compression == kJpegCompression || compression == kPngCompression;
    return OneOf(*depth, kBitDepths) || (embedded && *depth == 0);
}

FormatEnd BmpEnd(ByteSpan bytes) {
    if (!BmpHeaderHolds(bytes)) {
        return NotThisFormat();
    }
    return EndAt(*LoadLe32(bytes, 2), bytes.size());
}

}  // namespace

const CarvedFormat kBmpFormat{BmpHeaderHolds, BmpEnd, true};

}  // namespace lumarest

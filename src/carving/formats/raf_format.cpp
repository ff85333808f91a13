#include <algorithm>

#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

// Fujifilm's raw picture: a header naming, in big-endian offsets and lengths from the file's
// start, its JPEG preview, the sensor data's header and the sensor data.
namespace lumarest {
namespace {

constexpr std::string_view kMagic = "FUJIFILMCCD-RAW ";
constexpr std::size_t kPiecesAt = 84;
constexpr std::size_t kPieces = 3;
constexpr std::size_t kHeaderBytes = kPiecesAt + kPieces * 8;
// No raw picture is larger: a header that says so is none.
constexpr std::uint64_t kMostRafBytes = 1ull << 30;

bool RafHeaderHolds(ByteSpan head) {
    return SpellsAt(head, 0, kMagic) && head.size() >= kHeaderBytes;
}

// The end of the furthest piece the header names.
FormatEnd RafEnd(ByteSpan bytes) {
    if (!SpellsAt(bytes, 0, kMagic)) {
        return NotThisFormat();
    }
    if (bytes.size() < kHeaderBytes) {
        return CutShort();
    }
    std::uint64_t end = kHeaderBytes;
    for (std::size_t piece = 0; piece < kPieces; ++piece) {
        const std::uint64_t offset = *LoadBe32(bytes, kPiecesAt + piece * 8);
        const std::uint64_t length = *LoadBe32(bytes, kPiecesAt + piece * 8 + 4);
        if (length != 0) {
            end = std::max(end, offset + length);
        }
    }
    if (end > kMostRafBytes) {
        return NotThisFormat();
    }
    if (end > bytes.size()) {
        return {EndKind::PastBytes, end};
    }
    return EndAt(end, bytes.size());
}

}  // namespace

const CarvedFormat kRafFormat{RafHeaderHolds, RafEnd, true, nullptr};

}  // namespace lumarest

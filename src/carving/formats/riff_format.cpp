#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::size_t kMaxExtensions = 1024;

bool IsFormTypeByte(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ';
}

bool RiffChunkAt(ByteSpan bytes, std::size_t at) {
    const ByteSpan form = SliceOrEmpty(bytes, at + 8, 4);
    if (!SpellsAt(bytes, at, "RIFF") || form.empty() || !LoadLe32(bytes, at + 4)) {
        return false;
    }
    for (const std::uint8_t c : form) {
        if (!IsFormTypeByte(c)) {
            return false;
        }
    }
    return *LoadLe32(bytes, at + 4) >= 4;
}

bool RiffHeaderHolds(ByteSpan head) {
    return RiffChunkAt(head, 0);
}

std::uint64_t ChunkEnd(ByteSpan bytes, std::uint64_t at) {
    const std::uint64_t size = *LoadLe32(bytes, static_cast<std::size_t>(at + 4));
    return at + 8 + size + (size & 1);
}

// 8 + the RIFF size, padded to even. An AVI over 1 GiB goes on in further RIFF "AVIX" chunks.
FormatEnd RiffEnd(ByteSpan bytes) {
    if (!RiffHeaderHolds(bytes)) {
        return NotThisFormat();
    }
    std::uint64_t end = ChunkEnd(bytes, 0);
    if (SpellsAt(bytes, 8, "AVI ")) {
        for (std::size_t i = 0; i < kMaxExtensions && end < bytes.size(); ++i) {
            const auto at = static_cast<std::size_t>(end);
            if (!RiffChunkAt(bytes, at) || !SpellsAt(bytes, at + 8, "AVIX")) {
                break;
            }
            end = ChunkEnd(bytes, at);
        }
    }
    return EndAt(end, bytes.size());
}

}  // namespace

const CarvedFormat kRiffFormat{RiffHeaderHolds, RiffEnd, false};
const CarvedFormat kRiffPictureFormat{RiffHeaderHolds, RiffEnd, true};

}  // namespace lumarest

#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::size_t kPageHeaderSize = 27;
constexpr std::uint8_t kStreamVersion = 0;
constexpr std::uint8_t kHeaderTypeMask = 0x07;  // continued, first, last page of a stream
constexpr std::uint8_t kContinued = 0x01;
constexpr std::uint8_t kFirstPage = 0x02;
constexpr std::uint8_t kLastPage = 0x04;
constexpr std::size_t kSequenceAt = 18;

bool PageHeaderHolds(ByteSpan bytes, std::size_t at) {
    const auto version = LoadLe8(bytes, at + 4);
    const auto type = LoadLe8(bytes, at + 5);
    return SpellsAt(bytes, at, "OggS") && version == kStreamVersion && type &&
           (*type & ~kHeaderTypeMask) == 0;
}

// A stream opens with its first page: flagged so, not a continuation, sequence number zero.
bool OggHeaderHolds(ByteSpan head) {
    return PageHeaderHolds(head, 0) && (head[5] & kContinued) == 0 && (head[5] & kFirstPage) != 0 &&
           LoadLe32(head, kSequenceAt) == 0u;
}

// The bytes from `at` could be the start of a page cut off by the end of the bytes.
bool PartialPage(ByteSpan bytes, std::size_t at) {
    const std::size_t left = bytes.size() - at;
    return left < kPageHeaderSize && SpellsAt(bytes, at, std::string_view("OggS").substr(0, left));
}

// Pages lie back to back; the stream ends where the next bytes are not a page.
FormatEnd OggEnd(ByteSpan bytes) {
    if (!OggHeaderHolds(bytes)) {
        return NotThisFormat();
    }
    std::size_t pos = 0;
    bool ended = false;  // the last page read closes its stream
    // Each page takes at least 27 bytes, so the bytes bound the walk.
    while (pos < bytes.size()) {
        if (!PageHeaderHolds(bytes, pos)) {
            // Pages stop: the stream is whole when its last page said so.
            const bool whole = ended && !PartialPage(bytes, pos);
            return whole ? FormatEnd{EndKind::Found, pos} : CutShort();
        }
        const auto segments = LoadLe8(bytes, pos + 26);
        const ByteSpan table = SliceOrEmpty(bytes, pos + kPageHeaderSize, segments.value_or(0));
        if (!segments || (table.empty() && *segments != 0)) {
            return CutShort();
        }
        ended = (bytes[pos + 5] & kLastPage) != 0;
        std::size_t body = 0;
        for (const std::uint8_t lacing : table) {
            body += lacing;
        }
        pos += kPageHeaderSize + table.size() + body;
    }
    // Pages that fill the bytes exactly may go on past them unless the last one closed its stream.
    return pos == bytes.size() && ended ? FormatEnd{EndKind::Found, pos} : CutShort();
}

}  // namespace

const CarvedFormat kOggFormat{OggHeaderHolds, OggEnd, false};

}  // namespace lumarest

#include <algorithm>
#include <optional>

#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

// Matroska and WebM: an EBML header element, then one Segment element holding the rest. An
// element is its ID and its size, each a variable-length number whose first byte's leading
// zeros say how many bytes follow.
namespace lumarest {
namespace {

constexpr std::uint32_t kEbmlId = 0x1A45DFA3;
constexpr std::uint32_t kSegmentId = 0x18538067;
constexpr std::uint32_t kDocTypeId = 0x4282;
constexpr std::size_t kMostIdBytes = 4;
constexpr std::size_t kMostSizeBytes = 8;
// An EBML header holding more is no real one.
constexpr std::uint64_t kMostHeaderBytes = 4096;

struct VarNumber {
    std::uint64_t value = 0;
    std::size_t bytes = 0;
    bool unknown = false;  // every value bit set: a size not known when it was written
};

// The variable-length number at `at` of at most `most` bytes; its marker bit is kept in IDs.
std::optional<VarNumber> ReadVarNumber(ByteSpan bytes, std::size_t at, std::size_t most,
                                       bool keepMarker) {
    if (at >= bytes.size() || bytes[at] == 0) {
        return std::nullopt;
    }
    std::size_t length = 1;
    while ((bytes[at] & (0x80 >> (length - 1))) == 0) {
        ++length;
    }
    if (length > most || at + length > bytes.size()) {
        return std::nullopt;
    }
    VarNumber number;
    number.bytes = length;
    number.value = keepMarker ? bytes[at] : bytes[at] & (0xFF >> length);
    bool allOnes = number.value == (0xFFu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        number.value = number.value << 8 | bytes[at + i];
        allOnes = allOnes && bytes[at + i] == 0xFF;
    }
    number.unknown = !keepMarker && allOnes;
    return number;
}

struct Element {
    std::uint64_t id = 0;
    std::uint64_t size = 0;
    std::size_t dataAt = 0;
    bool sizeUnknown = false;
};

std::optional<Element> ReadElement(ByteSpan bytes, std::size_t at) {
    const auto id = ReadVarNumber(bytes, at, kMostIdBytes, true);
    if (!id) {
        return std::nullopt;
    }
    const auto size = ReadVarNumber(bytes, at + id->bytes, kMostSizeBytes, false);
    if (!size) {
        return std::nullopt;
    }
    return Element{id->value, size->value, at + id->bytes + size->bytes, size->unknown};
}

std::optional<Element> EbmlHeader(ByteSpan bytes) {
    const auto header = ReadElement(bytes, 0);
    if (!header || header->id != kEbmlId || header->sizeUnknown ||
        header->size > kMostHeaderBytes) {
        return std::nullopt;
    }
    return header;
}

bool MatroskaHeaderHolds(ByteSpan head) {
    return EbmlHeader(head).has_value();
}

// Whether the Segment's own element follows the EBML header in the bytes.
bool HasSegment(ByteSpan bytes) {
    const auto header = EbmlHeader(bytes);
    if (!header) {
        return false;
    }
    const auto segment =
        ReadElement(bytes, header->dataAt + static_cast<std::size_t>(header->size));
    return segment && segment->id == kSegmentId;
}

// The end of the Segment that follows the EBML header.
FormatEnd MatroskaEnd(ByteSpan bytes) {
    const auto header = EbmlHeader(bytes);
    if (!header) {
        return bytes.size() < kMostIdBytes + kMostSizeBytes ? CutShort() : NotThisFormat();
    }
    const std::uint64_t segmentAt = header->dataAt + header->size;
    if (segmentAt + kMostIdBytes + kMostSizeBytes > bytes.size()) {
        return {EndKind::PastBytes, segmentAt > bytes.size() ? segmentAt : 0};
    }
    const auto segment = ReadElement(bytes, static_cast<std::size_t>(segmentAt));
    if (!segment || segment->id != kSegmentId) {
        return NotThisFormat();
    }
    if (segment->sizeUnknown) {
        return FormatEnd{};  // a live recording's: it runs to wherever the file ends
    }
    const std::uint64_t end = segment->dataAt + segment->size;
    if (end > bytes.size()) {
        return {EndKind::PastBytes, end};
    }
    return EndAt(end, bytes.size());
}

// The Segment is the file's one unit after its header: once the walk is past its end, the file
// ends there.
FormatEnd MatroskaWalk(ByteSpan bytes, WalkPoint& point) {
    if (point.units > 0) {
        return {EndKind::Found, point.at};
    }
    const FormatEnd end = MatroskaEnd(bytes);
    if (end.kind == EndKind::PastBytes && end.length > bytes.size() && HasSegment(bytes)) {
        point = {end.length, 1, true};
    }
    return end;
}

// "webm" when the header's document type says so.
std::string_view MatroskaType(ByteSpan bytes) {
    const auto header = EbmlHeader(bytes);
    if (!header) {
        return {};
    }
    const std::size_t end = std::min<std::size_t>(bytes.size(), header->dataAt + header->size);
    for (std::size_t at = header->dataAt; at < end;) {
        const auto child = ReadElement(bytes, at);
        if (!child || child->sizeUnknown || child->dataAt > end ||
            child->size > end - child->dataAt) {
            break;
        }
        if (child->id == kDocTypeId) {
            return SpellsAt(bytes, child->dataAt, "webm") ? "webm" : std::string_view{};
        }
        at = child->dataAt + static_cast<std::size_t>(child->size);
    }
    return {};
}

}  // namespace

const CarvedFormat kMatroskaFormat{MatroskaHeaderHolds, MatroskaEnd, false, MatroskaType,
                                   MatroskaWalk};

}  // namespace lumarest

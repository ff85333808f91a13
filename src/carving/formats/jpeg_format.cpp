#include "carving/formats/jpeg_format.h"

#include <algorithm>
#include <cstring>

#include "carving/formats/known_formats.h"
#include "carving/formats/tiff_reader.h"
#include "core/le_bytes.h"

namespace lumarest {
namespace {

constexpr std::uint8_t kMarkerByte = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;
// Frame markers run from C0 to CF; C4, C8 and CC in that range are no frames.
constexpr std::uint8_t kBaselineFrame = 0xC0;
constexpr std::uint8_t kProgressiveFrame = 0xC2;
constexpr std::uint8_t kLastFrame = 0xCF;
constexpr std::uint8_t kHuffmanTables = 0xC4;
constexpr std::uint8_t kReservedForExtensions = 0xC8;
constexpr std::uint8_t kArithmeticConditioning = 0xCC;
constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kApp2 = 0xE2;
constexpr std::string_view kMpfId{"MPF\0", 4};
constexpr std::uint16_t kMpEntryTag = 0xB002;
constexpr std::size_t kMpEntrySize = 16;  // attributes, size, offset, two dependents
constexpr std::uint8_t kTemporary = 0x01;
constexpr std::uint8_t kStuffed = 0x00;
constexpr std::string_view kExifId{"Exif\0\0", 6};
constexpr std::uint16_t kIfd1ThumbnailOffset = 0x0201;
constexpr std::uint16_t kIfd1ThumbnailLength = 0x0202;
constexpr std::uint16_t kMaxIfdEntries = 1024;

bool IsRestart(std::uint8_t marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

// A marker that stands alone, with no length after it.
bool IsStandalone(std::uint8_t marker) {
    return IsRestart(marker) || marker == kTemporary;
}

// Where the entropy-coded data from `from` ends: the FF of the next real marker, or size()
// when the data runs to the end of the bytes.
std::size_t EntropyEnd(ByteSpan bytes, std::size_t from) {
    const std::uint8_t* data = bytes.data();
    const std::size_t size = bytes.size();
    std::size_t pos = from;
    while (pos < size) {
        const void* found = std::memchr(data + pos, kMarkerByte, size - pos);
        if (found == nullptr) {
            return size;
        }
        const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
        if (at + 1 >= size) {
            return size;
        }
        const std::uint8_t next = data[at + 1];
        if (next == kStuffed || IsRestart(next)) {
            pos = at + 2;
        } else if (next == kMarkerByte) {
            pos = at + 1;  // fill byte: the next FF may start the marker
        } else {
            return at;
        }
    }
    return size;
}

// One marker segment met while walking the file.
struct Segment {
    std::uint8_t marker = 0;
    std::size_t start = 0;  // the segment's first byte (its FF)
    std::size_t body = 0;   // the byte after its length field
    std::size_t end = 0;    // the byte after the segment (may lie past the bytes)
};

enum class Step { Segment, End, CutShort, Broken };

// Reads the marker at `pos` (fill FFs allowed before it); the caller steps to `segment.end`.
Step NextSegment(ByteSpan bytes, std::size_t pos, Segment& segment) {
    const std::size_t size = bytes.size();
    if (pos >= size) {
        return Step::CutShort;
    }
    if (bytes[pos] != kMarkerByte) {
        return Step::Broken;
    }
    segment.start = pos;
    while (pos < size && bytes[pos] == kMarkerByte) {
        ++pos;
    }
    if (pos >= size) {
        return Step::CutShort;
    }
    segment.marker = bytes[pos++];
    if (segment.marker == kEndOfImage) {
        segment.body = segment.end = pos;
        return Step::End;
    }
    if (segment.marker == kStuffed || segment.marker == kStartOfImage) {
        return Step::Broken;
    }
    if (IsStandalone(segment.marker)) {
        segment.body = segment.end = pos;
        return Step::Segment;
    }
    const auto length = LoadBe16(bytes, pos);
    if (!length) {
        return Step::CutShort;
    }
    if (*length < 2) {
        return Step::Broken;
    }
    segment.body = pos + 2;
    segment.end = pos + *length;
    return Step::Segment;
}

bool StartsWithSoi(ByteSpan bytes) {
    return bytes.size() >= 2 && bytes[0] == kMarkerByte && bytes[1] == kStartOfImage;
}

// Where the images a multi-picture block (APP2 "MPF") lists end: further pictures (previews,
// depth or gain maps) follow the first one's EOI inside the same file. Offsets count from the
// block's TIFF header; the first image's entry has offset 0. Zero when none is listed.
std::uint64_t MultiPictureEnd(ByteSpan bytes, const Segment& segment) {
    const std::size_t tiffAt = segment.body + kMpfId.size();
    if (!SpellsAt(bytes, segment.body, kMpfId) || segment.end > bytes.size() ||
        tiffAt > segment.end) {
        return 0;
    }
    const auto reader = TiffReader::Open(bytes.subspan(tiffAt, segment.end - tiffAt));
    const auto ifd = reader ? reader->FirstIfd() : std::nullopt;
    const auto count = ifd ? reader->U16(*ifd) : std::nullopt;
    if (!count || *count > kMaxIfdEntries) {
        return 0;
    }
    std::uint64_t end = 0;
    for (std::uint16_t i = 0; i < *count; ++i) {
        const auto entry = reader->EntryAt(*ifd, i);
        if (!entry || entry->tag != kMpEntryTag) {
            continue;
        }
        const auto at = reader->ValuesAt(*entry);
        const std::uint64_t images = TiffReader::ValueBytes(*entry) / kMpEntrySize;
        for (std::uint64_t n = 0; at && n < images; ++n) {
            const auto size = reader->U32(*at + n * kMpEntrySize + 4);
            const auto offset = reader->U32(*at + n * kMpEntrySize + 8);
            if (!size || !offset) {
                break;  // the list runs out of the segment
            }
            if (*offset != 0) {
                end = std::max(end, tiffAt + std::uint64_t{*offset} + *size);
            }
        }
    }
    return end;
}

// Segments by their lengths from SOI, each scan's entropy data searched for its closing
// marker, to the outer EOI: an embedded thumbnail's own EOI lies inside APP1 and is stepped over.
// Pictures a multi-picture block lists after that EOI belong to the file too.
FormatEnd JpegEnd(ByteSpan bytes) {
    if (!StartsWithSoi(bytes)) {
        return NotThisFormat();
    }
    const std::size_t size = bytes.size();
    std::size_t pos = 2;
    Segment segment;
    std::uint64_t furtherPictures = 0;
    // Every pass moves at least one byte on, so the bytes bound the walk.
    while (true) {
        switch (NextSegment(bytes, pos, segment)) {
            case Step::End:
                return EndAt(std::max<std::uint64_t>(segment.end, furtherPictures), size);
            case Step::CutShort:
                return CutShort();
            case Step::Broken:
                return NotThisFormat();
            case Step::Segment:
                break;
        }
        if (segment.end > size) {
            return CutShort();
        }
        if (segment.marker == kApp2 && furtherPictures == 0) {
            furtherPictures = MultiPictureEnd(bytes, segment);
        }
        pos = segment.end;
        if (segment.marker == kStartOfScan) {
            pos = EntropyEnd(bytes, pos);
            if (pos >= size) {
                return CutShort();
            }
        }
    }
}

// The thumbnail IFD1 names inside one Exif block (the TIFF structure after "Exif\0\0").
ByteSpan ThumbnailInExif(ByteSpan tiff) {
    const auto reader = TiffReader::Open(tiff);
    if (!reader) {
        return {};
    }
    const auto ifd0 = reader->FirstIfd();
    if (!ifd0) {
        return {};
    }
    const auto count0 = reader->U16(*ifd0);
    if (!count0 || *count0 > kMaxIfdEntries) {
        return {};
    }
    const auto ifd1 = reader->U32(*ifd0 + 2 + std::uint64_t{*count0} * TiffReader::kEntrySize);
    if (!ifd1 || *ifd1 == 0 || *ifd1 == *ifd0) {
        return {};
    }
    const auto count1 = reader->U16(*ifd1);
    if (!count1 || *count1 > kMaxIfdEntries) {
        return {};
    }
    std::optional<std::uint64_t> offset;
    std::optional<std::uint64_t> length;
    for (std::uint16_t i = 0; i < *count1; ++i) {
        const auto entry = reader->EntryAt(*ifd1, i);
        if (!entry) {
            return {};
        }
        if (entry->tag == kIfd1ThumbnailOffset) {
            offset = reader->Number(*entry, 0);
        } else if (entry->tag == kIfd1ThumbnailLength) {
            length = reader->Number(*entry, 0);
        }
    }
    if (!offset || !length || *length < 2 || *offset > tiff.size() ||
        tiff.size() - *offset < *length) {
        return {};
    }
    const ByteSpan thumbnail =
        tiff.subspan(static_cast<std::size_t>(*offset), static_cast<std::size_t>(*length));
    return StartsWithSoi(thumbnail) ? thumbnail : ByteSpan{};
}

}  // namespace

ByteSpan JpegExifThumbnail(ByteSpan bytes) {
    const ByteSpan exif = JpegExifBlock(bytes);
    return exif.empty() ? ByteSpan{} : ThumbnailInExif(exif);
}

ByteSpan JpegExifBlock(ByteSpan bytes) {
    if (!StartsWithSoi(bytes)) {
        return {};
    }
    std::size_t pos = 2;
    Segment segment;
    // Only the segments before the first scan can hold Exif.
    while (NextSegment(bytes, pos, segment) == Step::Segment && segment.marker != kStartOfScan) {
        const std::size_t end = std::min(segment.end, bytes.size());
        if (segment.marker == kApp1 && SpellsAt(bytes, segment.body, kExifId) &&
            segment.body + kExifId.size() <= end) {
            const std::size_t tiff = segment.body + kExifId.size();
            return bytes.subspan(tiff, end - tiff);
        }
        if (segment.end >= bytes.size()) {
            break;
        }
        pos = segment.end;
    }
    return {};
}

bool JpegFrameIsViewable(ByteSpan bytes) {
    if (!StartsWithSoi(bytes)) {
        return false;
    }
    std::size_t pos = 2;
    Segment segment;
    while (NextSegment(bytes, pos, segment) == Step::Segment && segment.marker != kStartOfScan) {
        const bool frame = segment.marker >= kBaselineFrame && segment.marker <= kLastFrame &&
                           segment.marker != kHuffmanTables &&
                           segment.marker != kReservedForExtensions &&
                           segment.marker != kArithmeticConditioning;
        if (frame) {
            return segment.marker <= kProgressiveFrame;
        }
        pos = segment.end;
    }
    return false;
}

const CarvedFormat kJpegFormat{nullptr, JpegEnd, true};

}  // namespace lumarest

#pragma once

#include "carving/formats/carved_format.h"

// Each format's checks, defined in its own file and registered by extension in carved_format.cpp.
namespace lumarest {

extern const CarvedFormat kJpegFormat;
extern const CarvedFormat kPngFormat;
extern const CarvedFormat kGifFormat;
extern const CarvedFormat kBmpFormat;
extern const CarvedFormat kRiffFormat;
extern const CarvedFormat kRiffPictureFormat;  // WebP
extern const CarvedFormat kTiffFormat;
extern const CarvedFormat kRawTiffFormat;  // raw pictures laid out as TIFF
extern const CarvedFormat kPdfFormat;
extern const CarvedFormat kZipFormat;
extern const CarvedFormat kGzipFormat;
extern const CarvedFormat kId3Format;
extern const CarvedFormat kPcxFormat;
extern const CarvedFormat kOggFormat;
extern const CarvedFormat kRafFormat;
extern const CarvedFormat kMatroskaFormat;      // MKV, WebM
extern const CarvedFormat kIsoMediaFormat;      // MP4, MOV, M4V, M4A, 3GP
extern const CarvedFormat kIsoPictureFormat;    // HEIC, HEIF, AVIF, CR3
extern const CarvedFormat kPacketStreamFormat;  // MTS, M2TS

// Whether a sector starts a run of timed transport packets: the mark of MTS, seen at byte 4.
bool PacketStreamHolds(std::span<const std::uint8_t> head);

// The verdict for a structure that is sound up to `end`: found inside `available` bytes, or
// going on past them.
inline FormatEnd EndAt(std::uint64_t end, std::uint64_t available) {
    if (end <= available) {
        return {EndKind::Found, end};
    }
    return {EndKind::PastBytes, 0};
}

inline FormatEnd CutShort() {
    return {EndKind::PastBytes, 0};
}
inline FormatEnd NotThisFormat() {
    return {};
}

}  // namespace lumarest

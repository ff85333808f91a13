#pragma once

#include <cstdint>
#include <span>

namespace lumarest {

// The embedded Exif thumbnail (IFD1's JPEGInterchangeFormat and its length) of the JPEG that
// starts at bytes[0]; empty when there is none or it does not lie inside `bytes`.
std::span<const std::uint8_t> JpegExifThumbnail(std::span<const std::uint8_t> bytes);

// The Exif block's TIFF structure (after "Exif\0\0") of the JPEG that starts at bytes[0], as
// far as its segment and the bytes go; empty when there is none.
std::span<const std::uint8_t> JpegExifBlock(std::span<const std::uint8_t> bytes);

// True when the first frame of the JPEG that starts at bytes[0] is one picture decoders read
// (baseline, extended or progressive), not a raw file's lossless sensor data.
bool JpegFrameIsViewable(std::span<const std::uint8_t> bytes);

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <span>

namespace lumarest {

// The largest JPEG picture a raw photo carries whole inside it (the camera's own preview),
// found by its structure: a JPEG start whose segments and data end inside the bytes and whose
// frame decoders read. Empty when the file carries none. A file starting with a JPEG is not
// its own preview.
std::span<const std::uint8_t> LargestJpegPreview(std::span<const std::uint8_t> bytes);

}  // namespace lumarest

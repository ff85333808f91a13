#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <span>

namespace lumarest {

// Decodes a HEIC, HEIF or AVIF picture through libheif: the picture's own thumbnail item when
// it has one and `thumbnailWillDo`, else the primary picture; shown no larger than `wanted`
// (proportions kept). A null image when the bytes do not decode.
QImage DecodeHeifPicture(std::span<const std::uint8_t> bytes, bool thumbnailWillDo, QSize wanted);

}  // namespace lumarest

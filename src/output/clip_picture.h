#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <optional>
#include <span>

#include "output/kept_bytes.h"

namespace lumarest {

// The clip's first frame through FFmpeg's demuxers and decoders, scaled to fit `wanted`
// (proportions kept); a null image when no frame decodes.
QImage DecodeClipFrame(const KeptBytes& clip, QSize wanted);

// The picture of a clip with no frame to show: a strip of film, with the clip's length
// ("1:05") when it is known.
QImage FilmStripPicture(std::optional<double> seconds, QSize size);

// Keeps FFmpeg's own messages off the terminal.
void QuietClipDecoders();

}  // namespace lumarest

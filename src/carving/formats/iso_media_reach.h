#pragma once

#include <cstdint>
#include <string_view>

#include "core/le_bytes.h"

namespace lumarest {

// How far into a box file the media its top-level box of `type` points at reaches, from the
// box's `contents`: a `meta` box, the end of the furthest item its item locations place in the
// file; a `moov` box, just past the start of the furthest chunk of any track. 0 when the box
// names no media it can read.
std::uint64_t MediaReach(std::string_view type, ByteSpan contents);

}  // namespace lumarest

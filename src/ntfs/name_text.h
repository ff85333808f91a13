#pragma once

#include <cstddef>
#include <string>

#include "core/le_bytes.h"

namespace lumarest {

// UTF-8 text of `unitCount` little-endian UTF-16 units at the start of `units` (fewer when the
// span is shorter). Surrogate pairs become one character; a surrogate without its partner
// becomes U+FFFD, since NTFS keeps any 16-bit units a driver wrote.
std::string Utf16LeToUtf8(ByteSpan units, std::size_t unitCount);

}  // namespace lumarest

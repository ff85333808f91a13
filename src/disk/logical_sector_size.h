#pragma once

#include <cstdint>
#include <string>

#include "core/le_bytes.h"

namespace lumarest {

// Bytes of an image's head that tell its logical sector size: up to a GPT header at byte 4096.
inline constexpr std::size_t kSectorSizeProbeBytes = 4096 + 512;

// An image's logical sector size from its first bytes: a GPT header at byte 4096 and not at
// 512 makes 4096; else a FAT or NTFS boot sector in sector 0 gives its own size when it is
// 512, 1024, 2048 or 4096; else 512.
std::uint32_t ImageLogicalSectorBytes(ByteSpan head);

// The same, read from the image at `path`; 512 when it cannot be read.
std::uint32_t ReadImageLogicalSectorBytes(const std::string& path);

// A device's logical_block_size attribute of sysfs as a sector size; 512 when it is missing or
// not a size this reader knows.
std::uint32_t DeviceLogicalSectorBytes(const std::string& attribute);

}  // namespace lumarest

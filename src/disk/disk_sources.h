#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/sector_source.h"
#include "disk/disk_inventory.h"

namespace lumarest {

// Pieces the inventory shares between the machine's disks and the attached images.

// The geometry every disk is shown with: 255 heads, 63 sectors per track, the disk's own
// logical sector size (512 when it is not one this reader knows), and as many whole cylinders
// of those sectors as the size holds.
void ApplyStandardGeometry(DiskProperties& disk, std::uint32_t logicalSectorBytes = kSectorSize);

// Bytes in a regular file or a block device, or nothing when it cannot be opened.
std::optional<std::uint64_t> DeviceSizeBytes(const std::string& path);

// Sectors of 512 bytes, the last one counted even when the size stops inside it.
std::uint64_t SectorsForBytes(std::uint64_t bytes);

// The properties of an attached image at slot `index`.
DiskProperties ImageDiskProperties(std::uint32_t index, const std::string& path,
                                   const std::string& systemName);

std::string HostName();

}  // namespace lumarest

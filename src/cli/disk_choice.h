#pragma once

#include <optional>

#include "disk/disk_inventory.h"

namespace lumarest {

struct CliContext;

// The disk a command works on when no --disk is given: the one attached image, so
// "lumarest-cli partitions --image card.img" needs no disk number. -1 when there is no such
// single image.
int DefaultDiskNumber(CliContext& context);

// Disk `diskNumber` of a fresh inventory, or nothing when there is no such disk.
std::optional<DiskProperties> FindDisk(CliContext& context, int diskNumber);

}  // namespace lumarest

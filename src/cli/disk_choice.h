#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "disk/disk_inventory.h"

namespace lumarest {

struct CliContext;

// The disk a command works on when no --disk is given: the one attached image, so
// "lumarest-cli partitions --image card.img" needs no disk number. -1 when there is no such
// single image.
int DefaultDiskNumber(CliContext& context);

// Disk `diskNumber` of a fresh inventory, or nothing when there is no such disk.
std::optional<DiskProperties> FindDisk(CliContext& context, int diskNumber);

// Makes disk `diskNumber` readable for this command: opened directly, or through a read-only
// descriptor the system's disk service hands over when this user may not open it. Returns the
// message to fail with when it can be read neither way; nothing also when there is no such disk.
std::optional<std::string> OpenDiskForReading(CliContext& context, int diskNumber);

// Why a command cannot read the disk FindDisk gave for `diskNumber`, or nothing when it can.
std::optional<std::string> RefuseDisk(const std::optional<DiskProperties>& disk, int diskNumber);

}  // namespace lumarest

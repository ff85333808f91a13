#pragma once

#include <cstdint>

namespace lumarest {

struct CliContext;

// Walks the partition table of disk `diskNumber` (as `disks` numbers it) and prints each
// listed partition: number, file system, start sector, end sector and item text, as text or
// as one JSON document. Exit status 2 when the disk is unknown or may not be read.
int RunPartitionsCommand(CliContext& context, int diskNumber);

}  // namespace lumarest

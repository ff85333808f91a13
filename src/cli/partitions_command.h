#pragma once

#include <cstdint>

namespace lumarest {

struct CliContext;

// Walks the partition table of disk `diskNumber` (as `disks` numbers it) and, with `search`,
// then searches its cylinders for partitions the table does not list (Ctrl+C stops the search
// and keeps what it found). Prints each listed partition: number, file system, start sector,
// end sector, item text (and with `search` where it was found), as text or as one JSON
// document. Exit status 2 when the disk is unknown or may not be read.
int RunPartitionsCommand(CliContext& context, int diskNumber, bool search = false);

}  // namespace lumarest

#pragma once

#include <cstdint>

namespace lumarest {

struct CliContext;

// Walks the partition tables of disk `diskNumber` (as `disks` numbers it) and, with `search`,
// then searches its cylinders for partitions the tables do not list (Ctrl+C stops the search
// and keeps what it found). Prints each listed partition: number, file system, start sector,
// end sector (in the disk's own sectors, whose size is shown), where it was found and item
// text, as text or as one JSON document. Exit status 2 when the disk is unknown or may not be read.
int RunPartitionsCommand(CliContext& context, int diskNumber, bool search = false);

}  // namespace lumarest

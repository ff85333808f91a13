#pragma once

#include <cstdint>

#include "core/reporter.h"

namespace lumarest {

struct RecoveryRun;
class TextTable;

// Turns a folder table whose rows carry their names (NTFS records, exFAT entry sets) into the
// folder tree under "Root": root-level folders are the rows whose parent is `rootId`, then
// every level breadth first. Raises run.resultsFound when the table holds more than the orphan
// row. Shows its progress on `bar`; empties `table`. Returns 1.
int BuildNamedFolderTree(RecoveryRun& run, TextTable& table, Reporter& reporter, ProgressBar bar,
                         std::uint32_t rootId);

}  // namespace lumarest

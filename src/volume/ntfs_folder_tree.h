#pragma once

#include "core/reporter.h"

namespace lumarest {

struct RecoveryRun;
class TextTable;

// Turns an NTFS folder table into the folder tree under "Root": root-level folders are the rows
// whose parent is record 5, then every level breadth first. Raises run.resultsFound when the
// table holds more than the orphan row. Shows its progress on `bar`; empties `table`.
// Returns 1.
int BuildNtfsFolderTree(RecoveryRun& run, TextTable& table, Reporter& reporter, ProgressBar bar);

}  // namespace lumarest

#pragma once

#include <QObject>
#include <functional>
#include <stop_token>

#include "app/background_job.h"
#include "disk/disk_inputs.h"
#include "search/standard_search.h"
#include "tree/folder_counts.h"

namespace lumarest {

struct RecoveryRun;
class WindowReporter;

// What a Standard search brings back besides the run it filled.
struct StandardScanOutcome {
    StandardSearchResult search;
    // The folders and files of the tree it built.
    FolderCounts counts;
};

// The scan worker of a Standard search. It works on the window's run: while it runs the window
// leaves the run's tables, folder tree and volume to it and shows none of them. A stop ends the
// scan early; the worker still re-attaches the orphans and builds the tree from what was found,
// which takes a moment, so the window may wait for it.
class StandardScanWorker : public BackgroundJob<StandardScanOutcome> {
  public:
    struct Inputs {
        DiskInputs disk;
        bool bootSectorValid = false;
    };

    // `finished` runs on the window's thread when the search ends without a stop.
    StandardScanWorker(RecoveryRun& run, Inputs inputs, WindowReporter& reporter, QObject& window,
                       Finished finished, std::stop_source stop);
};

}  // namespace lumarest

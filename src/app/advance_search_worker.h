#pragma once

#include <QObject>
#include <cstddef>
#include <functional>
#include <stop_token>

#include "app/background_job.h"
#include "disk/disk_inputs.h"
#include "search/advance_search.h"
#include "tree/folder_counts.h"

namespace lumarest {

struct RecoveryRun;
class WindowReporter;

// The first phase of an Advance search: it reads the range for volumes and analyses what it
// found. While it runs the window leaves the run's tables and its volume tree to it. "Stop
// Search" (`endReading`) only ends the reading: the analysis still runs, so the window waits for
// `finished` as after a full search. Stopping the job quits at once, for a window that goes away.
class AdvanceScanWorker : public BackgroundJob<AdvanceSearchResult> {
  public:
    // `finished` runs on the window's thread when the search ends, after "Stop Search" or not.
    AdvanceScanWorker(RecoveryRun& run, DiskInputs disk, WindowReporter& reporter, QObject& window,
                      std::stop_source endReading, Finished finished);
};

// What the rebuild of a found volume brings back besides the run's new folder tree.
struct FoundVolumeOutcome {
    bool rebuilt = false;
    // The folders and files of the rebuilt tree.
    FolderCounts counts;
};

// The second phase: rebuilds one found volume into the run's folder tree, which no view shows
// until `finished` runs on the window's thread. Stopping the job lets boxes give way and drops
// `finished`; the rebuild ends, then the thread.
class FoundVolumeWorker : public BackgroundJob<FoundVolumeOutcome> {
  public:
    FoundVolumeWorker(RecoveryRun& run, DiskInputs disk, WindowReporter& reporter, QObject& window,
                      std::size_t volume, Finished finished);
};

}  // namespace lumarest

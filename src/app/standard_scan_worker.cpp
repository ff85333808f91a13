#include "app/standard_scan_worker.h"

namespace lumarest {

StandardScanWorker::StandardScanWorker(RecoveryRun& run, Inputs inputs, WindowReporter& reporter,
                                       QObject& window, Finished finished, std::stop_source stop)
    : BackgroundJob(
          reporter, window,
          [&run, inputs = std::move(inputs)](Reporter& jobReporter, std::stop_token stop) {
              DeviceSectorSource disk = OpenDisk(inputs.disk, jobReporter);
              StandardScanOutcome outcome;
              outcome.search =
                  RunStandardSearch(run, disk, jobReporter, inputs.bootSectorValid, stop);
              // Counted here, off the window's thread: on FAT it reads every folder's directory.
              outcome.counts = CountFolderContents(run, disk);
              return outcome;
          },
          std::move(finished), std::move(stop)) {}

}  // namespace lumarest

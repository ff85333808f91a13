#include "app/advance_search_worker.h"

namespace lumarest {

AdvanceScanWorker::AdvanceScanWorker(RecoveryRun& run, DiskInputs disk, WindowReporter& reporter,
                                     QObject& window, std::stop_source endReading,
                                     Finished finished)
    : BackgroundJob(
          reporter, window,
          [&run, disk = std::move(disk), endReading](Reporter& jobReporter,
                                                     std::stop_token quit) mutable {
              // Quitting ends the reading too.
              const std::stop_callback quitReading(
                  quit, [endReading]() mutable { endReading.request_stop(); });
              DeviceSectorSource source = OpenDisk(disk, jobReporter);
              return RunAdvanceSearch(run, source, jobReporter, endReading.get_token(), quit);
          },
          std::move(finished)) {}

FoundVolumeWorker::FoundVolumeWorker(RecoveryRun& run, DiskInputs disk, WindowReporter& reporter,
                                     QObject& window, std::size_t volume, Finished finished)
    : BackgroundJob(
          reporter, window,
          [&run, disk = std::move(disk), volume](Reporter& jobReporter, std::stop_token quit) {
              DeviceSectorSource source = OpenDisk(disk, jobReporter);
              FoundVolumeOutcome outcome;
              outcome.rebuilt = RebuildFoundVolume(run, source, jobReporter, volume);
              // Counted here, off the window's thread: on FAT it reads every folder's directory.
              if (outcome.rebuilt && !quit.stop_requested()) {
                  outcome.counts = CountFolderContents(run, source);
              }
              return outcome;
          },
          std::move(finished)) {}

}  // namespace lumarest

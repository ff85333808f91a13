#include "app/raw_save_worker.h"

#include <algorithm>
#include <memory>

namespace lumarest {

namespace {
const char* const kSavingText = "Saving ";
constexpr int kFullBar = 100;

ResaveSummary Resave(RawSaveInputs& inputs, std::stop_source saving, Reporter& reporter,
                     std::stop_token stop) {
    // A job stopped for good ends the saving as "Stop" does.
    const std::stop_callback endSaving(stop, [saving]() mutable { saving.request_stop(); });
    DeviceSectorSource disk = OpenDisk(std::move(inputs.disk), reporter);
    const auto progress = [&reporter](std::size_t done, std::size_t total) {
        const auto percent = static_cast<int>(done * kFullBar / std::max<std::size_t>(total, 1));
        reporter.SetProgress(ProgressBar::MainScan, percent, kSavingText);
    };
    if (!inputs.destination) {
        return {};
    }
    return ResaveCarvedFiles(inputs.files, disk, std::move(*inputs.destination), inputs.folder,
                             progress, saving.get_token(), inputs.nameByDate);
}
}  // namespace

RawSaveWorker::RawSaveWorker(RawSaveInputs inputs, WindowReporter& reporter, QObject* window,
                             std::function<void(const ResaveSummary&)> finished)
    : RawSaveWorker(std::move(inputs), reporter, window, std::move(finished), std::stop_source()) {}

RawSaveWorker::RawSaveWorker(RawSaveInputs inputs, WindowReporter& reporter, QObject* window,
                             std::function<void(const ResaveSummary&)> finished,
                             std::stop_source saving)
    : BackgroundJob(
          reporter, *window,
          [inputs = std::make_shared<RawSaveInputs>(std::move(inputs)), saving](
              Reporter& jobReporter, std::stop_token stop) {
              return Resave(*inputs, saving, jobReporter, stop);
          },
          std::move(finished)),
      saving_(std::move(saving)) {}

}  // namespace lumarest

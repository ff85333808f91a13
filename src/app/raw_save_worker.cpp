#include "app/raw_save_worker.h"

#include <QMetaObject>

#include "app/window_reporter.h"
#include "disk/device_sector_source.h"

namespace lumarest {

namespace {
const char* const kSavingText = "Saving ";
constexpr int kFullBar = 100;
}  // namespace

RawSaveWorker::RawSaveWorker(RawSaveInputs inputs, WindowReporter& reporter, QObject* window,
                             std::function<void(const ResaveSummary&)> finished)
    : inputs_(std::move(inputs)),
      reporter_(reporter),
      window_(window),
      finished_(std::move(finished)) {
    thread_ = std::thread([this] { Run(); });
}

RawSaveWorker::~RawSaveWorker() {
    StopAndWait();
}

void RawSaveWorker::StopAndWait() {
    stop_.request_stop();
    Wait();
}

void RawSaveWorker::Wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void RawSaveWorker::Run() {
    WorkerReporter reporter(reporter_, stop_.get_token());
    SectorReaderContext reader = inputs_.reader;
    reader.reporter = &reporter;
    DeviceSectorSource disk(std::move(reader), inputs_.devicePath, inputs_.totalSectors,
                            inputs_.logicalSectorBytes);
    const auto progress = [&reporter](std::size_t done, std::size_t total) {
        const auto percent = static_cast<int>(done * kFullBar / std::max<std::size_t>(total, 1));
        reporter.SetProgress(ProgressBar::MainScan, percent, kSavingText);
    };
    ResaveSummary summary;
    if (inputs_.destination) {
        summary =
            ResaveCarvedFiles(inputs_.files, disk, std::move(*inputs_.destination), inputs_.folder,
                              progress, stop_.get_token(), inputs_.nameByDate);
    }
    if (window_ && finished_) {
        QMetaObject::invokeMethod(
            window_, [finished = finished_, summary] { finished(summary); }, Qt::QueuedConnection);
    }
}

}  // namespace lumarest

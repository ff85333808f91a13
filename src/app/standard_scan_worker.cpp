#include "app/standard_scan_worker.h"

#include <QMetaObject>

#include "app/window_reporter.h"
#include "disk/device_sector_source.h"

namespace lumarest {

StandardScanWorker::StandardScanWorker(RecoveryRun& run, Inputs inputs, WindowReporter& reporter,
                                       QObject& window, std::function<void()> finished,
                                       std::stop_source stop)
    : run_(run),
      inputs_(std::move(inputs)),
      reporter_(reporter),
      window_(window),
      finished_(std::move(finished)),
      stop_(std::move(stop)) {
    thread_ = std::thread([this] { Run(); });
}

StandardScanWorker::~StandardScanWorker() {
    StopAndWait();
}

void StandardScanWorker::StopAndWait() {
    stop_.request_stop();
    Wait();
}

void StandardScanWorker::Wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void StandardScanWorker::Run() {
    WorkerReporter reporter(reporter_, stop_.get_token());
    SectorReaderContext reader = inputs_.reader;
    reader.reporter = &reporter;
    DeviceSectorSource disk(std::move(reader), inputs_.devicePath, inputs_.totalSectors,
                            inputs_.logicalSectorBytes);
    result_ =
        RunStandardSearch(run_, disk, reporter, inputs_.bootSectorValid, run_.scanStop.get_token());
    // Counted here, off the window's thread: on FAT it reads every folder's directory.
    counts_ = CountFolderContents(run_, disk);
    // A stopped search is finished by whoever stopped it.
    if (!stop_.stop_requested() && finished_) {
        QMetaObject::invokeMethod(&window_, finished_, Qt::QueuedConnection);
    }
}

}  // namespace lumarest

#include "app/advance_search_worker.h"

#include <QMetaObject>

#include "app/window_reporter.h"
#include "core/recovery_run.h"
#include "disk/device_sector_source.h"

namespace lumarest {

namespace {
DeviceSectorSource OpenDisk(const AdvanceDiskInputs& inputs, Reporter& reporter) {
    SectorReaderContext reader = inputs.reader;
    reader.reporter = &reporter;
    return DeviceSectorSource(std::move(reader), inputs.devicePath, inputs.totalSectors,
                              inputs.logicalSectorBytes);
}

void JoinIfRunning(std::thread& thread) {
    if (thread.joinable()) {
        thread.join();
    }
}

// A window that is going away is not called back.
void TellWindow(QObject& window, const std::function<void()>& finished,
                const std::stop_source& quit) {
    if (!quit.stop_requested() && finished) {
        QMetaObject::invokeMethod(&window, finished, Qt::QueuedConnection);
    }
}
}  // namespace

AdvanceScanWorker::AdvanceScanWorker(RecoveryRun& run, AdvanceDiskInputs inputs,
                                     WindowReporter& reporter, QObject& window,
                                     std::function<void()> finished)
    : run_(run),
      inputs_(std::move(inputs)),
      reporter_(reporter),
      window_(window),
      finished_(std::move(finished)) {
    thread_ = std::thread([this] { Run(); });
}

AdvanceScanWorker::~AdvanceScanWorker() {
    QuitAndWait();
}

void AdvanceScanWorker::QuitAndWait() {
    quit_.request_stop();
    run_.scanStop.request_stop();
    Wait();
}

void AdvanceScanWorker::Wait() {
    JoinIfRunning(thread_);
}

void AdvanceScanWorker::Run() {
    // Boxes give way only to quitting: after "Stop Search" the analysis may still ask.
    WorkerReporter reporter(reporter_, quit_.get_token());
    DeviceSectorSource disk = OpenDisk(inputs_, reporter);
    result_ = RunAdvanceSearch(run_, disk, reporter, run_.scanStop.get_token(), quit_.get_token());
    TellWindow(window_, finished_, quit_);
}

FoundVolumeWorker::FoundVolumeWorker(RecoveryRun& run, AdvanceDiskInputs inputs,
                                     WindowReporter& reporter, QObject& window, std::size_t volume,
                                     std::function<void()> finished)
    : run_(run),
      inputs_(std::move(inputs)),
      reporter_(reporter),
      window_(window),
      volume_(volume),
      finished_(std::move(finished)) {
    thread_ = std::thread([this] { Run(); });
}

FoundVolumeWorker::~FoundVolumeWorker() {
    QuitAndWait();
}

void FoundVolumeWorker::QuitAndWait() {
    quit_.request_stop();
    run_.secondPhaseStop.request_stop();
    Wait();
}

void FoundVolumeWorker::Wait() {
    JoinIfRunning(thread_);
}

void FoundVolumeWorker::Run() {
    WorkerReporter reporter(reporter_, quit_.get_token());
    DeviceSectorSource disk = OpenDisk(inputs_, reporter);
    rebuilt_ = RebuildFoundVolume(run_, disk, reporter, volume_);
    // Counted here, off the window's thread: on FAT it reads every folder's directory.
    if (rebuilt_ && !quit_.stop_requested()) {
        counts_ = CountFolderContents(run_, disk);
    }
    TellWindow(window_, finished_, quit_);
}

}  // namespace lumarest

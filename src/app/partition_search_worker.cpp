#include "app/partition_search_worker.h"

#include <QMetaObject>

#include "app/window_reporter.h"
#include "core/recovery_run.h"
#include "disk/device_sector_source.h"

namespace lumarest {

PartitionSearchWorker::PartitionSearchWorker(RecoveryRun& run, Inputs inputs,
                                             WindowReporter& reporter, QObject& window,
                                             FoundOnWindow found, std::function<void()> finished,
                                             std::stop_source stop)
    : run_(run),
      inputs_(std::move(inputs)),
      reporter_(reporter),
      window_(window),
      found_(std::move(found)),
      finished_(std::move(finished)),
      stop_(std::move(stop)) {
    thread_ = std::thread([this] { Run(); });
}

PartitionSearchWorker::~PartitionSearchWorker() {
    StopAndWait();
}

void PartitionSearchWorker::StopAndWait() {
    stop_.request_stop();
    Wait();
}

void PartitionSearchWorker::Wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PartitionSearchWorker::Run() {
    WorkerReporter reporter(reporter_, stop_.get_token());
    SectorReaderContext reader = inputs_.reader;
    reader.reporter = &reporter;
    // A failed read during the search is no news: the search is what the notice would start.
    reader.readFailureNotice = nullptr;
    DeviceSectorSource disk(std::move(reader), inputs_.devicePath, inputs_.totalSectors,
                            inputs_.logicalSectorBytes);
    const DiskPartitionList& list = run_.diskPartitionLists[inputs_.diskNumber];
    const auto handOver = [this, &list](std::size_t listIndex) {
        if (!found_) {
            return;
        }
        QMetaObject::invokeMethod(
            &window_,
            [found = found_, listIndex, record = list.partitions[listIndex]] {
                found(listIndex, record);
            },
            Qt::QueuedConnection);
    };
    result_ = SearchPartitions(run_, disk, inputs_.diskNumber, inputs_.geometry, reporter,
                               stop_.get_token(), handOver);
    // A stopped search is finished by whoever stopped it.
    if (!stop_.stop_requested() && finished_) {
        QMetaObject::invokeMethod(&window_, finished_, Qt::QueuedConnection);
    }
}

}  // namespace lumarest

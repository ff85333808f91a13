#include "app/partition_search_worker.h"

#include <QMetaObject>
#include <memory>

#include "core/recovery_run.h"

namespace lumarest {

namespace {
DiskPartitionList Search(PartitionSearchWorker::Inputs inputs, QObject& window,
                         const PartitionSearchWorker::FoundOnWindow& found, Reporter& reporter,
                         std::stop_token stop) {
    // A failed read during the search is no news: the search is what the notice would start.
    inputs.disk.reader.readFailureNotice = nullptr;
    DeviceSectorSource disk = OpenDisk(std::move(inputs.disk), reporter);
    // The search fills only the searched disk's list of a run of its own.
    auto searched = std::make_unique<RecoveryRun>();
    if (inputs.diskNumber >= searched->diskPartitionLists.size()) {
        return std::move(inputs.listed);
    }
    DiskPartitionList& list = searched->diskPartitionLists[inputs.diskNumber];
    list = std::move(inputs.listed);
    const auto handOver = [&window, &found, &list](std::size_t listIndex) {
        if (!found) {
            return;
        }
        QMetaObject::invokeMethod(
            &window,
            [found, listIndex, record = list.partitions[listIndex]] { found(listIndex, record); },
            Qt::QueuedConnection);
    };
    SearchPartitions(*searched, disk, inputs.diskNumber, inputs.geometry, reporter, stop, handOver);
    return std::move(list);
}
}  // namespace

PartitionSearchWorker::PartitionSearchWorker(Inputs inputs, WindowReporter& reporter,
                                             QObject& window, FoundOnWindow found,
                                             Finished finished, std::stop_source stop)
    : BackgroundJob(
          reporter, window,
          [inputs = std::move(inputs), &window, found = std::move(found)](
              Reporter& jobReporter, std::stop_token stopToken) {
              return Search(inputs, window, found, jobReporter, stopToken);
          },
          std::move(finished), std::move(stop)) {}

}  // namespace lumarest

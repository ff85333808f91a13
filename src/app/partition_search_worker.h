#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>

#include "app/background_job.h"
#include "core/partition_list.h"
#include "disk/disk_inputs.h"
#include "partitions/partition_search.h"

namespace lumarest {

class WindowReporter;

// The partition-search worker. It searches on its own copy of the disk's partition list, taken
// when it starts, and hands back that list with what it appended: through `finished`, or from
// StopAndWait after a stop. The window keeps its list as it was until it adopts the one handed
// back. Each partition appended is also handed to the window's thread as a copy at once, so the
// window can show it meanwhile. A stop ends it between two cylinders.
class PartitionSearchWorker : public BackgroundJob<DiskPartitionList> {
  public:
    struct Inputs {
        DiskInputs disk;
        std::uint16_t diskNumber = 0;
        SearchGeometry geometry;
        // The disk's list as the search starts from it.
        DiskPartitionList listed;
    };
    // On the window's thread: a partition appended at `listIndex` of the disk's list.
    using FoundOnWindow = std::function<void(std::size_t listIndex, PartitionRecord record)>;

    // `finished` runs on the window's thread when the search ends without a stop.
    PartitionSearchWorker(Inputs inputs, WindowReporter& reporter, QObject& window,
                          FoundOnWindow found, Finished finished, std::stop_source stop);
};

}  // namespace lumarest

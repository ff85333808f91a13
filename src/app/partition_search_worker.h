#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

#include "core/partition_list.h"
#include "disk/sector_reader.h"
#include "partitions/partition_search.h"

namespace lumarest {

struct RecoveryRun;
class WindowReporter;

// The partition-search worker on its own thread. While it runs it owns the disk's partition
// list: the window reads it again only after Wait or StopAndWait. Each partition it appends is
// handed to the window's thread as a copy, so the window can show it at once without touching
// the list. A stop ends it between two cylinders; what it appended stays listed.
class PartitionSearchWorker {
  public:
    struct Inputs {
        std::string devicePath;
        std::uint64_t totalSectors = 0;
        std::uint32_t logicalSectorBytes = 512;
        SectorReaderContext reader;
        std::uint16_t diskNumber = 0;
        SearchGeometry geometry;
    };
    // On the window's thread: a partition appended at `listIndex` of the disk's list.
    using FoundOnWindow = std::function<void(std::size_t listIndex, PartitionRecord record)>;

    // `finished` runs on the window's thread when the search ends without a stop.
    PartitionSearchWorker(RecoveryRun& run, Inputs inputs, WindowReporter& reporter,
                          QObject& window, FoundOnWindow found, std::function<void()> finished,
                          std::stop_source stop);
    ~PartitionSearchWorker();
    PartitionSearchWorker(const PartitionSearchWorker&) = delete;
    PartitionSearchWorker& operator=(const PartitionSearchWorker&) = delete;

    // Asks the search to stop and waits until its thread has ended.
    void StopAndWait();
    void Wait();
    // Read after Wait or StopAndWait.
    const PartitionSearchResult& Result() const { return result_; }

  private:
    void Run();

    RecoveryRun& run_;
    Inputs inputs_;
    WindowReporter& reporter_;
    QObject& window_;
    FoundOnWindow found_;
    std::function<void()> finished_;
    std::stop_source stop_;
    PartitionSearchResult result_;
    std::thread thread_;
};

}  // namespace lumarest

#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

#include "disk/sector_reader.h"
#include "search/standard_search.h"
#include "tree/folder_counts.h"

namespace lumarest {

struct RecoveryRun;
class WindowReporter;

// The scan worker of a Standard search on its own thread. It works on the window's run: while
// it runs the window leaves the run's tables, folder tree and volume to it and shows none of
// them. A stop ends the scan early; the worker still re-attaches the orphans and builds the
// tree from what was found, which takes a moment, so the window may wait for it.
class StandardScanWorker {
  public:
    struct Inputs {
        std::string devicePath;
        std::uint64_t totalSectors = 0;
        std::uint32_t logicalSectorBytes = 512;
        SectorReaderContext reader;
        bool bootSectorValid = false;
    };

    // `finished` runs on the window's thread when the search ends without a stop.
    StandardScanWorker(RecoveryRun& run, Inputs inputs, WindowReporter& reporter, QObject& window,
                       std::function<void()> finished, std::stop_source stop);
    ~StandardScanWorker();
    StandardScanWorker(const StandardScanWorker&) = delete;
    StandardScanWorker& operator=(const StandardScanWorker&) = delete;

    // Asks the scan to stop and waits until the tree is built and the thread has ended.
    void StopAndWait();
    void Wait();
    // What the search found; read after Wait or StopAndWait.
    const StandardSearchResult& Result() const { return result_; }
    // The folders and files of the tree it built; read after Wait or StopAndWait.
    const FolderCounts& Counts() const { return counts_; }

  private:
    void Run();

    RecoveryRun& run_;
    Inputs inputs_;
    WindowReporter& reporter_;
    QObject& window_;
    std::function<void()> finished_;
    std::stop_source stop_;
    StandardSearchResult result_;
    FolderCounts counts_;
    std::thread thread_;
};

}  // namespace lumarest

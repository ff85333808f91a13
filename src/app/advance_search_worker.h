#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

#include "disk/sector_reader.h"
#include "search/advance_search.h"
#include "tree/folder_counts.h"

namespace lumarest {

struct RecoveryRun;
class WindowReporter;

// What both phases of an Advance search read: the searched disk.
struct AdvanceDiskInputs {
    std::string devicePath;
    std::uint64_t totalSectors = 0;
    std::uint32_t logicalSectorBytes = 512;
    SectorReaderContext reader;
};

// The first phase of an Advance search on its own thread: it reads the range for volumes and
// analyses what it found. While it runs the window leaves the run's tables and its volume tree
// to it. "Stop Search" (run.scanStop) only ends the reading: the analysis still runs, so the
// window waits for `finished` as after a full search. Destroying the worker quits at once.
class AdvanceScanWorker {
  public:
    // `finished` runs on the window's thread when the search ends, stopped or not.
    AdvanceScanWorker(RecoveryRun& run, AdvanceDiskInputs inputs, WindowReporter& reporter,
                      QObject& window, std::function<void()> finished);
    ~AdvanceScanWorker();
    AdvanceScanWorker(const AdvanceScanWorker&) = delete;
    AdvanceScanWorker& operator=(const AdvanceScanWorker&) = delete;

    // Ends reading and analysis for a window that goes away, and waits for the thread.
    void QuitAndWait();
    void Wait();
    // Read after Wait.
    const AdvanceSearchResult& Result() const { return result_; }

  private:
    void Run();

    RecoveryRun& run_;
    AdvanceDiskInputs inputs_;
    WindowReporter& reporter_;
    QObject& window_;
    std::function<void()> finished_;
    std::stop_source quit_;
    AdvanceSearchResult result_;
    std::thread thread_;
};

// The second phase on its own thread: rebuilds one found volume into the run's folder tree,
// which no view shows until `finished` runs on the window's thread.
class FoundVolumeWorker {
  public:
    FoundVolumeWorker(RecoveryRun& run, AdvanceDiskInputs inputs, WindowReporter& reporter,
                      QObject& window, std::size_t volume, std::function<void()> finished);
    ~FoundVolumeWorker();
    FoundVolumeWorker(const FoundVolumeWorker&) = delete;
    FoundVolumeWorker& operator=(const FoundVolumeWorker&) = delete;

    // Boxes give way and `finished` is dropped; the rebuild ends, then the thread is joined.
    void QuitAndWait();
    void Wait();
    bool Rebuilt() const { return rebuilt_; }
    // The folders and files of the rebuilt tree; read after Wait.
    const FolderCounts& Counts() const { return counts_; }

  private:
    void Run();

    RecoveryRun& run_;
    AdvanceDiskInputs inputs_;
    WindowReporter& reporter_;
    QObject& window_;
    std::size_t volume_;
    std::function<void()> finished_;
    std::stop_source quit_;
    bool rebuilt_ = false;
    FolderCounts counts_;
    std::thread thread_;
};

}  // namespace lumarest

#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "carving/carved_file_resave.h"
#include "core/new_file.h"
#include "disk/sector_reader.h"

namespace lumarest {

class WindowReporter;

// What saving the raw results after their search reads, copied when it starts.
struct RawSaveInputs {
    std::vector<CarvedFile> files;
    std::string folder;
    // The folder as opened and checked: the files are written into this very one.
    std::optional<FolderHandle> destination;
    std::string devicePath;
    std::uint64_t totalSectors = 0;
    std::uint32_t logicalSectorBytes = 512;
    SectorReaderContext reader;
    bool nameByDate = false;  // saved under the moment each was taken, where it says
};

// Saves carved files of an ended raw search on its own thread: reads each again from the searched
// disk (read-only) and writes it into the chosen folder, with the main bar showing how far it
// got. The window hears `finished` with the summary on its own thread, also after a stop.
class RawSaveWorker {
  public:
    RawSaveWorker(RawSaveInputs inputs, WindowReporter& reporter, QObject* window,
                  std::function<void(const ResaveSummary&)> finished);
    ~RawSaveWorker();
    RawSaveWorker(const RawSaveWorker&) = delete;
    RawSaveWorker& operator=(const RawSaveWorker&) = delete;

    // Saving ends after the file being written; the summary still comes.
    void RequestStop() { stop_.request_stop(); }
    void StopAndWait();
    // Waits for a worker that told the window it finished.
    void Wait();

  private:
    void Run();

    RawSaveInputs inputs_;
    WindowReporter& reporter_;
    QObject* window_;
    std::function<void(const ResaveSummary&)> finished_;
    std::stop_source stop_;
    std::thread thread_;
};

}  // namespace lumarest

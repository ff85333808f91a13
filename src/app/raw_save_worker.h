#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/background_job.h"
#include "carving/carved_file_resave.h"
#include "core/new_file.h"
#include "disk/disk_inputs.h"

namespace lumarest {

class WindowReporter;

// What saving the raw results after their search reads, copied when it starts.
struct RawSaveInputs {
    std::vector<CarvedFile> files;
    std::string folder;
    // The folder as opened and checked: the files are written into this very one.
    std::optional<FolderHandle> destination;
    DiskInputs disk;
    bool nameByDate = false;  // saved under the moment each was taken, where it says
};

// Saves carved files of an ended raw search: reads each again from the searched disk
// (read-only) and writes it into the chosen folder, with the main bar showing how far it got.
// The window hears `finished` with the summary on its own thread, also after "Stop": that ends
// the saving, not the job. Stopping the job, for a window that goes away, brings nothing back.
class RawSaveWorker : public BackgroundJob<ResaveSummary> {
  public:
    RawSaveWorker(RawSaveInputs inputs, WindowReporter& reporter, QObject* window,
                  std::function<void(const ResaveSummary&)> finished);

    // Saving ends after the file being written; the summary still comes.
    void RequestStop() { saving_.request_stop(); }

  private:
    RawSaveWorker(RawSaveInputs inputs, WindowReporter& reporter, QObject* window,
                  std::function<void(const ResaveSummary&)> finished, std::stop_source saving);

    std::stop_source saving_;
};

}  // namespace lumarest

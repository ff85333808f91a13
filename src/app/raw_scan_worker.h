#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <variant>

#include "app/background_job.h"
#include "carving/signature_file.h"
#include "core/new_file.h"
#include "disk/disk_inputs.h"

namespace lumarest {

class CThumbsListCtrl;
class WindowReporter;

// Everything a raw search reads, copied when it starts, so the window may change its fields
// while the scan runs.
struct RawScanInputs {
    SignatureList generalSignatures;
    SignatureList thoroughSignatures;
    std::int64_t firstSector = 0;
    std::int64_t lastSector = 0;  // the scan reads while a chunk starts below it
    DiskInputs disk;
    bool thorough = true;
    // Empty: carved files are shown, not saved.
    std::string destinationFolder;
    bool nameByDate = false;  // files saved under the moment each was taken, where it says
    // The destination as opened and checked; the files are written into this very folder.
    std::optional<FolderHandle> destination;
};

// What the scan worker shows on: the window's reporter and thumbnail list, and what the
// window runs on its own thread when the scan ends by itself.
struct RawScanOutputs {
    WindowReporter* reporter = nullptr;
    CThumbsListCtrl* thumbnails = nullptr;
    // Runs on the window's thread before each thumbnail goes into the list; false drops it.
    std::function<bool()> acceptThumbnail;
    QObject* window = nullptr;
    std::function<void()> finished;
};

// The scan worker of a Raw search: the general carving pass over the range, then the thorough
// pass when it is ticked. Stopping ends it between sectors; every thumbnail handed over so far
// stays. The window's thread may wait for a stopped worker: it never waits for the window once
// stopped. What it makes is the thumbnails it hands over; nothing else comes back.
class RawScanWorker : public BackgroundJob<std::monostate> {
  public:
    RawScanWorker(RawScanInputs inputs, RawScanOutputs outputs, std::stop_source stop);
};

}  // namespace lumarest

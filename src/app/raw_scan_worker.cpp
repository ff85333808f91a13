#include "app/raw_scan_worker.h"

#include <memory>
#include <optional>

#include "app/thumbnail_sink.h"
#include "carving/carved_file_saver.h"
#include "carving/carving_scan.h"

namespace lumarest {

namespace {
const char* const kEmptyRangeMessage = "End Sector should be greater then start sector";

void Carve(RawScanInputs& inputs, const RawScanOutputs& outputs, Reporter& reporter,
           std::stop_token stop) {
    if (inputs.firstSector < 0 || inputs.firstSector >= inputs.lastSector) {
        reporter.ShowMessage(kEmptyRangeMessage, MessageIcon::Error);
        return;
    }
    DeviceSectorSource disk = OpenDisk(std::move(inputs.disk), reporter);

    // Gone at the end of the scan, with every thumbnail handed to the window before it hears
    // the scan finished.
    ThumbnailSink thumbnails(*outputs.thumbnails, outputs.acceptThumbnail, stop);
    std::optional<SavingSink> saving;
    CarvedFileSink* sink = &thumbnails;
    if (inputs.destination) {
        saving.emplace(std::move(*inputs.destination), inputs.destinationFolder, thumbnails,
                       reporter);
        saving->NameByDate(inputs.nameByDate);
        sink = &*saving;
    }
    const auto first = static_cast<std::uint64_t>(inputs.firstSector);
    const auto last = static_cast<std::uint64_t>(inputs.lastSector);
    RunCarvingPass(CarvingPass::General, inputs.generalSignatures, disk, first, last, *sink,
                   reporter, stop);
    if (inputs.thorough && !stop.stop_requested()) {
        RunCarvingPass(CarvingPass::Thorough, inputs.thoroughSignatures, disk, first, last, *sink,
                       reporter, stop);
    }
}
}  // namespace

RawScanWorker::RawScanWorker(RawScanInputs inputs, RawScanOutputs outputs, std::stop_source stop)
    : BackgroundJob(
          *outputs.reporter, *outputs.window,
          [inputs = std::make_shared<RawScanInputs>(std::move(inputs)), outputs](
              Reporter& reporter, std::stop_token stop) {
              Carve(*inputs, outputs, reporter, stop);
              return std::monostate{};
          },
          [finished = outputs.finished](std::monostate) {
              if (finished) {
                  finished();
              }
          },
          std::move(stop)) {}

}  // namespace lumarest

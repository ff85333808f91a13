#include "app/raw_scan_worker.h"

#include <QMetaObject>
#include <optional>

#include "app/thumbnail_sink.h"
#include "app/window_reporter.h"
#include "carving/carved_file_saver.h"
#include "carving/carving_scan.h"
#include "disk/device_sector_source.h"

namespace lumarest {

namespace {
const char* const kEmptyRangeMessage = "End Sector should be greater then start sector";
}  // namespace

RawScanWorker::RawScanWorker(RawScanInputs inputs, RawScanOutputs outputs, std::stop_source stop)
    : inputs_(std::move(inputs)), outputs_(std::move(outputs)), stop_(std::move(stop)) {
    thread_ = std::thread([this] { Run(); });
}

RawScanWorker::~RawScanWorker() {
    StopAndWait();
}

void RawScanWorker::StopAndWait() {
    stop_.request_stop();
    Wait();
}

void RawScanWorker::Wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void RawScanWorker::Run() {
    Carve();
    // A stopped scan is finished by whoever stopped it.
    if (!stop_.stop_requested() && outputs_.window && outputs_.finished) {
        QMetaObject::invokeMethod(outputs_.window, outputs_.finished, Qt::QueuedConnection);
    }
}

void RawScanWorker::Carve() {
    WorkerReporter reporter(*outputs_.reporter, stop_.get_token());
    if (inputs_.firstSector < 0 || inputs_.firstSector >= inputs_.lastSector) {
        reporter.ShowMessage(kEmptyRangeMessage, MessageIcon::Error);
        return;
    }
    SectorReaderContext reader = inputs_.reader;
    reader.reporter = &reporter;
    DeviceSectorSource disk(std::move(reader), inputs_.devicePath, inputs_.totalSectors,
                            inputs_.logicalSectorBytes);

    // Gone at the end of the scan, with every thumbnail handed to the window before it hears
    // the scan finished.
    ThumbnailSink thumbnails(*outputs_.thumbnails, outputs_.acceptThumbnail, stop_.get_token());
    std::optional<SavingSink> saving;
    CarvedFileSink* sink = &thumbnails;
    if (inputs_.destination) {
        saving.emplace(std::move(*inputs_.destination), inputs_.destinationFolder, thumbnails,
                       reporter);
        saving->NameByDate(inputs_.nameByDate);
        sink = &*saving;
    }
    const auto first = static_cast<std::uint64_t>(inputs_.firstSector);
    const auto last = static_cast<std::uint64_t>(inputs_.lastSector);
    const std::stop_token stop = stop_.get_token();
    RunCarvingPass(CarvingPass::General, inputs_.generalSignatures, disk, first, last, *sink,
                   reporter, stop);
    if (inputs_.thorough && !stop.stop_requested()) {
        RunCarvingPass(CarvingPass::Thorough, inputs_.thoroughSignatures, disk, first, last, *sink,
                       reporter, stop);
    }
}

}  // namespace lumarest

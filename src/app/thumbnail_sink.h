#pragma once

#include <QImage>
#include <atomic>
#include <cstdint>
#include <functional>

#include "carving/carving_scan.h"

namespace lumarest {

class CThumbsListCtrl;

// Turns each finished carved file into its thumbnail on the scan's thread and hands picture,
// name and position to the thumbnail list on the window's thread, in order. The image count
// is what was handed over, so a thorough pass starts at the exact position even while the
// list is still drawing the last ones.
class ThumbnailSink : public CarvedFileSink {
  public:
    // `accept` runs on the window's thread before each thumbnail is added; false drops it
    // (a list emptied by Back never takes thumbnails of an earlier search).
    ThumbnailSink(CThumbsListCtrl& list, std::function<bool()> accept);

    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) override;
    std::uint64_t ImageCount() const override { return imageCount_.load(); }

  private:
    CThumbsListCtrl* list_;
    std::function<bool()> accept_;
    QImage placeholder_;
    std::atomic<std::uint64_t> imageCount_{0};
};

}  // namespace lumarest

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <vector>

#include "carving/carving_scan.h"
#include "output/carved_picture_pool.h"
#include "output/picture.h"

namespace lumarest {

class CThumbsListCtrl;

// Turns each finished carved file into its thumbnail and its final verdict on the decoding
// pool, and hands them to the thumbnail list on the window's thread in the order of their
// positions. The image count is what was handed over, so a thorough pass starts at the exact
// position even while the pool is still decoding the last ones.
class ThumbnailSink : public CarvedFileSink {
  public:
    // Files handed over and not yet in the list, and the carved bytes they hold.
    static constexpr std::size_t kMostWaitingFiles = CarvedPicturePool::kMostWaitingFiles;
    static constexpr std::uint64_t kMostWaitingBytes = CarvedPicturePool::kMostWaitingBytes;

    // `accept` runs on the window's thread before each thumbnail is added; false drops it
    // (a list emptied by Back never takes thumbnails of an earlier search). Once `stop` is
    // requested the scan no longer waits for room, and files not decoded yet are shown with
    // the placeholder and the scan's own verdict.
    ThumbnailSink(CThumbsListCtrl& list, std::function<bool()> accept, std::stop_token stop = {},
                  unsigned decoders = DecodingThreads());
    // Every file handed over reaches the list (decoded unless stopped) before the pool ends.
    ~ThumbnailSink() override = default;
    ThumbnailSink(const ThumbnailSink&) = delete;
    ThumbnailSink& operator=(const ThumbnailSink&) = delete;

    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) override;
    std::uint64_t ImageCount() const override { return imageCount_.load(); }
    bool TakesPieces(const CarvedFile& file) const override;
    void FileSpilled(const CarvedFile& file, std::span<const std::uint8_t> piece) override;

  private:
    void Post(CheckedCarvedFile checked) const;

    CThumbsListCtrl* list_;
    std::function<bool()> accept_;
    std::atomic<std::uint64_t> imageCount_{0};
    // Last, so it ends first: its decoders post to the list with `accept_`.
    CarvedPicturePool pool_;
};

}  // namespace lumarest

#pragma once

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "carving/carving_scan.h"
#include "output/kept_bytes.h"
#include "output/picture.h"

namespace lumarest {

class CThumbsListCtrl;

// Turns each finished carved file into its thumbnail and its final verdict on a pool of decoding
// threads, and hands them to the thumbnail list on the window's thread in the order of their
// positions. The scan waits while too many files (or too many bytes) wait to be decoded, so a
// fast disk never fills the memory. The image count is what was handed over, so a thorough pass
// starts at the exact position even while the pool is still decoding the last ones.
class ThumbnailSink : public CarvedFileSink {
  public:
    // Files handed over and not yet in the list, and the carved bytes they hold.
    static constexpr std::size_t kMostWaitingFiles = 16;
    static constexpr std::uint64_t kMostWaitingBytes = std::uint64_t{32} << 20;

    // `accept` runs on the window's thread before each thumbnail is added; false drops it
    // (a list emptied by Back never takes thumbnails of an earlier search). Once `stop` is
    // requested the scan no longer waits for room, and files not decoded yet are shown with
    // the placeholder and the scan's own verdict.
    ThumbnailSink(CThumbsListCtrl& list, std::function<bool()> accept, std::stop_token stop = {},
                  unsigned decoders = DecodingThreads());
    // Every file handed over reaches the list (decoded unless stopped) before the pool ends.
    ~ThumbnailSink() override;
    ThumbnailSink(const ThumbnailSink&) = delete;
    ThumbnailSink& operator=(const ThumbnailSink&) = delete;

    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) override;
    std::uint64_t ImageCount() const override { return imageCount_.load(); }
    // A picture is held whole for decoding; any other type that comes in pieces keeps only its
    // first piece and what comes last (where a clip keeps its movie box), so a long video is
    // never held in memory.
    bool TakesPieces(const CarvedFile& file) const override;
    void FileSpilled(const CarvedFile& file, std::span<const std::uint8_t> piece) override;

  private:
    struct Job {
        std::uint64_t serial = 0;
        CarvedFile file;
        std::vector<std::uint8_t> head;   // the first piece of a file handed on in pieces
        std::vector<std::uint8_t> bytes;  // the rest that came last, or the whole file
        std::uint64_t bytesAt = 0;        // where `bytes` start in the file
    };
    struct Thumbnail {
        QImage picture;
        CarvedFile file;
        bool decodes = false;
    };

    bool FirstPieceIsOf(const CarvedFile& file) const;
    void Decode();
    static KeptBytes KeptOf(const Job& job, std::uint64_t saved);
    Thumbnail Made(Job& job, bool decode) const;
    // Hands every thumbnail whose predecessors are all handed over to the list. Under mutex_.
    void PostReady();

    // The first piece of the file being handed on in pieces, whose it is, and the bytes of all
    // its pieces; scan thread only.
    std::vector<std::uint8_t> firstPiece_;
    std::uint64_t piecesBytes_ = 0;
    std::string firstPieceName_;
    std::uint64_t firstPieceSector_ = 0;
    CThumbsListCtrl* list_;
    std::function<bool()> accept_;
    std::stop_token stop_;
    QImage placeholder_;
    std::atomic<std::uint64_t> imageCount_{0};

    std::mutex mutex_;
    std::condition_variable_any room_;
    std::condition_variable work_;
    std::deque<Job> queue_;
    std::map<std::uint64_t, Thumbnail> made_;
    std::uint64_t nextSerial_ = 0;
    std::uint64_t nextToPost_ = 0;
    std::size_t waitingFiles_ = 0;
    std::uint64_t waitingBytes_ = 0;
    bool closing_ = false;
    std::vector<std::thread> decoders_;
};

}  // namespace lumarest

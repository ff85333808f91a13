#pragma once

#include <QImage>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "core/carved_file.h"
#include "output/kept_bytes.h"
#include "output/picture.h"

namespace lumarest {

// A carved file once its picture was looked at.
struct CheckedCarvedFile {
    CarvedFile file;  // its verdict final when it was decoded, the scan's otherwise
    // The 100 x 80 thumbnail when thumbnails are wanted: the picture squeezed, a strip of film
    // for a clip with no frame to show, the placeholder for anything else. Null otherwise.
    QImage thumbnail;
    std::optional<bool> decodes;  // empty when it was not decoded
};

// Decodes carved files on a pool of threads beside the scan and gives each its final verdict.
// The scan waits while too many files (or too many bytes) are handed over and not handed back,
// so a fast disk never fills the memory; the files are handed back one at a time, in the order
// they came, on whichever thread decoded the last one needed.
class CarvedPicturePool {
  public:
    static constexpr std::size_t kMostWaitingFiles = 16;
    static constexpr std::uint64_t kMostWaitingBytes = std::uint64_t{32} << 20;

    enum class Wanted { Thumbnails, DecodesOnly };
    using Take = std::function<void(CheckedCarvedFile)>;

    // Once `stop` is requested the scan no longer waits for room, and files not decoded yet
    // are handed back undecoded with the scan's verdict.
    CarvedPicturePool(Wanted wanted, Take take, std::stop_token stop = {},
                      unsigned decoders = DecodingThreads());
    // Finishes.
    ~CarvedPicturePool();
    CarvedPicturePool(const CarvedPicturePool&) = delete;
    CarvedPicturePool& operator=(const CarvedPicturePool&) = delete;

    // A picture is held whole for decoding; any other type that comes in pieces keeps only its
    // first piece and what comes last (where a clip keeps its movie box), so a long video is
    // never held in memory.
    static bool TakesPieces(const CarvedFile& file);
    // The next piece of the file being carved in pieces.
    void PieceCarved(const CarvedFile& file, std::span<const std::uint8_t> piece);
    // Queues a finished file with its bytes (those after its pieces when it came in pieces);
    // waits for room.
    void FileCarved(const CarvedFile& file, std::vector<std::uint8_t> bytes);
    // Returns once every file queued was handed back; nothing may be queued after.
    void Finish();

  private:
    struct Job {
        std::uint64_t serial = 0;
        CarvedFile file;
        std::vector<std::uint8_t> head;   // the first piece of a file handed on in pieces
        std::vector<std::uint8_t> bytes;  // the rest that came last, or the whole file
        std::uint64_t bytesAt = 0;        // where `bytes` start in the file
    };

    bool FirstPieceIsOf(const CarvedFile& file) const;
    void Decode();
    static KeptBytes KeptOf(const Job& job, std::uint64_t saved);
    CheckedCarvedFile Checked(Job& job, bool decode) const;
    // Hands back every file whose predecessors are all handed back. Under mutex_.
    void HandBackReady();

    Wanted wanted_;
    Take take_;
    std::stop_token stop_;
    QImage placeholder_;

    // The first piece of the file being carved in pieces, whose it is, and the bytes of all
    // its pieces; scan thread only.
    std::vector<std::uint8_t> firstPiece_;
    std::uint64_t piecesBytes_ = 0;
    std::string firstPieceName_;
    std::uint64_t firstPieceSector_ = 0;

    std::mutex mutex_;
    std::condition_variable_any room_;
    std::condition_variable work_;
    std::deque<Job> queue_;
    std::map<std::uint64_t, CheckedCarvedFile> checked_;
    std::uint64_t nextSerial_ = 0;
    std::uint64_t nextToHandBack_ = 0;
    std::size_t waitingFiles_ = 0;
    std::uint64_t waitingBytes_ = 0;
    bool closing_ = false;
    std::vector<std::thread> decoders_;
};

}  // namespace lumarest

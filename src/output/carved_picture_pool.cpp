#include "output/carved_picture_pool.h"

#include <algorithm>

#include "carving/carved_verdict.h"
#include "carving/formats/capture_time.h"
#include "carving/formats/carved_format.h"
#include "output/clip_picture.h"

namespace lumarest {

CarvedPicturePool::CarvedPicturePool(Wanted wanted, Take take, std::stop_token stop,
                                     unsigned decoders)
    : wanted_(wanted), take_(std::move(take)), stop_(std::move(stop)) {
    if (wanted_ == Wanted::Thumbnails) {
        placeholder_ = ThumbnailOf({}, PlaceholderPicture());
    }
    decoders = std::max(decoders, 1U);
    for (unsigned i = 0; i < decoders; ++i) {
        decoders_.emplace_back([this] { Decode(); });
    }
}

CarvedPicturePool::~CarvedPicturePool() {
    Finish();
}

void CarvedPicturePool::Finish() {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    work_.notify_all();
    for (std::thread& decoder : decoders_) {
        decoder.join();
    }
    decoders_.clear();
}

bool CarvedPicturePool::TakesPieces(const CarvedFile& file) {
    return !IsPictureType(file.extension);
}

bool CarvedPicturePool::FirstPieceIsOf(const CarvedFile& file) const {
    return !firstPiece_.empty() && file.name == firstPieceName_ &&
           file.firstSector == firstPieceSector_;
}

void CarvedPicturePool::PieceCarved(const CarvedFile& file, std::span<const std::uint8_t> piece) {
    // A stopped pass drops its open file: its piece belongs to no later file.
    if (!FirstPieceIsOf(file)) {
        firstPiece_.assign(piece.begin(), piece.end());
        firstPieceName_ = file.name;
        firstPieceSector_ = file.firstSector;
        piecesBytes_ = 0;
    }
    piecesBytes_ += piece.size();
}

void CarvedPicturePool::FileCarved(const CarvedFile& file, std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> head;
    std::uint64_t bytesAt = 0;
    if (FirstPieceIsOf(file)) {
        // Its start and its end are what a decoder looks at.
        head = std::move(firstPiece_);
        bytesAt = piecesBytes_;
    } else if (file.savedBytes != 0 && bytes.size() > file.savedBytes) {
        // Only the saved bytes are decoded; the carved ones past them wait for nothing.
        bytes.resize(file.savedBytes);
        bytes.shrink_to_fit();
    }
    firstPiece_.clear();
    const std::uint64_t size = head.size() + bytes.size();
    std::unique_lock lock(mutex_);
    // A file larger than the bound still goes in once nothing else waits. A stopped scan goes
    // on at once; its last file is still handed back.
    room_.wait(lock, stop_, [&] {
        return waitingFiles_ == 0 ||
               (waitingFiles_ < kMostWaitingFiles && waitingBytes_ + size <= kMostWaitingBytes);
    });
    ++waitingFiles_;
    waitingBytes_ += size;
    queue_.push_back(Job{nextSerial_++, file, std::move(head), std::move(bytes), bytesAt});
    lock.unlock();
    work_.notify_one();
}

void CarvedPicturePool::Decode() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return !queue_.empty() || closing_; });
        if (queue_.empty()) {
            return;
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        // After a stop the rest is handed back at once rather than decoded: the window waits
        // for it.
        CheckedCarvedFile checked = Checked(job, !stop_.stop_requested());
        const std::size_t size = job.head.size() + job.bytes.size();
        job.head = {};
        job.bytes = {};
        lock.lock();
        waitingBytes_ -= size;
        checked_.emplace(job.serial, std::move(checked));
        HandBackReady();
        room_.notify_all();
    }
}

// The bytes the file is saved with; all that came while the scan does not know its end.
KeptBytes CarvedPicturePool::KeptOf(const Job& job, std::uint64_t saved) {
    const std::uint64_t size = saved == 0 ? job.bytesAt + job.bytes.size() : saved;
    const auto within = [size](std::span<const std::uint8_t> part, std::uint64_t at) {
        return part.first(static_cast<std::size_t>(
            std::min<std::uint64_t>(part.size(), size > at ? size - at : 0)));
    };
    if (job.head.empty()) {
        return KeptBytes::Whole(within(job.bytes, 0));
    }
    return KeptBytes{within(job.head, 0), within(job.bytes, job.bytesAt), job.bytesAt, size};
}

CheckedCarvedFile CarvedPicturePool::Checked(Job& job, bool decode) const {
    CheckedCarvedFile checked{std::move(job.file), placeholder_, std::nullopt};
    if (!decode) {
        return checked;
    }
    CarvedFile& file = checked.file;
    const KeptBytes kept = KeptOf(job, file.savedBytes);
    const QImage picture = DecodeCarvedPicture(kept, file.extension, file.verdict);
    const bool decodes = !picture.isNull();
    checked.decodes = decodes;
    file.verdict = VerdictAfterDecoding(file.verdict, IsPictureType(file.extension), decodes);
    if (wanted_ != Wanted::Thumbnails) {
        return checked;
    }
    const QSize thumbnail(kThumbnailWidth, kThumbnailHeight);
    if (decodes) {
        // Squeezed to 100 x 80 as the list shows every picture; one of that size stays as it is.
        checked.thumbnail =
            picture.size() == thumbnail
                ? picture
                : picture.scaled(thumbnail, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else if (MediaKindOf(file.extension) == MediaKind::Clip) {
        const auto seconds = MovieLengthSeconds(kept.tail);
        checked.thumbnail =
            FilmStripPicture(seconds ? seconds : MovieLengthSeconds(kept.head), thumbnail);
    }
    return checked;
}

void CarvedPicturePool::HandBackReady() {
    for (auto next = checked_.find(nextToHandBack_); next != checked_.end();
         next = checked_.find(nextToHandBack_)) {
        CheckedCarvedFile checked = std::move(next->second);
        checked_.erase(next);
        ++nextToHandBack_;
        --waitingFiles_;
        // Under the lock, so the files are taken in the order they came.
        take_(std::move(checked));
    }
}

}  // namespace lumarest

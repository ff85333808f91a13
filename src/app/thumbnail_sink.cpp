#include "app/thumbnail_sink.h"

#include <QMetaObject>
#include <algorithm>

#include "carving/carved_verdict.h"
#include "carving/formats/capture_time.h"
#include "carving/formats/carved_format.h"
#include "output/clip_picture.h"
#include "output/picture.h"
#include "ui/thumbs_list_ctrl.h"

namespace lumarest {

ThumbnailSink::ThumbnailSink(CThumbsListCtrl& list, std::function<bool()> accept,
                             std::stop_token stop, unsigned decoders)
    : list_(&list),
      accept_(std::move(accept)),
      stop_(std::move(stop)),
      placeholder_(ThumbnailOf({}, PlaceholderPicture())) {
    decoders = std::max(decoders, 1U);
    for (unsigned i = 0; i < decoders; ++i) {
        decoders_.emplace_back([this] { Decode(); });
    }
}

ThumbnailSink::~ThumbnailSink() {
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    work_.notify_all();
    for (std::thread& decoder : decoders_) {
        decoder.join();
    }
}

bool ThumbnailSink::TakesPieces(const CarvedFile& file) const {
    return !IsPictureType(file.extension);
}

bool ThumbnailSink::FirstPieceIsOf(const CarvedFile& file) const {
    return !firstPiece_.empty() && file.name == firstPieceName_ &&
           file.firstSector == firstPieceSector_;
}

void ThumbnailSink::FileSpilled(const CarvedFile& file, std::span<const std::uint8_t> piece) {
    // A stopped pass drops its open file: its piece belongs to no later file.
    if (!FirstPieceIsOf(file)) {
        firstPiece_.assign(piece.begin(), piece.end());
        firstPieceName_ = file.name;
        firstPieceSector_ = file.firstSector;
        piecesBytes_ = 0;
    }
    piecesBytes_ += piece.size();
}

void ThumbnailSink::FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> head;
    std::uint64_t bytesAt = 0;
    if (FirstPieceIsOf(file)) {
        // Its start and its end are what a decoder looks at.
        head = std::move(firstPiece_);
        bytesAt = piecesBytes_;
    }
    firstPiece_.clear();
    // The image list holds index + 1 pictures once the thumbnail at `index` is added.
    imageCount_.store(file.position + 1);
    std::unique_lock lock(mutex_);
    // A file larger than the bound still goes in once nothing else waits. A stopped scan goes
    // on at once; its last file is still shown.
    room_.wait(lock, stop_, [&] {
        return waitingFiles_ == 0 || (waitingFiles_ < kMostWaitingFiles &&
                                      waitingBytes_ + bytes.size() <= kMostWaitingBytes);
    });
    ++waitingFiles_;
    waitingBytes_ += head.size() + bytes.size();
    queue_.push_back(Job{nextSerial_++, file, std::move(head), std::move(bytes), bytesAt});
    lock.unlock();
    work_.notify_one();
}

void ThumbnailSink::Decode() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return !queue_.empty() || closing_; });
        if (queue_.empty()) {
            return;
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        // After a stop the rest is shown at once rather than decoded: the window waits for it.
        Thumbnail made = Made(job, !stop_.stop_requested());
        const std::size_t size = job.head.size() + job.bytes.size();
        job.head = {};
        job.bytes = {};
        lock.lock();
        waitingBytes_ -= size;
        made_.emplace(job.serial, std::move(made));
        PostReady();
        room_.notify_all();
    }
}

// The bytes the file is saved with; all that came while the scan does not know its end.
KeptBytes ThumbnailSink::KeptOf(const Job& job, std::uint64_t saved) {
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

ThumbnailSink::Thumbnail ThumbnailSink::Made(Job& job, bool decode) const {
    Thumbnail made{placeholder_, std::move(job.file), false};
    if (!decode) {
        return made;
    }
    const QSize thumbnail(kThumbnailWidth, kThumbnailHeight);
    const KeptBytes kept = KeptOf(job, made.file.savedBytes);
    const QImage picture = DecodeCarvedPicture(kept, made.file.extension, made.file.verdict);
    made.decodes = !picture.isNull();
    if (!made.decodes && MediaKindOf(made.file.extension) == MediaKind::Clip) {
        const auto seconds = MovieLengthSeconds(kept.tail);
        made.picture =
            FilmStripPicture(seconds ? seconds : MovieLengthSeconds(kept.head), thumbnail);
    }
    if (made.decodes) {
        // Squeezed to 100 x 80 as the list shows every picture; one of that size stays as it is.
        made.picture =
            picture.size() == thumbnail
                ? picture
                : picture.scaled(thumbnail, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    made.file.verdict =
        VerdictAfterDecoding(made.file.verdict, IsPictureType(made.file.extension), made.decodes);
    return made;
}

void ThumbnailSink::PostReady() {
    for (auto next = made_.find(nextToPost_); next != made_.end(); next = made_.find(nextToPost_)) {
        Thumbnail made = std::move(next->second);
        made_.erase(next);
        ++nextToPost_;
        --waitingFiles_;
        CThumbsListCtrl* list = list_;
        // Posted in order to one receiver under the lock, so the list takes them in the order
        // of their positions.
        QMetaObject::invokeMethod(
            list,
            [list, accept = accept_, made = std::move(made)] {
                if (!accept || accept()) {
                    list->AddCarvedThumbnail(made.picture, made.file, made.decodes);
                }
            },
            Qt::QueuedConnection);
    }
}

}  // namespace lumarest

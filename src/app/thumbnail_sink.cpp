#include "app/thumbnail_sink.h"

#include <QMetaObject>

#include "ui/thumbs_list_ctrl.h"

namespace lumarest {

ThumbnailSink::ThumbnailSink(CThumbsListCtrl& list, std::function<bool()> accept,
                             std::stop_token stop, unsigned decoders)
    : list_(&list),
      accept_(std::move(accept)),
      pool_(
          CarvedPicturePool::Wanted::Thumbnails,
          [this](CheckedCarvedFile checked) { Post(std::move(checked)); }, std::move(stop),
          decoders) {}

bool ThumbnailSink::TakesPieces(const CarvedFile& file) const {
    return CarvedPicturePool::TakesPieces(file);
}

void ThumbnailSink::FileSpilled(const CarvedFile& file, std::span<const std::uint8_t> piece) {
    pool_.PieceCarved(file, piece);
}

void ThumbnailSink::FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) {
    // The image list holds index + 1 pictures once the thumbnail at `index` is added.
    imageCount_.store(file.position + 1);
    pool_.FileCarved(file, std::move(bytes));
}

void ThumbnailSink::Post(CheckedCarvedFile checked) const {
    CThumbsListCtrl* list = list_;
    // The pool hands the files back one at a time in order, and they are posted to one
    // receiver, so the list takes them in the order of their positions.
    QMetaObject::invokeMethod(
        list,
        [list, accept = accept_, checked = std::move(checked)] {
            if (!accept || accept()) {
                list->AddCarvedThumbnail(checked.thumbnail, checked.file,
                                         checked.decodes.value_or(false));
            }
        },
        Qt::QueuedConnection);
}

}  // namespace lumarest

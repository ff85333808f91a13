#include "app/thumbnail_sink.h"

#include <QMetaObject>

#include "output/picture.h"
#include "ui/thumbs_list_ctrl.h"

namespace lumarest {

ThumbnailSink::ThumbnailSink(CThumbsListCtrl& list, std::function<bool()> accept)
    : list_(&list), accept_(std::move(accept)), placeholder_(PlaceholderPicture()) {}

void ThumbnailSink::FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) {
    // The image list holds index + 1 pictures once the thumbnail at `index` is added.
    imageCount_.store(file.position + 1);
    QImage thumbnail = ThumbnailOf(bytes, placeholder_);
    const QString name = QString::fromStdString(file.name);
    const int index = static_cast<int>(file.position);
    CThumbsListCtrl* list = list_;
    // Posted in order to one receiver, so the list takes them in the order of their positions.
    QMetaObject::invokeMethod(
        list,
        [list, accept = accept_, thumbnail = std::move(thumbnail), name, index] {
            if (!accept || accept()) {
                list->AddThumbnail(thumbnail, name, index);
            }
        },
        Qt::QueuedConnection);
}

}  // namespace lumarest

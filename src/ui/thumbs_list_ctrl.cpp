#include "ui/thumbs_list_ctrl.h"

#include <QPixmap>
#include <QScrollBar>
#include <QTimer>

#include "output/picture.h"

namespace lumarest {

namespace {
// Room around each picture for its name and a little air.
constexpr int kGridWidth = kThumbnailWidth + 44;
constexpr int kGridHeight = kThumbnailHeight + 34;
constexpr int kCellMargin = 4;
// One "line" of the view when it follows new thumbnails.
constexpr int kLinePixels = 20;
}  // namespace

CThumbsListCtrl::CThumbsListCtrl(QWidget* parent) : QListWidget(parent) {
    setViewMode(QListView::IconMode);
    setIconSize(QSize(kThumbnailWidth, kThumbnailHeight));
    setGridSize(QSize(kGridWidth, kGridHeight));
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setUniformItemSizes(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::StyledPanel);
}

void CThumbsListCtrl::AddThumbnail(const QImage& picture, const QString& name, int index) {
    if (index < 0) {
        return;
    }
    images_.resize(index + 1);
    images_[index] = picture.convertToFormat(QImage::Format_RGB888);
    auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(images_[index])), name);
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    item->setToolTip(name);
    // Every cell as wide as the grid, so no name is cut because the first one was shorter.
    item->setSizeHint(QSize(kGridWidth - kCellMargin, kGridHeight - kCellMargin));
    insertItem(index, item);
    if (++scrollCounter_ == kScrollEvery) {
        scrollCounter_ = 0;
        // After the view has laid the new items out, as a posted scroll would.
        QTimer::singleShot(0, this, [this] { ScrollDownLines(kScrollLines); });
    }
}

void CThumbsListCtrl::ScrollDownLines(int lines) {
    // The new items must be laid out first, or the bar does not reach far enough yet.
    executeDelayedItemsLayout();
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + lines * kLinePixels);
}

void CThumbsListCtrl::Clear() {
    clear();
    images_.clear();
    scrollCounter_ = 0;
}

}  // namespace lumarest

#include "ui/thumbs_list_ctrl.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>
#include <QTimer>

#include "carving/carved_file_resave.h"
#include "carving/carved_verdict.h"
#include "output/picture.h"

namespace lumarest {

namespace {
// Room around each picture for its name and a little air.
constexpr int kGridWidth = kThumbnailWidth + 44;
constexpr int kGridHeight = kThumbnailHeight + 34;
constexpr int kCellMargin = 4;
// One "line" of the view when it follows new thumbnails.

// What an item keeps besides its picture and name.
constexpr int kFileRole = Qt::UserRole + 1;
constexpr int kDecodesRole = Qt::UserRole + 2;

// The verdict's mark: a filled disc with a white ring and a white sign, in the top right corner.
constexpr int kMarkRadius = 9;
constexpr int kMarkInset = 2;
constexpr qreal kRingWidth = 1.5;
constexpr qreal kSignWidth = 2.0;

void DrawSign(QPainter& painter, CarvedVerdict verdict) {
    QPainterPath sign;
    switch (verdict) {
        case CarvedVerdict::Complete:  // a tick
            sign.moveTo(-4.5, 0.0);
            sign.lineTo(-1.5, 3.5);
            sign.lineTo(4.5, -3.5);
            break;
        case CarvedVerdict::Truncated:  // a torn edge
            sign.moveTo(-5.0, 2.0);
            sign.lineTo(-2.5, -2.0);
            sign.lineTo(0.0, 2.0);
            sign.lineTo(2.5, -2.0);
            sign.lineTo(5.0, 2.0);
            break;
        case CarvedVerdict::NotAPicture:  // a cross
            sign.moveTo(-3.5, -3.5);
            sign.lineTo(3.5, 3.5);
            sign.moveTo(-3.5, 3.5);
            sign.lineTo(3.5, -3.5);
            break;
        case CarvedVerdict::Unchecked:
            break;
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, kSignWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(sign);
}

QString SizeText(std::uint64_t bytes) {
    return QLocale(QLocale::English).toString(static_cast<qulonglong>(bytes));
}
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
    // The view follows new thumbnails only while the user has not moved it away from the
    // newest ones: a picture being looked at never jumps off the screen.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        const QScrollBar* bar = verticalScrollBar();
        followingNewest_ = bar->sliderPosition() >= bar->maximum();
    });
}

QListWidgetItem* CThumbsListCtrl::AddThumbnail(const QImage& picture, const QString& name,
                                               int index) {
    if (index < 0) {
        return nullptr;
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
        QTimer::singleShot(0, this, [this] { FollowNewest(); });
    }
    return item;
}

void CThumbsListCtrl::AddCarvedThumbnail(const QImage& picture, const CarvedFile& file,
                                         bool decodes) {
    QListWidgetItem* item =
        AddThumbnail(picture, QString::fromStdString(file.name), static_cast<int>(file.position));
    if (item == nullptr) {
        return;
    }
    // The image list keeps the plain picture; only the item's icon carries the mark.
    item->setIcon(QIcon(QPixmap::fromImage(
        MarkedPicture(images_.at(static_cast<int>(file.position)), file.verdict))));
    item->setToolTip(ToolTipOf(file));
    item->setData(kFileRole, QVariant::fromValue(file));
    item->setData(kDecodesRole, decodes);
    item->setHidden(Filtered(item));
}

void CThumbsListCtrl::FollowNewest() {
    if (!followingNewest_) {
        return;
    }
    // The new items must be laid out first, or the bar does not reach far enough yet.
    executeDelayedItemsLayout();
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void CThumbsListCtrl::Clear() {
    clear();
    images_.clear();
    scrollCounter_ = 0;
    followingNewest_ = true;
}

bool CThumbsListCtrl::Filtered(const QListWidgetItem* item) const {
    if (!onlyComplete_) {
        return false;
    }
    const QVariant file = item->data(kFileRole);
    // A complete file that does not decode is no picture to show, whatever its type.
    return !file.isValid() || file.value<CarvedFile>().verdict != CarvedVerdict::Complete ||
           !item->data(kDecodesRole).toBool();
}

void CThumbsListCtrl::ShowOnlyComplete(bool only) {
    onlyComplete_ = only;
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem* it = item(row);
        const bool hidden = Filtered(it);
        it->setHidden(hidden);
        // A hidden item is never saved as chosen.
        if (hidden) {
            it->setSelected(false);
        }
    }
}

int CThumbsListCtrl::ShownCount() const {
    int shown = 0;
    for (int row = 0; row < count(); ++row) {
        shown += item(row)->isHidden() ? 0 : 1;
    }
    return shown;
}

std::vector<CarvedFile> CThumbsListCtrl::ChosenFiles() const {
    std::vector<CarvedFile> selected;
    std::vector<CarvedFile> shown;
    for (int row = 0; row < count(); ++row) {
        const QListWidgetItem* it = item(row);
        const QVariant file = it->data(kFileRole);
        if (it->isHidden() || !file.isValid()) {
            continue;
        }
        shown.push_back(file.value<CarvedFile>());
        if (it->isSelected()) {
            selected.push_back(shown.back());
        }
    }
    return selected.empty() ? shown : selected;
}

QImage CThumbsListCtrl::MarkedPicture(const QImage& picture, CarvedVerdict verdict) {
    const QColor fill = MarkColour(verdict);
    if (!fill.isValid()) {
        return picture;
    }
    QImage marked = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&marked);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPoint centre(marked.width() - kMarkRadius - kMarkInset, kMarkRadius + kMarkInset);
    painter.translate(centre);
    painter.setPen(QPen(Qt::white, kRingWidth));
    painter.setBrush(fill);
    painter.drawEllipse(QPointF(0, 0), kMarkRadius - kRingWidth / 2, kMarkRadius - kRingWidth / 2);
    DrawSign(painter, verdict);
    return marked;
}

QPoint CThumbsListCtrl::MarkCentre() {
    return {kThumbnailWidth - kMarkRadius - kMarkInset, kMarkRadius + kMarkInset};
}

QColor CThumbsListCtrl::MarkColour(CarvedVerdict verdict) {
    switch (verdict) {
        case CarvedVerdict::Complete:
            return {40, 160, 60};
        case CarvedVerdict::Truncated:
            return {240, 140, 20};
        case CarvedVerdict::NotAPicture:
            return {210, 40, 40};
        case CarvedVerdict::Unchecked:
            break;
    }
    return {};
}

QString CThumbsListCtrl::ToolTipOf(const CarvedFile& file) {
    return QStringLiteral("%1\n%2\nSaved size: %3 bytes")
        .arg(QString::fromStdString(file.name), QString::fromUtf8(VerdictText(file.verdict)),
             SizeText(BytesToSave(file)));
}

}  // namespace lumarest

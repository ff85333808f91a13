#include "ui/deleted_mark.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace lumarest {

namespace {

constexpr qreal kFadedOpacity = 0.6;
constexpr int kFallbackSide = 16;
const QColor kCrossColour(200, 0, 0);

QPixmap MarkedPixmap(const QPixmap& plain) {
    QPixmap marked(plain.size());
    marked.setDevicePixelRatio(plain.devicePixelRatio());
    marked.fill(Qt::transparent);
    QPainter painter(&marked);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(kFadedOpacity);
    painter.drawPixmap(0, 0, plain);
    painter.setOpacity(1.0);
    // The cross takes the lower right half of the picture, drawn in logical pixels.
    const QSizeF size = plain.deviceIndependentSize();
    const qreal side = std::max<qreal>(size.width(), size.height()) / 2;
    const QRectF box(size.width() - side, size.height() - side, side, side);
    QPen pen(kCrossColour, std::max<qreal>(1.5, side / 4), Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    const qreal inset = pen.widthF() / 2;
    const QRectF cross = box.adjusted(inset, inset, -inset, -inset);
    painter.drawLine(cross.topLeft(), cross.bottomRight());
    painter.drawLine(cross.topRight(), cross.bottomLeft());
    return marked;
}

}  // namespace

QIcon DeletedIcon(const QIcon& icon) {
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty()) {
        sizes << QSize(kFallbackSide, kFallbackSide);
    }
    QIcon result;
    for (const QSize& size : sizes) {
        const QPixmap plain = icon.isNull() ? QPixmap() : icon.pixmap(size);
        if (plain.isNull()) {
            QPixmap blank(size);
            blank.fill(Qt::transparent);
            result.addPixmap(MarkedPixmap(blank));
        } else {
            result.addPixmap(MarkedPixmap(plain));
        }
    }
    return result;
}

QIcon DeletedIconCache::Marked(qint64 key, const QIcon& plain) {
    const auto found = marked_.constFind(key);
    if (found != marked_.constEnd()) {
        return *found;
    }
    return *marked_.insert(key, DeletedIcon(plain));
}

void DeletedFilterModel::SetShow(Show show) {
    if (show == show_) {
        return;
    }
    show_ = show;
    invalidateFilter();
}

bool DeletedFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (show_ == Show::All) {
        return true;
    }
    const bool deleted =
        sourceModel()->index(sourceRow, 0, sourceParent).data(kDeletedRole).toBool();
    return deleted == (show_ == Show::DeletedOnly);
}

}  // namespace lumarest

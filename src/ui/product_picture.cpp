#include "ui/product_picture.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QPixmap>

namespace lumarest {

namespace {

const QColor kBackgroundTop(0x1f, 0x6f, 0xb2);
const QColor kBackgroundBottom(0x0d, 0x3b, 0x66);
const QColor kCardColour(0xfb, 0xfb, 0xf7);
const QColor kSkyColour(0x8e, 0xc9, 0xf0);
const QColor kHillColour(0x3f, 0x9e, 0x5a);
const QColor kSunColour(0xf7, 0xc3, 0x3c);
const QColor kLensRim(0xf2, 0x8c, 0x28);

void DrawBackground(QPainter& painter, const QRectF& area) {
    QLinearGradient gradient(area.topLeft(), area.bottomRight());
    gradient.setColorAt(0.0, kBackgroundTop);
    gradient.setColorAt(1.0, kBackgroundBottom);
    const qreal radius = area.width() * 0.18;
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(area, radius, radius);
}

// A small landscape photograph, slightly turned, as a recovered picture looks in the list.
void DrawPhotoCard(QPainter& painter, const QRectF& area) {
    const qreal unit = area.width();
    painter.save();
    painter.translate(area.left() + unit * 0.42, area.top() + unit * 0.44);
    painter.rotate(-10);
    const QRectF card(-unit * 0.30, -unit * 0.24, unit * 0.60, unit * 0.48);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawRoundedRect(card.translated(unit * 0.02, unit * 0.025), unit * 0.03, unit * 0.03);
    painter.setBrush(kCardColour);
    painter.drawRoundedRect(card, unit * 0.03, unit * 0.03);

    const QRectF photo = card.adjusted(unit * 0.04, unit * 0.04, -unit * 0.04, -unit * 0.04);
    painter.setBrush(kSkyColour);
    painter.drawRect(photo);
    painter.setBrush(kSunColour);
    painter.drawEllipse(QPointF(photo.right() - unit * 0.10, photo.top() + unit * 0.09),
                        unit * 0.05, unit * 0.05);
    QPainterPath hills;
    hills.moveTo(photo.bottomLeft());
    hills.lineTo(photo.left(), photo.bottom() - unit * 0.10);
    hills.quadTo(photo.left() + unit * 0.14, photo.bottom() - unit * 0.26,
                 photo.left() + unit * 0.28, photo.bottom() - unit * 0.10);
    hills.quadTo(photo.left() + unit * 0.40, photo.bottom() - unit * 0.20, photo.right(),
                 photo.bottom() - unit * 0.08);
    hills.lineTo(photo.bottomRight());
    hills.closeSubpath();
    painter.setBrush(kHillColour);
    painter.drawPath(hills);
    painter.restore();
}

void DrawMagnifier(QPainter& painter, const QRectF& area) {
    const qreal unit = area.width();
    const QPointF centre(area.left() + unit * 0.62, area.top() + unit * 0.58);
    const qreal radius = unit * 0.17;
    QPen handle(kLensRim, unit * 0.07, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(handle);
    painter.drawLine(centre + QPointF(radius * 0.75, radius * 0.75),
                     centre + QPointF(radius * 1.75, radius * 1.75));
    painter.setPen(QPen(kLensRim, unit * 0.045));
    painter.setBrush(QColor(255, 255, 255, 70));
    painter.drawEllipse(centre, radius, radius);
}

}  // namespace

void DrawProductPicture(QPainter& painter, const QRectF& area) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    DrawBackground(painter, area);
    DrawPhotoCard(painter, area);
    DrawMagnifier(painter, area);
    painter.restore();
}

QIcon ProductIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        DrawProductPicture(painter, QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace lumarest

#include "ui/text_progress_ctrl.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace lumarest {

namespace {
constexpr int kFullPosition = 100;
constexpr int kBarHeight = 22;
const QColor kTrackColour(0xe6, 0xea, 0xef);
const QColor kFillColour(0x1f, 0x6f, 0xb2);
const QColor kBorderColour(0xa8, 0xb3, 0xbf);
}  // namespace

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CTextProgressCtrl::SetPos(int position) {
    position_ = std::clamp(position, 0, kFullPosition);
    update();
}

void CTextProgressCtrl::SetText(const QString& text) {
    text_ = text;
    update();
}

QString CTextProgressCtrl::ShownText() const {
    const QString percentage = QStringLiteral("%1%").arg(position_);
    if (text_.isEmpty()) {
        return percentage;
    }
    // The engines' texts may end in the blank that parts them from the number.
    return text_.endsWith(QLatin1Char(' ')) ? text_ + percentage : text_ + u' ' + percentage;
}

QSize CTextProgressCtrl::sizeHint() const {
    return {200, kBarHeight};
}

void CTextProgressCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(kBorderColour);
    painter.setBrush(kTrackColour);
    painter.drawRoundedRect(track, 4, 4);

    QRectF filled = track;
    filled.setWidth(track.width() * position_ / kFullPosition);
    QPainterPath trackPath;
    trackPath.addRoundedRect(track, 4, 4);
    painter.save();
    painter.setClipPath(trackPath);
    painter.fillRect(filled, kFillColour);
    painter.restore();

    // The text in dark over the track and in white over the filled part.
    const QString shown = ShownText();
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(track, Qt::AlignCenter, shown);
    painter.save();
    painter.setClipRect(filled);
    painter.setPen(Qt::white);
    painter.drawText(track, Qt::AlignCenter, shown);
    painter.restore();
}

}  // namespace lumarest

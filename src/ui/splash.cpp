#include "ui/splash.h"

#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include "ui/product_picture.h"

namespace lumarest {

namespace {
constexpr int kWidth = 460;
constexpr int kHeight = 260;
constexpr int kPictureSize = 150;
const char* const kTitle = "Lumarest";
const char* const kTagLine = "Brings back lost photos and files";
}  // namespace

CSplash::CSplash(QWidget* parent, int showMilliseconds)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setWindowTitle(kTitle);
    setFixedSize(kWidth, kHeight);
    QTimer::singleShot(showMilliseconds, this, &QDialog::accept);
}

void CSplash::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0.0, QColor(0xf7, 0xf9, 0xfc));
    background.setColorAt(1.0, QColor(0xdc, 0xe6, 0xf1));
    painter.fillRect(rect(), background);
    painter.setPen(QColor(0x8a, 0x9b, 0xad));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const QRectF picture(30, (height() - kPictureSize) / 2.0, kPictureSize, kPictureSize);
    DrawProductPicture(painter, picture);

    QFont titleFont = font();
    titleFont.setPointSize(30);
    titleFont.setBold(true);
    painter.setFont(titleFont);
    painter.setPen(QColor(0x0d, 0x3b, 0x66));
    const QRectF textArea(picture.right() + 25, picture.top(), width() - picture.right() - 45,
                          kPictureSize);
    painter.drawText(textArea.adjusted(0, 20, 0, 0), Qt::AlignLeft | Qt::AlignTop, kTitle);

    QFont tagFont = font();
    tagFont.setPointSize(11);
    painter.setFont(tagFont);
    painter.setPen(QColor(0x3a, 0x4a, 0x5c));
    painter.drawText(textArea.adjusted(0, 80, 0, 0),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, kTagLine);
}

}  // namespace lumarest

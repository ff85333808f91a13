#include "app/header_band.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

#include "app/wizard_texts.h"
#include "ui/product_picture.h"

namespace lumarest {

namespace {
constexpr int kBandHeight = 58;
constexpr int kPictureSize = 40;
constexpr int kMargin = 12;
const char* const kProductName = "Lumarest";
const char* const kTagLine = "Photo and file recovery wizard";
const char* const kMenuCaption = "Menu";
}  // namespace

HeaderBand::HeaderBand(QWidget* parent) : QWidget(parent) {
    setFixedHeight(kBandHeight);
    aboutAction = new QAction(QString::fromUtf8(texts::kAboutMenuItem), this);
    aboutAction->setObjectName(QStringLiteral("aboutMenuAction"));

    auto* menu = new QMenu(this);
    menu->addAction(aboutAction);
    menuButton = new QToolButton;
    menuButton->setObjectName(QStringLiteral("windowMenuButton"));
    menuButton->setText(QString::fromUtf8(kMenuCaption));
    menuButton->setMenu(menu);
    menuButton->setPopupMode(QToolButton::InstantPopup);
    menuButton->setAutoRaise(true);
    menuButton->setStyleSheet(QStringLiteral(
        "QToolButton { color: white; padding: 4px 8px; border: 1px solid rgba(255,255,255,90);"
        " border-radius: 4px; } QToolButton:hover { background: rgba(255,255,255,40); }"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kMargin, 0, kMargin, 0);
    layout->addStretch();
    layout->addWidget(menuButton);
}

void HeaderBand::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient band(0, 0, width(), 0);
    band.setColorAt(0.0, QColor(0x0d, 0x3b, 0x66));
    band.setColorAt(1.0, QColor(0x1f, 0x6f, 0xb2));
    painter.fillRect(rect(), band);

    const QRectF picture(kMargin, (height() - kPictureSize) / 2.0, kPictureSize, kPictureSize);
    DrawProductPicture(painter, picture);

    QFont nameFont = font();
    nameFont.setPointSize(nameFont.pointSize() + 7);
    nameFont.setBold(true);
    painter.setFont(nameFont);
    painter.setPen(Qt::white);
    const int textLeft = static_cast<int>(picture.right()) + kMargin;
    painter.drawText(QRect(textLeft, 6, width() / 2, height() / 2 + 4),
                     Qt::AlignLeft | Qt::AlignBottom, QString::fromUtf8(kProductName));
    QFont tagFont = font();
    painter.setFont(tagFont);
    painter.setPen(QColor(0xd6, 0xe6, 0xf5));
    painter.drawText(QRect(textLeft, height() / 2 + 10, width() / 2, height() / 2 - 10),
                     Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(kTagLine));
}

void HeaderBand::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(aboutAction);
    menu.exec(event->globalPos());
}

}  // namespace lumarest

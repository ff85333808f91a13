#include "ui/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include "ui/product_picture.h"

#ifndef LUMAREST_VERSION
#define LUMAREST_VERSION ""
#endif

namespace lumarest {

namespace {
constexpr int kPictureSize = 96;
const char* const kDescription =
    "Lumarest finds lost and deleted files, above all digital pictures, on hard disks, memory "
    "cards and disk images. It only ever reads the disk it searches.";

QPixmap ProductPixmap() {
    QPixmap pixmap(kPictureSize, kPictureSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    DrawProductPicture(painter, QRectF(0, 0, kPictureSize, kPictureSize));
    return pixmap;
}
}  // namespace

QString CAboutDlg::VersionText() {
    const QString version = QStringLiteral(LUMAREST_VERSION);
    return version.isEmpty() ? QString() : QStringLiteral("Version %1").arg(version);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Lumarest"));
    setWindowIcon(ProductIcon());

    auto* picture = new QLabel;
    picture->setPixmap(ProductPixmap());
    picture->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("Lumarest"));
    QFont nameFont = name->font();
    nameFont.setPointSize(nameFont.pointSize() + 8);
    nameFont.setBold(true);
    name->setFont(nameFont);
    name->setObjectName(QStringLiteral("aboutName"));

    auto* version = new QLabel(VersionText());
    version->setObjectName(QStringLiteral("aboutVersion"));
    auto* description = new QLabel(QString::fromUtf8(kDescription));
    description->setWordWrap(true);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addSpacing(8);
    texts->addWidget(description);
    texts->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setFixedWidth(440);
}

}  // namespace lumarest

#include "ui/advance_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/product_picture.h"

namespace lumarest {

namespace {
const char* const kHeading =
    "Please read this information carefully before selecting the Destination path to save the "
    "recovered data.";
const char* const kNotes[] = {
    "1. Choose a folder on another drive than the one you are recovering from. Saving on the "
    "same drive can overwrite the very files you want to get back.",
    "2. Make sure you have the access rights to write into the chosen folder, and to read the "
    "drive being recovered.",
    "3. Make sure the chosen drive has enough free space for all the data you want to recover.",
};
const char* const kContinue = "Continue...";
}  // namespace

CAdvanceDlg::CAdvanceDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Lumarest"));
    setWindowIcon(ProductIcon());

    auto* heading = new QLabel(QString::fromUtf8(kHeading));
    heading->setWordWrap(true);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    heading->setFont(headingFont);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addSpacing(6);
    for (const char* note : kNotes) {
        auto* label = new QLabel(QString::fromUtf8(note));
        label->setWordWrap(true);
        layout->addWidget(label);
    }

    auto* proceed = new QPushButton(QString::fromUtf8(kContinue));
    proceed->setDefault(true);
    connect(proceed, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(proceed);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setFixedWidth(460);
}

}  // namespace lumarest

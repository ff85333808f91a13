#include "ui/msg_stand.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <iterator>

#include "ui/product_picture.h"

namespace lumarest {

const char* const CMsgStand::kLines[] = {
    "Searching of files in specified disk sectors range is completed.",
    "Among recovered thumbnails, if you do not find the preview of files that you were trying to "
    "recover, please use any of the following methods to recover your data:",
    "1. Please make sure that you have also enabled the ‘Thorough Scanning Algorithm’ search on "
    "the software screen, where you select Searching Criteria before launching the scanning for "
    "recovery.",
    "2. Please allow every process to be completed up to 100 percent. Make sure that your storage "
    "media is connected to your computer properly and you have sufficient user access privileges "
    "of your computer to run Software on it.",
    "Even if all above methods and recovery procedures do not help, Our Support Team may still "
    "assist you in recovering your lost data by just analyzing the nature of data loss and files "
    "that you are trying to recover.",
};
const std::size_t CMsgStand::kLineCount = std::size(CMsgStand::kLines);

namespace {
const char* const kOk = "OK";
constexpr int kWidth = 480;
}  // namespace

CMsgStand::CMsgStand(QWidget* parent)
    : CMsgStand(std::vector<std::string>(std::begin(kLines), std::end(kLines)), parent) {}

CMsgStand::CMsgStand(const std::vector<std::string>& lines, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Lumarest"));
    setWindowIcon(ProductIcon());

    auto* layout = new QVBoxLayout(this);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto* label = new QLabel(QString::fromStdString(lines[i]));
        label->setWordWrap(true);
        if (i == 0) {
            QFont headingFont = label->font();
            headingFont.setBold(true);
            label->setFont(headingFont);
        }
        layout->addWidget(label);
        layout->addSpacing(i == 0 ? 8 : 2);
    }

    auto* close = new QPushButton(QString::fromUtf8(kOk));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    // Wrapped lines need the width before the box knows its height.
    setFixedSize(kWidth, layout->totalHeightForWidth(kWidth));
}

}  // namespace lumarest

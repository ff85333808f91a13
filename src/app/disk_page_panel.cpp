#include "app/disk_page_panel.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/wizard_texts.h"

namespace lumarest {

namespace {
const char* const kModesTitle = "How do you want to search?";
const char* const kStandardExplanation =
    "Rebuilds the folders and files of a FAT16, FAT32, NTFS or exFAT partition.";
const char* const kAdvanceExplanation =
    "Looks for file systems that no partition table describes any more.";
const char* const kRawExplanation = "Finds pictures and files by their contents, sector by sector.";
}  // namespace

DiskPagePanel::DiskPagePanel(QWidget* parent) : QWidget(parent) {
    auto* group = new QGroupBox(QString::fromUtf8(kModesTitle));
    group->setObjectName(QStringLiteral("searchModeGroup"));
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setSpacing(2);
    modes_ = new QButtonGroup(this);
    standardButton = AddMode(texts::kStandardSearch, kStandardExplanation, SearchMode::Standard,
                             "standardSearchButton");
    advanceButton = AddMode(texts::kAdvanceSearch, kAdvanceExplanation, SearchMode::Advance,
                            "advanceSearchButton");
    rawButton = AddMode(texts::kRawSearch, kRawExplanation, SearchMode::Raw, "rawSearchButton");
    for (QRadioButton* button : {standardButton, advanceButton, rawButton}) {
        groupLayout->addWidget(button);
        groupLayout->addWidget(button->property("explanation").value<QLabel*>());
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
    connect(modes_, &QButtonGroup::idClicked, this,
            [this](int id) { emit ModeChosen(static_cast<SearchMode>(id)); });
}

QRadioButton* DiskPagePanel::AddMode(const char* caption, const char* explanation, SearchMode mode,
                                     const char* objectName) {
    auto* button = new QRadioButton(QString::fromUtf8(caption));
    button->setObjectName(QString::fromUtf8(objectName));
    auto* label = new QLabel(QString::fromUtf8(explanation));
    label->setIndent(24);
    label->setWordWrap(true);
    QPalette dimmed = label->palette();
    dimmed.setColor(QPalette::WindowText, QColor(0x55, 0x60, 0x6e));
    label->setPalette(dimmed);
    button->setProperty("explanation", QVariant::fromValue(label));
    modes_->addButton(button, static_cast<int>(mode));
    return button;
}

void DiskPagePanel::SetModesEnabled(bool standard, bool advance, bool raw) {
    standardButton->setEnabled(standard);
    advanceButton->setEnabled(advance);
    rawButton->setEnabled(raw);
}

void DiskPagePanel::ClearModes() {
    // An exclusive group never lets its last checked button go.
    modes_->setExclusive(false);
    for (QAbstractButton* button : modes_->buttons()) {
        button->setChecked(false);
    }
    modes_->setExclusive(true);
}

void DiskPagePanel::CheckMode(SearchMode mode) {
    if (QRadioButton* button = ModeButton(mode)) {
        button->setChecked(true);
    } else {
        ClearModes();
    }
}

QRadioButton* DiskPagePanel::ModeButton(SearchMode mode) const {
    return qobject_cast<QRadioButton*>(modes_->button(static_cast<int>(mode)));
}

}  // namespace lumarest

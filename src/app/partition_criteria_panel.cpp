#include "app/partition_criteria_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/page_widgets.h"
#include "app/partition_details.h"
#include "app/wizard_texts.h"
#include "ui/text_progress_ctrl.h"

namespace lumarest {

namespace {
const char* const kPartitionTitle = "Selected partition";
const char* const kPartitionTypeCaption = "Partition Type :";
const char* const kMoreTitle = "Lost partitions";
const char* const kMoreExplanation =
    "If a partition you are looking for is not listed on the left, let Lumarest search the "
    "disk for it.";
const char* const kPartitionSearchCaption = "Searching Partition :";
const char* const kCodePageCaption = "Short-name code page:";

struct CodePageEntry {
    const char* name;
    const char* text;
};
// The DOS code pages short names were written in; the first is the default.
constexpr CodePageEntry kCodePages[] = {
    {"CP437", "437 (United States)"},   {"CP850", "850 (Western Europe)"},
    {"CP852", "852 (Central Europe)"},  {"CP855", "855 (Cyrillic)"},
    {"CP857", "857 (Turkish)"},         {"CP860", "860 (Portuguese)"},
    {"CP861", "861 (Icelandic)"},       {"CP862", "862 (Hebrew)"},
    {"CP863", "863 (Canadian French)"}, {"CP865", "865 (Nordic)"},
    {"CP866", "866 (Russian)"},         {"CP869", "869 (Greek)"},
};

QLineEdit* MakeSectorField(const char* objectName) {
    auto* field = new QLineEdit;
    field->setObjectName(QString::fromUtf8(objectName));
    field->setAlignment(Qt::AlignRight);
    return field;
}

}  // namespace

PartitionCriteriaPanel::PartitionCriteriaPanel(QWidget* parent) : QWidget(parent) {
    modeLabel = new QLabel;
    modeLabel->setObjectName(QStringLiteral("modeLabel"));
    QFont modeFont = modeLabel->font();
    modeFont.setBold(true);
    modeLabel->setFont(modeFont);

    auto* partitionGroup = new QGroupBox(QString::fromUtf8(kPartitionTitle));
    partitionTypeCaption = new QLabel(QString::fromUtf8(kPartitionTypeCaption));
    partitionTypeBox = new QComboBox;
    partitionTypeBox->setObjectName(QStringLiteral("partitionTypeBox"));
    for (const char* type : kPartitionTypes) {
        partitionTypeBox->addItem(QString::fromUtf8(type));
    }
    startCaption = new QLabel(QString::fromUtf8(texts::kStartSectorCaption));
    startField = MakeSectorField("partitionStartField");
    endCaption = new QLabel(QString::fromUtf8(texts::kEndSectorCaption));
    endField = MakeSectorField("partitionEndField");
    auto* grid = new QGridLayout(partitionGroup);
    grid->addWidget(new QLabel(QStringLiteral("Search Mode :")), 0, 0);
    grid->addWidget(modeLabel, 0, 1);
    grid->addWidget(partitionTypeCaption, 1, 0);
    grid->addWidget(partitionTypeBox, 1, 1);
    grid->addWidget(startCaption, 2, 0);
    grid->addWidget(startField, 2, 1);
    grid->addWidget(endCaption, 3, 0);
    grid->addWidget(endField, 3, 1);
    codePageBox = new QComboBox;
    codePageBox->setObjectName(QStringLiteral("codePageBox"));
    for (const CodePageEntry& page : kCodePages) {
        codePageBox->addItem(QString::fromUtf8(page.text), QString::fromUtf8(page.name));
    }
    grid->addWidget(new QLabel(QString::fromUtf8(kCodePageCaption)), 4, 0);
    grid->addWidget(codePageBox, 4, 1);
    grid->setColumnStretch(1, 1);

    auto* moreGroup = new QGroupBox(QString::fromUtf8(kMoreTitle));
    auto* moreExplanation = new QLabel(QString::fromUtf8(kMoreExplanation));
    moreExplanation->setWordWrap(true);
    searchMorePartitionsButton =
        MakeButton(texts::kSearchMorePartitions, "searchMorePartitionsButton");
    stopSearchingPartitionsButton =
        MakeButton(texts::kStopSearchingPartitions, "stopSearchingPartitionsButton");
    stopSearchingPartitionsButton->hide();
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(searchMorePartitionsButton);
    buttonRow->addWidget(stopSearchingPartitionsButton);
    buttonRow->addStretch();

    partitionSearchRow = new QWidget;
    auto* searchRowLayout = new QHBoxLayout(partitionSearchRow);
    searchRowLayout->setContentsMargins(0, 0, 0, 0);
    searchRowLayout->addWidget(new QLabel(QString::fromUtf8(kPartitionSearchCaption)));
    partitionSearchBar = new CTextProgressCtrl;
    partitionSearchBar->setObjectName(QStringLiteral("partitionSearchBar"));
    searchRowLayout->addWidget(partitionSearchBar, 1);
    partitionSearchRow->hide();

    partitionSearchLayout = new QVBoxLayout(moreGroup);
    partitionSearchLayout->addWidget(moreExplanation);
    partitionSearchLayout->addLayout(buttonRow);
    partitionSearchLayout->addWidget(partitionSearchRow);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(partitionGroup);
    layout->addWidget(moreGroup);
    layout->addStretch();
}

QString PartitionCriteriaPanel::CodePageName() const {
    return codePageBox->currentData().toString();
}

bool PartitionCriteriaPanel::SelectCodePage(const QString& name) {
    const int index = codePageBox->findData(name);
    if (index < 0) {
        return false;
    }
    codePageBox->setCurrentIndex(index);
    return true;
}

}  // namespace lumarest

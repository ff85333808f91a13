#include "app/raw_criteria_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/wizard_texts.h"
#include "ui/range_slider.h"

namespace lumarest {

namespace {
const char* const kScopeTitle = "Where to search";
const char* const kDestinationTitle = "Destination";
const char* const kThoroughTitle = "Thorough scanning";
const char* const kPartitionSearchTitle = "Lost partitions";

QRadioButton* MakeScopeButton(const char* caption, const char* objectName) {
    auto* button = new QRadioButton(QString::fromUtf8(caption));
    button->setObjectName(QString::fromUtf8(objectName));
    return button;
}

QLineEdit* MakeSectorField(const char* objectName) {
    auto* field = new QLineEdit;
    field->setObjectName(QString::fromUtf8(objectName));
    field->setAlignment(Qt::AlignRight);
    return field;
}
}  // namespace

RawCriteriaPanel::RawCriteriaPanel(QWidget* parent) : QWidget(parent) {
    auto* scopeGroup = new QGroupBox(QString::fromUtf8(kScopeTitle));
    entireDiskButton = MakeScopeButton(texts::kEntireDisk, "entireDiskButton");
    sectorRangeButton = MakeScopeButton(texts::kSectorRange, "sectorRangeButton");
    sectorsInPartitionButton =
        MakeScopeButton(texts::kSectorsInPartition, "sectorsInPartitionButton");
    scopes_ = new QButtonGroup(this);
    scopes_->addButton(entireDiskButton, kEntireDisk);
    scopes_->addButton(sectorRangeButton, kSectorRange);
    scopes_->addButton(sectorsInPartitionButton, kSectorsInPartition);
    auto* scopeRow = new QHBoxLayout;
    scopeRow->addWidget(entireDiskButton);
    scopeRow->addWidget(sectorRangeButton);
    scopeRow->addWidget(sectorsInPartitionButton);
    scopeRow->addStretch();

    startCaption = new QLabel(QString::fromUtf8(texts::kStartSectorCaption));
    startField = MakeSectorField("rawStartField");
    endCaption = new QLabel(QString::fromUtf8(texts::kEndSectorCaption));
    endField = MakeSectorField("rawEndField");
    partitionFieldsArea = new QWidget;
    partitionFieldsArea->setObjectName(QStringLiteral("partitionFieldsArea"));
    auto* fieldRow = new QHBoxLayout(partitionFieldsArea);
    fieldRow->setContentsMargins(0, 0, 0, 0);
    fieldRow->addWidget(startCaption);
    fieldRow->addWidget(startField, 1);
    fieldRow->addSpacing(12);
    fieldRow->addWidget(endCaption);
    fieldRow->addWidget(endField, 1);

    sectorRangeArea = new QWidget;
    sectorRangeArea->setObjectName(QStringLiteral("sectorRangeArea"));
    auto* rangeLayout = new QVBoxLayout(sectorRangeArea);
    rangeLayout->setContentsMargins(0, 0, 0, 0);
    sliderExplanation = new QLabel(QString::fromUtf8(texts::kSliderExplanation));
    sliderExplanation->setWordWrap(true);
    slider = new CRangeSlider;
    slider->setObjectName(QStringLiteral("rangeSlider"));
    sliderMinField = MakeSectorField("sliderMinField");
    sliderStartField = MakeSectorField("sliderStartField");
    sliderEndField = MakeSectorField("sliderEndField");
    sliderMaxField = MakeSectorField("sliderMaxField");
    auto* sliderFields = new QGridLayout;
    const char* const captions[] = {texts::kSliderMinCaption, texts::kSliderStartCaption,
                                    texts::kSliderEndCaption, texts::kSliderMaxCaption};
    QLineEdit* const fields[] = {sliderMinField, sliderStartField, sliderEndField, sliderMaxField};
    for (int column = 0; column < 4; ++column) {
        sliderCaptions[column] = new QLabel(QString::fromUtf8(captions[column]));
        sliderFields->addWidget(sliderCaptions[column], 0, column);
        sliderFields->addWidget(fields[column], 1, column);
    }
    rangeLayout->addWidget(sliderExplanation);
    rangeLayout->addWidget(slider);
    rangeLayout->addLayout(sliderFields);
    sectorRangeArea->hide();

    partitionSearchArea = new QGroupBox(QString::fromUtf8(kPartitionSearchTitle));
    partitionSearchArea->setObjectName(QStringLiteral("rawPartitionSearchArea"));
    searchMorePartitionsButton = new QPushButton(QString::fromUtf8(texts::kSearchMorePartitions));
    searchMorePartitionsButton->setObjectName(QStringLiteral("rawSearchMorePartitionsButton"));
    searchMorePartitionsButton->setAutoDefault(false);
    stopSearchingPartitionsButton =
        new QPushButton(QString::fromUtf8(texts::kStopSearchingPartitions));
    stopSearchingPartitionsButton->setObjectName(
        QStringLiteral("rawStopSearchingPartitionsButton"));
    stopSearchingPartitionsButton->setAutoDefault(false);
    stopSearchingPartitionsButton->hide();
    auto* partitionButtonRow = new QHBoxLayout;
    partitionButtonRow->addWidget(searchMorePartitionsButton);
    partitionButtonRow->addWidget(stopSearchingPartitionsButton);
    partitionButtonRow->addStretch();
    partitionSearchLayout = new QVBoxLayout(partitionSearchArea);
    partitionSearchLayout->addLayout(partitionButtonRow);
    partitionSearchArea->hide();

    auto* scopeLayout = new QVBoxLayout(scopeGroup);
    scopeLayout->addLayout(scopeRow);
    scopeLayout->addWidget(partitionFieldsArea);
    scopeLayout->addWidget(sectorRangeArea);
    scopeLayout->addWidget(partitionSearchArea);

    auto* destinationGroup = new QGroupBox(QString::fromUtf8(kDestinationTitle));
    destinationLabel = new QLabel(QString::fromUtf8(texts::kDestinationLabel));
    destinationLabel->setWordWrap(true);
    destinationField = new QLineEdit;
    destinationField->setObjectName(QStringLiteral("destinationField"));
    browseButton = new QPushButton(QString::fromUtf8(texts::kBrowse));
    browseButton->setObjectName(QStringLiteral("browseButton"));
    browseButton->setAutoDefault(false);
    auto* destinationRow = new QHBoxLayout;
    destinationRow->addWidget(destinationField, 1);
    destinationRow->addWidget(browseButton);
    nameByDateBox = new QCheckBox(QString::fromUtf8(texts::kNameByDateBox));
    nameByDateBox->setObjectName(QStringLiteral("nameByDateBox"));
    auto* destinationLayout = new QVBoxLayout(destinationGroup);
    destinationLayout->addWidget(destinationLabel);
    destinationLayout->addLayout(destinationRow);
    destinationLayout->addWidget(nameByDateBox);

    auto* thoroughGroup = new QGroupBox(QString::fromUtf8(kThoroughTitle));
    thoroughBox = new QCheckBox(QString::fromUtf8(texts::kThoroughBox));
    thoroughBox->setObjectName(QStringLiteral("thoroughBox"));
    thoroughExplanation = new QLabel;
    thoroughExplanation->setObjectName(QStringLiteral("thoroughExplanation"));
    thoroughExplanation->setWordWrap(true);
    QPalette dimmed = thoroughExplanation->palette();
    dimmed.setColor(QPalette::WindowText, QColor(0x55, 0x60, 0x6e));
    thoroughExplanation->setPalette(dimmed);
    auto* thoroughLayout = new QVBoxLayout(thoroughGroup);
    thoroughLayout->addWidget(thoroughBox);
    thoroughLayout->addWidget(thoroughExplanation);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scopeGroup);
    layout->addWidget(destinationGroup);
    layout->addWidget(thoroughGroup);
    layout->addStretch();

    connect(scopes_, &QButtonGroup::idClicked, this, &RawCriteriaPanel::ScopeChosen);
}

RawCriteriaPanel::Scope RawCriteriaPanel::CheckedScope() const {
    const int id = scopes_->checkedId();
    return id < 0 ? kEntireDisk : static_cast<Scope>(id);
}

void RawCriteriaPanel::CheckScope(Scope scope) {
    scopes_->button(scope)->setChecked(true);
}

void RawCriteriaPanel::ClearScopes() {
    scopes_->setExclusive(false);
    for (QAbstractButton* button : scopes_->buttons()) {
        button->setChecked(false);
    }
    scopes_->setExclusive(true);
}

}  // namespace lumarest

// The raw search of the wizard: its scope on the criteria page ("Entire Disk", "Sector Range"
// with the slider, "Sectors in Partition"), what the scan is given, and the way to the results
// page and back to the criteria page.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/disk_key.h"
#include "app/partition_criteria_panel.h"
#include "app/raw_criteria_panel.h"
#include "app/raw_results_page.h"
#include "app/raw_scan_worker.h"
#include "app/search_end_notice.h"
#include "app/search_statistics_panel.h"
#include "app/window_reporter.h"
#include "app/wizard_texts.h"
#include "app/wizard_window.h"
#include "carving/carved_file_resave.h"
#include "carving/carved_file_saver.h"
#include "core/text_number.h"
#include "ui/mytreectrl.h"
#include "ui/range_slider.h"
#include "ui/text_progress_ctrl.h"
#include "ui/thumbs_list_ctrl.h"
#include "ui/tree_images.h"

namespace lumarest {

namespace {
std::int64_t FieldNumber(const QLineEdit* field) {
    return ParseTextNumber(field->text().trimmed().toStdString());
}

// The slider and its fields are 32-bit: a larger number is held at the 32-bit ends.
std::int32_t SliderNumber(std::int64_t number) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(number, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

std::int32_t SliderNumberOfField(const QLineEdit* field) {
    return SliderNumber(FieldNumber(field));
}

}  // namespace

void CChildDialogExDemoDlg::OnScopeChosen(int scope) {
    switch (scope) {
        case RawCriteriaPanel::kEntireDisk:
            ChooseEntireDisk();
            break;
        case RawCriteriaPanel::kSectorRange:
            ChooseSectorRange();
            break;
        case RawCriteriaPanel::kSectorsInPartition:
            ChooseSectorsInPartition();
            break;
        default:
            break;
    }
}

void CChildDialogExDemoDlg::ChooseEntireDisk() {
    StopPartitionSearchWithoutAsking();
    rawCriteria_->startField->setText(QStringLiteral("0"));
    rawCriteria_->endField->setText(QString::number(run_.shownDisk.totalSectors));
    ShowScopeControls(RawCriteriaPanel::kEntireDisk);
    SetStatusText(texts::kEntireDiskStatus);
}

void CChildDialogExDemoDlg::ChooseSectorRange() {
    StopPartitionSearchWithoutAsking();
    // Disks past the 32-bit slider are covered up to its end; the other scopes reach further.
    const std::int32_t maximum =
        run_.shownDisk.totalSectors > 0
            ? SliderNumber(static_cast<std::int64_t>(std::min<std::uint64_t>(
                  run_.shownDisk.totalSectors, std::numeric_limits<std::int32_t>::max())))
            : run_.shownDisk.diskMaximum;
    CRangeSlider* slider = rawCriteria_->slider;
    slider->SetMinMax(0, maximum);
    slider->SetRange(0, maximum);
    slider->SetVisualMinMax(0, 0);
    run_.sliderMirror = {0, 0, maximum, maximum};
    WriteSliderFields();
    rawCriteria_->sliderMinField->setEnabled(false);
    rawCriteria_->sliderMaxField->setEnabled(false);
    ShowScopeControls(RawCriteriaPanel::kSectorRange);
    SetStatusText(texts::kSectorRangeStatus);
}

void CChildDialogExDemoDlg::ChooseSectorsInPartition() {
    // A fresh tree from the disk's partition table each time; a search still filling the old
    // one ends first.
    StopPartitionSearchWithoutAsking();
    partitionTree_->SetTree(nullptr);
    run_.partitionTree = std::make_unique<TreeModel>();
    const TreeItem disk = run_.partitionTree->InsertItem(
        kNoItem, "Disk " + std::to_string(run_.selectedDiskNumber), kImageTopItem, kImageTopItem);
    run_.defaultPartitionItem = kNoItem;
    run_.partitionsListed = false;
    if (!run_.FloppySelected()) {
        ListDiskPartitions(disk);
    }
    run_.partitionTree->Expand(disk, ExpandAction::Expand);
    partitionTree_->SetTree(run_.partitionTree.get());
    partitionTree_->setEnabled(true);
    rawCriteria_->searchMorePartitionsButton->setEnabled(true);

    const bool listed = !run_.partitionTree->Children(disk).empty();
    if (!listed && run_.selectedDiskNumber < run_.diskPartitionLists.size()) {
        run_.diskPartitionLists[run_.selectedDiskNumber].Forget();
    }
    partitionTreeShownForScope_ = true;
    ShowScopeControls(RawCriteriaPanel::kSectorsInPartition);
    if (listed) {
        // The fields show the partition that will be searched, never the whole disk unasked.
        SelectDefaultPartition();
    } else {
        StartPartitionSearch();
    }
    SetStatusText(texts::kSectorsInPartitionStatus);
}

// The controls of `scope` and nothing of the other two; also how Back from the results finds
// the page as it was left.
void CChildDialogExDemoDlg::ShowScopeControls(int scope) {
    const bool range = scope == RawCriteriaPanel::kSectorRange;
    const bool partition = scope == RawCriteriaPanel::kSectorsInPartition;
    rawCriteria_->partitionFieldsArea->setVisible(!range);
    rawCriteria_->partitionFieldsArea->setEnabled(true);
    rawCriteria_->sectorRangeArea->setVisible(range);
    rawCriteria_->partitionSearchArea->setVisible(partition);
    if (partition && run_.partitionTree) {
        selectedDiskCard_->hide();
        partitionTree_->show();
        leftCaption_->setText(QString::fromUtf8(kPartitionsCaption));
    } else {
        HidePartitionTreeOfScope();
    }
}

void CChildDialogExDemoDlg::HidePartitionTreeOfScope() {
    if (partitionTreeShownForScope_) {
        partitionTree_->hide();
    }
    selectedDiskCard_->show();
    leftCaption_->setText(QString::fromUtf8(kRawLeftCaption));
}

void CChildDialogExDemoDlg::OnSliderMoved(double left, double right) {
    ReadSliderFields();
    const CRangeSlider* slider = rawCriteria_->slider;
    const double start = slider->Inverted() ? -right : left;
    const double end = slider->Inverted() ? -left : right;
    run_.sliderMirror[1] = SliderNumber(static_cast<std::int64_t>(std::trunc(start)));
    run_.sliderMirror[2] = SliderNumber(static_cast<std::int64_t>(std::trunc(end)));
    WriteSliderFields();
}

void CChildDialogExDemoDlg::OnSliderFieldEdited() {
    ReadSliderFields();
    const std::int32_t start = run_.sliderMirror[1];
    const std::int32_t end = run_.sliderMirror[2];
    // A start past the end leaves the slider where it is until the fields make sense again.
    if (end >= start) {
        rawCriteria_->slider->SetRange(start, end);
    }
}

void CChildDialogExDemoDlg::ReadSliderFields() {
    run_.sliderMirror = {SliderNumberOfField(rawCriteria_->sliderMinField),
                         SliderNumberOfField(rawCriteria_->sliderStartField),
                         SliderNumberOfField(rawCriteria_->sliderEndField),
                         SliderNumberOfField(rawCriteria_->sliderMaxField)};
}

void CChildDialogExDemoDlg::WriteSliderFields() {
    QLineEdit* const fields[] = {rawCriteria_->sliderMinField, rawCriteria_->sliderStartField,
                                 rawCriteria_->sliderEndField, rawCriteria_->sliderMaxField};
    for (std::size_t i = 0; i < run_.sliderMirror.size(); ++i) {
        fields[i]->setText(QString::number(run_.sliderMirror[i]));
    }
}

// The raw range from the checked scope; false, with the message shown, when it is refused.
bool CChildDialogExDemoDlg::ReadRawScope() {
    const bool range = rawCriteria_->CheckedScope() == RawCriteriaPanel::kSectorRange;
    const QLineEdit* startField = range ? rawCriteria_->sliderStartField : rawCriteria_->startField;
    const QLineEdit* endField = range ? rawCriteria_->sliderEndField : rawCriteria_->endField;
    run_.rawFirstSector = FieldNumber(startField);
    run_.rawLastSector = FieldNumber(endField);
    if (range && run_.rawLastSector > FieldNumber(rawCriteria_->sliderMaxField)) {
        ShowMessage(texts::kEndAboveDiskMaximum, MessageIcon::Error);
        return false;
    }
    // A negative start would reach the sector reader as a sector near 2^64.
    if (run_.rawFirstSector < 0) {
        ShowMessage(texts::kStartSectorNotValid, MessageIcon::Error);
        return false;
    }
    return true;
}

bool CChildDialogExDemoDlg::RefuseDestination() {
    run_.destinationFolder = rawCriteria_->destinationField->text().trimmed().toStdString();
    scanDestinationHandle_.reset();
    if (run_.destinationFolder.empty()) {
        return false;
    }
    std::string refusal;
    // Kept open for the search: the files are written into the folder checked here.
    scanDestinationHandle_ =
        OpenDestinationFolder(run_.destinationFolder, SelectedDevicePath(run_), refusal);
    if (!scanDestinationHandle_) {
        ShowMessage(refusal, MessageIcon::Error);
        return true;
    }
    return false;
}

void CChildDialogExDemoDlg::LoadSignatureLists() {
    const std::string folder = env_.dataFolder.toStdString();
    // Read afresh each time the criteria are shown, never appended to the last reading.
    generalSignatures_.clear();
    thoroughSignatures_.clear();
    std::vector<std::string> refused =
        LoadSignatureFile(SignatureFilePath(folder, kGeneralSignatureFile), generalSignatures_);
    for (std::string& message : LoadSignatureFile(SignatureFilePath(folder, kThoroughSignatureFile),
                                                  thoroughSignatures_)) {
        refused.push_back(std::move(message));
    }
    if (refused.empty()) {
        return;
    }
    std::string text = "These signature records are left out of the search:";
    for (std::string& message : refused) {
        message.front() =
            static_cast<char>(std::toupper(static_cast<unsigned char>(message.front())));
        text += "\n" + message;
    }
    ShowMessage(text, MessageIcon::Warning);
}

void CChildDialogExDemoDlg::StartRawSearch() {
    ShowRawResultsPage();
    stage_ = WizardStage::RawResults;
    SetStatusText(texts::kRawSearchRunningStatus);
    run_.ClearEntryTables();

    RawScanInputs inputs;
    inputs.generalSignatures = generalSignatures_;
    inputs.thoroughSignatures = thoroughSignatures_;
    inputs.firstSector = run_.rawFirstSector;
    inputs.lastSector = run_.rawLastSector;
    inputs.disk = ShownDiskInputs(SelectedDevicePath(run_));
    inputs.thorough = rawCriteria_->thoroughBox->isChecked();
    inputs.nameByDate = rawCriteria_->nameByDateBox->isChecked();
    inputs.destinationFolder = run_.destinationFolder;
    inputs.destination = std::exchange(scanDestinationHandle_, std::nullopt);
    rawPage_->StartScan(std::move(inputs));
}

void CChildDialogExDemoDlg::ShowRawResultsPage() {
    SetWizardButtonsEnabled(false);
    // The criteria are left as Back finds them again.
    rawCriteria_->hide();
    partitionTree_->hide();
    selectedDiskCard_->show();
    leftCaption_->setText(QString::fromUtf8(kRawLeftCaption));
    rawPage_->Enter();
    pages_->setCurrentWidget(rawPage_->Widget());
}

void CChildDialogExDemoDlg::OnStopSearch() {
    if (rawPage_->Saving()) {
        rawPage_->Stop();
        return;
    }
    if (run_.searchMode == SearchMode::Standard) {
        StopStandardSearch();
        return;
    }
    if (run_.searchMode == SearchMode::Advance) {
        StopAdvanceSearch();
        return;
    }
    rawPage_->Stop();
}

void CChildDialogExDemoDlg::OnOpenContainingFolder() {
    rawPage_->OpenDestination();
}

void CChildDialogExDemoDlg::TakeBackStatistics() {
    if (stagesRightColumn_->indexOf(statistics_) >= 0) {
        return;
    }
    if (QLayout* holder = statistics_->parentWidget()->layout()) {
        holder->removeWidget(statistics_);
    }
    stagesRightColumn_->insertWidget(stagesRightColumn_->indexOf(partitionCriteria_) + 1,
                                     statistics_);
    // Moved from a hidden page, the panel would wait for the event loop to show again.
    statistics_->show();
}

void CChildDialogExDemoDlg::BackToRawCriteria() {
    if (!rawPage_->Leave()) {
        return;
    }
    TakeBackStatistics();
    pages_->setCurrentWidget(stagesPage_);
    rightCaption_->setText(QString::fromUtf8(kCriteriaCaption));
    rawCriteria_->show();
    const RawCriteriaPanel::Scope scope = rawCriteria_->CheckedScope();
    ShowScopeControls(scope);
    const char* const explanations[] = {texts::kEntireDiskStatus, texts::kSectorRangeStatus,
                                        texts::kSectorsInPartitionStatus};
    SetStatusText(explanations[scope]);
    stage_ = WizardStage::Criteria;
    SetWizardButtonsEnabled(true);
}

}  // namespace lumarest

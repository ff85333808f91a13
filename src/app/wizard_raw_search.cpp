// The raw search of the wizard: its scope on the criteria page ("Entire Disk", "Sector Range"
// with the slider, "Sectors in Partition"), the scan worker, the thumbnails it brings, stopping
// it, its end, and the way back to the criteria page.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/disk_key.h"
#include "app/raw_criteria_panel.h"
#include "app/raw_save_worker.h"
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
const char* const kRawResultsCaption = "Recovered pictures";

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

// Names listed in the summary of a save; the rest are counted.
constexpr std::size_t kMostNamesListed = 10;

std::string NamesText(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kMostNamesListed; ++i) {
        text += (i == 0 ? "" : ", ") + names[i];
    }
    if (names.size() > kMostNamesListed) {
        text += " and " + std::to_string(names.size() - kMostNamesListed) + " more";
    }
    return text;
}

std::string RawSaveSummaryText(const ResaveSummary& summary, const std::string& folder) {
    std::string text = std::to_string(summary.saved) + " file(s) saved to " + folder + ".";
    if (!summary.noRoom.empty()) {
        text = summary.noRoom + "\n\n" + text;
    }
    if (!summary.unreadable.empty()) {
        text += "\n" + std::to_string(summary.unreadable.size()) +
                " file(s) could not be read from the disk: " + NamesText(summary.unreadable) + ".";
    }
    if (!summary.unwritten.empty()) {
        text += "\n" + std::to_string(summary.unwritten.size()) +
                " file(s) could not be written into " + folder + ": " +
                NamesText(summary.unwritten) + ".";
    }
    if (summary.stopped) {
        text += "\nSaving was stopped before the end.";
    }
    return text;
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
    scanDestination_ = run_.destinationFolder;

    const std::uint64_t scan = ++scanSerial_;
    RawScanOutputs outputs;
    outputs.reporter = reporter_.get();
    outputs.thumbnails = thumbsList_;
    outputs.acceptThumbnail = [this, generation = thumbnailGeneration_] {
        return generation == thumbnailGeneration_;
    };
    outputs.window = this;
    outputs.finished = [this, scan] { OnRawScanFinished(scan); };
    run_.scanStop = std::stop_source();
    scanWorker_ =
        std::make_unique<RawScanWorker>(std::move(inputs), std::move(outputs), run_.scanStop);
}

void CChildDialogExDemoDlg::ShowRawResultsPage() {
    SetWizardButtonsEnabled(false);
    rawCriteria_->hide();
    partitionTree_->hide();
    selectedDiskCard_->show();
    leftCaption_->setText(QString::fromUtf8(kRawLeftCaption));
    rightCaption_->setText(QString::fromUtf8(kRawResultsCaption));
    thumbsList_->Clear();
    ++thumbnailGeneration_;
    thumbsList_->show();
    statistics_->mainScanBar->SetPos(0);
    statistics_->mainScanBar->SetText(QString());
    statistics_->phaseLabel->clear();
    for (const Statistic which : {Statistic::SectorProgress, Statistic::SearchMethod}) {
        statistics_->Value(which)->clear();
    }
    statistics_->carvingRow->show();
    statistics_->mainScanRow->show();
    openFolderButton_->hide();
    stopSearchButton_->setEnabled(true);
    stopSearchButton_->show();
    // A new search shows every file it finds: a filter left on would hide them unannounced.
    onlyCompleteBox_->setChecked(false);
    onlyCompleteBox_->show();
    saveButton_->setEnabled(false);
    saveButton_->show();
}

void CChildDialogExDemoDlg::OnRawScanFinished(std::uint64_t scan) {
    if (!scanWorker_ || scan != scanSerial_) {
        return;
    }
    scanWorker_->Wait();
    scanWorker_.reset();
    EndRawSearchDisplay();
    env_.dialogs->ShowSearchCompleted(this);
}

void CChildDialogExDemoDlg::OnStopSearch() {
    if (rawSaveWorker_) {
        // The summary of what was saved still comes.
        rawSaveWorker_->RequestStop();
        stopSearchButton_->setEnabled(false);
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
    if (!scanWorker_) {
        return;
    }
    // The worker ends between two sectors; every thumbnail it handed over stays.
    StopScanWorker();
    EndRawSearchDisplay();
    env_.dialogs->ShowSearchEnded(
        this, RawSearchStopped(RangeOfSectors(run_.rawFirstSector, run_.rawLastSector),
                               static_cast<std::size_t>(thumbsList_->count())));
}

void CChildDialogExDemoDlg::StopScanWorker() {
    run_.scanStop.request_stop();
    if (scanWorker_) {
        scanWorker_->StopAndWait();
        scanWorker_.reset();
        // The thumbnails handed over before the stop are on their way to the list; they are
        // all in it before the search is said to have ended.
        if (thumbsList_) {
            QCoreApplication::sendPostedEvents(thumbsList_, QEvent::MetaCall);
        }
    }
}

void CChildDialogExDemoDlg::EndRawSearchDisplay() {
    // What the worker reported last is shown before the page settles.
    reporter_->Flush();
    fileList_->viewport()->update();
    statistics_->mainScanRow->hide();
    statistics_->carvingRow->hide();
    statistics_->phaseLabel->clear();
    openFolderButton_->show();
    stopSearchButton_->hide();
    backButton_->setEnabled(true);
    UpdateRawSaveButton();
    SetStatusText(texts::kRawSearchEndedStatus);
}

void CChildDialogExDemoDlg::OnOpenContainingFolder() {
    if (scanDestination_.empty()) {
        ShowMessage(texts::kNoDestinationChosen, MessageIcon::Information);
        return;
    }
    OpenOnDesktop(QUrl::fromLocalFile(QString::fromStdString(scanDestination_)));
}

void CChildDialogExDemoDlg::BackToRawCriteria() {
    if (scanWorker_ || rawSaveWorker_) {
        return;
    }
    thumbsList_->hide();
    thumbsList_->Clear();
    ++thumbnailGeneration_;
    onlyCompleteBox_->hide();
    saveButton_->hide();
    // The folder results pages show the button as they find it.
    saveButton_->setEnabled(true);
    openFolderButton_->hide();
    stopSearchButton_->hide();
    statistics_->mainScanRow->hide();
    statistics_->carvingRow->hide();
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

// Save is there once the search has ended or was stopped, while nothing is being saved and
// something is shown to save.
void CChildDialogExDemoDlg::UpdateRawSaveButton() {
    saveButton_->setEnabled(stage_ == WizardStage::RawResults && !scanWorker_ && !rawSaveWorker_ &&
                            thumbsList_->ShownCount() > 0);
}

// The chosen thumbnails (or every one shown) read again from the searched disk and written
// into a folder the user picks, never one on that disk.
void CChildDialogExDemoDlg::SaveRawResults() {
    if (scanWorker_ || rawSaveWorker_) {
        return;
    }
    std::vector<CarvedFile> files = thumbsList_->ChosenFiles();
    if (files.empty()) {
        ShowMessage(texts::kNoPictureToSave, MessageIcon::Information);
        return;
    }
    env_.dialogs->ShowDestinationNotice(this);
    const std::string folder = env_.dialogs->ChooseDestinationFolder(this).toStdString();
    if (folder.empty()) {
        return;
    }
    const std::string device = SelectedDevicePath(run_);
    std::string refusal;
    std::optional<FolderHandle> destination = OpenDestinationFolder(folder, device, refusal);
    if (!destination) {
        ShowMessage(refusal, MessageIcon::Error);
        return;
    }
    RawSaveInputs inputs;
    inputs.files = std::move(files);
    inputs.folder = folder;
    inputs.destination = std::move(destination);
    inputs.disk = ShownDiskInputs(device);
    inputs.nameByDate = rawCriteria_->nameByDateBox->isChecked();

    backButton_->setEnabled(false);
    saveButton_->setEnabled(false);
    openFolderButton_->hide();
    stopSearchButton_->setEnabled(true);
    stopSearchButton_->show();
    statistics_->mainScanBar->SetPos(0);
    statistics_->mainScanBar->SetText(QString());
    statistics_->mainScanRow->show();
    rawSaveWorker_ = std::make_unique<RawSaveWorker>(
        std::move(inputs), *reporter_, this,
        [this, folder](const ResaveSummary& summary) { OnRawSaveFinished(summary, folder); });
}

void CChildDialogExDemoDlg::OnRawSaveFinished(const ResaveSummary& summary,
                                              const std::string& folder) {
    if (!rawSaveWorker_) {
        return;
    }
    rawSaveWorker_->Wait();
    rawSaveWorker_.reset();
    reporter_->Flush();
    statistics_->mainScanRow->hide();
    stopSearchButton_->hide();
    openFolderButton_->show();
    backButton_->setEnabled(true);
    UpdateRawSaveButton();
    const bool failures = !summary.unreadable.empty() || !summary.unwritten.empty();
    const MessageIcon icon = !summary.noRoom.empty() ? MessageIcon::Error
                             : failures              ? MessageIcon::Warning
                                                     : MessageIcon::Information;
    ShowMessage(RawSaveSummaryText(summary, folder), icon);
}

void CChildDialogExDemoDlg::StopRawSaveWorker() {
    if (rawSaveWorker_) {
        rawSaveWorker_->StopAndWait();
        rawSaveWorker_.reset();
    }
}

}  // namespace lumarest

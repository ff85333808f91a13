// The stage machine of the wizard: what Next and Back do on each page. Read top to bottom:
// Next by stage, entering the criteria page, then Back by stage.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTreeView>
#include <algorithm>
#include <limits>
#include <optional>

#include "app/disk_key.h"
#include "app/disk_page.h"
#include "app/folder_results_page.h"
#include "app/found_volumes_page.h"
#include "app/page_widgets.h"
#include "app/partition_criteria_panel.h"
#include "app/partition_details.h"
#include "app/raw_criteria_panel.h"
#include "app/raw_results_page.h"
#include "app/window_reporter.h"
#include "app/wizard_texts.h"
#include "app/wizard_window.h"

#include "core/text_number.h"
#include "partitions/volume_params.h"
#include "ui/mytreectrl.h"
#include "ui/tree_images.h"

namespace lumarest {

namespace {
const char* const kFolderTreeTop = "Root";

std::unique_ptr<TreeModel> MakeLeftPanelTree(const std::string& topText) {
    auto tree = std::make_unique<TreeModel>();
    const TreeItem top = tree->InsertItem(kNoItem, topText, kImageTopItem, kImageTopItem);
    tree->Expand(top, ExpandAction::Expand);
    return tree;
}

// A sector number typed into a field: digits only. A negative start would reach the sector
// reader as a sector near 2^64, so it is refused like any other text that is not a sector.
std::optional<std::int64_t> SectorOfField(const QLineEdit* field) {
    const std::string text = field->text().trimmed().toStdString();
    if (!IsTextNumber(text)) {
        return std::nullopt;
    }
    const std::int64_t sector = ParseTextNumber(text);
    if (sector < 0) {
        return std::nullopt;
    }
    return sector;
}

// A partition field holds the disk's own sectors; the search takes engine sectors.
std::optional<std::int64_t> EngineSectorOfField(const QLineEdit* field, const RecoveryRun& run) {
    const auto sector = SectorOfField(field);
    const auto unit = static_cast<std::int64_t>(ShownSectorUnit(run));
    if (!sector || *sector > std::numeric_limits<std::int64_t>::max() / unit) {
        return std::nullopt;
    }
    return *sector * unit;
}
}  // namespace

void CChildDialogExDemoDlg::OnNext() {
    switch (stage_) {
        case WizardStage::DiskPage:
            NextFromDiskPage();
            break;
        case WizardStage::Criteria:
            if (run_.searchMode == SearchMode::Raw) {
                NextFromRawCriteria();
            } else {
                NextFromPartitionCriteria();
            }
            break;
        case WizardStage::FoundVolumes:
            NextFromFoundVolumes();
            break;
        case WizardStage::FolderResults:
        case WizardStage::RawResults:
            // Next is hidden on the results pages.
            break;
    }
}

void CChildDialogExDemoDlg::NextFromDiskPage() {
    if (!diskPage_->Leave()) {
        return;
    }
    ShowCriteriaPage();
    EnterCriteriaStage();
    SetStatusText(texts::kEntireDiskStatus);
    // A search started for a damaged table says so instead.
    if (run_.searchMode != SearchMode::Raw) {
        SearchPartitionsWhenNoneListed();
    }
}

void CChildDialogExDemoDlg::ShowCriteriaPage() {
    pages_->setCurrentWidget(stagesPage_);
    refreshButton_->hide();
    backButton_->setEnabled(true);
    partitionCriteria_->searchMorePartitionsButton->setEnabled(true);
    rightCaption_->setText(QString::fromUtf8(kCriteriaCaption));
    rawCriteria_->thoroughBox->setChecked(true);
    run_.thoroughSearch = true;
}

void CChildDialogExDemoDlg::EnterCriteriaStage() {
    backButton_->show();
    run_.selectedDiskNumber = DiskNumberOfKey(run_.selectedDiskKey);

    const bool raw = run_.searchMode == SearchMode::Raw;
    if (raw) {
        const QString total = QString::number(run_.shownDisk.totalSectors);
        rawCriteria_->startField->setText(QStringLiteral("0"));
        rawCriteria_->endField->setText(total);
        partitionCriteria_->startField->setText(QStringLiteral("0"));
        partitionCriteria_->endField->setText(
            QString::fromStdString(run_.shownDisk.totalSectorsText));
        rawCriteria_->CheckScope(RawCriteriaPanel::kEntireDisk);
        partitionTreeShownForScope_ = false;
        ShowScopeControls(RawCriteriaPanel::kEntireDisk);
        partitionCriteria_->searchMorePartitionsButton->hide();
        detailsList_->hide();
        rawCriteria_->destinationField->setText(QString::fromStdString(run_.destinationFolder));
        rawCriteria_->show();
        ShowSelectedDiskCard();
        selectedDiskCard_->show();
        leftCaption_->setText(QString::fromUtf8(kRawLeftCaption));
        LoadSignatureLists();
    } else {
        // A range left from another disk must never be searched on this one.
        partitionCriteria_->startField->clear();
        partitionCriteria_->endField->clear();
        shownPartitionIndex_ = 0;
        CreatePartitionTrees();
        const bool standard = run_.searchMode == SearchMode::Standard;
        const char* modeText = standard ? texts::kStandardSearch : texts::kAdvanceSearch;
        partitionCriteria_->modeLabel->setText(QString::fromUtf8(modeText));
        // In a Standard search the partition's own boot sector decides the type.
        partitionCriteria_->partitionTypeBox->setEnabled(!standard);
        partitionCriteria_->searchMorePartitionsButton->show();
        partitionCriteria_->show();
        partitionTree_->show();
        leftCaption_->setText(QString::fromUtf8(kPartitionsCaption));
    }
    stage_ = WizardStage::Criteria;
    if (!raw && run_.partitionTree) {
        partitionTree_->setFocus();
        SelectDefaultPartition();
    }
}

void CChildDialogExDemoDlg::CreatePartitionTrees() {
    // A tree the partition search filled is kept.
    if (!run_.partitionTree) {
        run_.partitionTree = std::make_unique<TreeModel>();
        const TreeItem disk = run_.partitionTree->InsertItem(
            kNoItem, "Disk " + std::to_string(run_.selectedDiskNumber), kImageTopItem,
            kImageTopItem);
        // A floppy has no partition table.
        if (!run_.FloppySelected()) {
            ListDiskPartitions(disk);
        }
        run_.partitionTree->Expand(disk, ExpandAction::Expand);
        partitionTree_->SetTree(run_.partitionTree.get());
    }
    run_.folderTree = MakeLeftPanelTree(kFolderTreeTop);
    folderPage_->AttachTree();
    volumesPage_->NewTree();
}

void CChildDialogExDemoDlg::DisposePartitionTree() {
    partitionTree_->SetTree(nullptr);
    partitionTree_->hide();
    run_.partitionTree.reset();
    // Both described the tree that is gone.
    run_.defaultPartitionItem = kNoItem;
    run_.partitionsListed = false;
}

void CChildDialogExDemoDlg::NextFromRawCriteria() {
    SetWizardButtonsEnabled(false);
    // Saving onto the disk being searched would overwrite what is being recovered.
    if (RefuseDestination() || !ReadRawScope()) {
        SetWizardButtonsEnabled(true);
        return;
    }
    if (run_.rawFirstSector < run_.rawLastSector) {
        StartRawSearch();
        return;
    }
    ShowMessage(texts::kEndBeforeStart, MessageIcon::Error);
    SetWizardButtonsEnabled(true);
}

void CChildDialogExDemoDlg::NextFromPartitionCriteria() {
    SetWizardButtonsEnabled(false);
    const int typeEntry = partitionCriteria_->partitionTypeBox->currentIndex();
    if (typeEntry < 0 || typeEntry >= kUnknownTypeEntry) {
        RefuseUnknownPartitionType();
        return;
    }
    const std::string fsName = kPartitionTypes[typeEntry];
    const auto firstSector = EngineSectorOfField(partitionCriteria_->startField, run_);
    if (!firstSector) {
        RefusePartitionCriteria(texts::kStartSectorNotValid, MessageIcon::Error);
        return;
    }
    const auto endSector = EngineSectorOfField(partitionCriteria_->endField, run_);
    if (!endSector) {
        RefusePartitionCriteria(texts::kEndingSectorNotValid, MessageIcon::Error);
        return;
    }
    // The end field holds the first sector after the partition.
    const std::int64_t lastSector = *endSector > 0 ? *endSector - 1 : *endSector;
    const bool standard = run_.searchMode == SearchMode::Standard;
    // An Advance search looks inside any range; a Standard one needs a volume to read.
    if (standard && *firstSector >= lastSector) {
        RefuseEmptyStandardRange();
        return;
    }

    run_.ClearEntryTables();
    FillSelectedPartition(fsName, *firstSector, lastSector);
    WriteSearchStatistics();
    if (standard) {
        ValidatePartitionBeforeScan();
    }
    SetStatusText(texts::kSearchStartedStatus);
    // The stage moves before the worker starts: from then on the worker owns it.
    stage_ = standard ? WizardStage::FolderResults : WizardStage::FoundVolumes;
    if (StartScanWorker()) {
        ShowSearchStatisticsPage();
        return;
    }
    // No search ran: the page stays, ready for another choice.
    stage_ = WizardStage::Criteria;
    SetWizardButtonsEnabled(true);
}

void CChildDialogExDemoDlg::SetWizardButtonsEnabled(bool enabled) {
    nextButton_->setEnabled(enabled);
    backButton_->setEnabled(enabled);
}

// Every refusal leaves the page as it was, with Next and Back ready again.
void CChildDialogExDemoDlg::RefusePartitionCriteria(const char* message, MessageIcon icon) {
    ShowMessage(message, icon);
    SetWizardButtonsEnabled(true);
}

void CChildDialogExDemoDlg::RefuseUnknownPartitionType() {
    if (run_.searchMode == SearchMode::Advance) {
        ShowMessage(texts::kSelectPartitionType, MessageIcon::Error);
        SetStatusText(texts::kSelectPartitionTypeStatus);
    } else {
        ShowMessage(texts::kUnknownPartitionRefused, MessageIcon::Error);
        SetStatusText(texts::kSelectPartitionStatus);
    }
    SetWizardButtonsEnabled(true);
}

// Next stays usable too: the user may correct the fields or pick another partition.
void CChildDialogExDemoDlg::RefuseEmptyStandardRange() {
    ShowMessage(texts::kEndBeforeStart, MessageIcon::Error);
    SetStatusText(texts::kSelectPartitionStatus);
    SetWizardButtonsEnabled(true);
}

void CChildDialogExDemoDlg::FillSelectedPartition(const std::string& fsName,
                                                  std::int64_t firstSector,
                                                  std::int64_t lastSector) {
    SelectedPartition& partition = run_.selectedPartition;
    partition.diskNumber = run_.selectedDiskNumber;
    partition.partitionNo = static_cast<std::uint32_t>(shownPartitionIndex_);
    SetPartitionFileSystem(partition, fsName);
    partition.searchModeText = partitionCriteria_->modeLabel->text().toStdString();
    partition.startSector = firstSector;
    partition.endSector = lastSector;
}

void CChildDialogExDemoDlg::WriteSearchStatistics() {
    const SelectedPartition& partition = run_.selectedPartition;
    Reporter& report = *reporter_;
    report.SetStatisticValue(Statistic::Drive, std::to_string(partition.diskNumber));
    report.SetStatisticValue(
        Statistic::SectorRange,
        std::to_string(partition.startSector) + " to " + std::to_string(partition.endSector));
    report.SetStatisticValue(Statistic::FileSystem, partition.fsName);
    report.SetStatisticValue(Statistic::Criteria, partition.searchModeText);
}

// The page a running Standard or Advance search shows: the statistics in place of the
// partition choice, and what is searched kept in the hidden DetailsList.
void CChildDialogExDemoDlg::ShowSearchStatisticsPage() {
    const SelectedPartition& partition = run_.selectedPartition;
    run_.detailsList.Clear();
    run_.detailsList.AppendRow({"Disk Number : ", std::to_string(partition.diskNumber)});
    run_.detailsList.AppendRow({"Partiton Number : ", std::to_string(partition.partitionNo + 1)});
    run_.detailsList.AppendRow({"Partition Type : ", partition.fsName});
    run_.detailsList.AppendRow({"Search Range : ", std::to_string(partition.startSector) + " to " +
                                                       std::to_string(partition.endSector)});
    run_.detailsList.AppendRow({"Search Mode : ", partition.searchModeText});
    ReloadDetailsList();
    detailsList_->hide();
    partitionTree_->hide();
    partitionCriteria_->hide();
    // The page says what is being searched, not the criteria page's headings over nothing.
    ShowSelectedDiskCard();
    selectedDiskCard_->show();
    leftCaption_->setText(QString::fromUtf8(kRawLeftCaption));
    rightCaption_->setText(QString::fromUtf8(kSearchProgressCaption));
    reporter_->ShowStatistics(true);
    reporter_->ShowProgress(ProgressBar::MainScan, true);
}

// A table that lists nothing is taken as damaged: the notice starts the search, once per visit
// of the disk page. It may already have asked for it while the table was walked.
void CChildDialogExDemoDlg::SearchPartitionsWhenNoneListed() {
    if (!run_.partitionsListed) {
        stage_ = WizardStage::DiskPage;
        ReadFailureNotice();
        stage_ = WizardStage::Criteria;
    }
    if (noticeSearchPending_) {
        noticeSearchPending_ = false;
        ShowPartitionSearchControls(true);
        if (!StartPartitionSearchWorker()) {
            ShowPartitionSearchControls(false);
        }
    }
    if (typeBoxHiddenBySearch_) {
        ShowPartitionTypeBox(false);
    }
}

void CChildDialogExDemoDlg::OnBack() {
    // Saved files are read from the disk chosen here: it stays chosen until they are written.
    if (rawPage_->Saving()) {
        return;
    }
    const WizardStage from = stage_;
    if (run_.FloppySelected()) {
        // The floppy's reset lands on the disk page; the pages on the way are put away first.
        if (from == WizardStage::RawResults) {
            BackToRawCriteria();
        }
        if (from == WizardStage::FolderResults && run_.searchMode == SearchMode::Standard) {
            BackFromFolderResults();
        }
        if (from == WizardStage::Criteria || from == WizardStage::RawResults ||
            from == WizardStage::FolderResults) {
            BackToDiskPage();
        }
        ResetForFloppy();
        return;
    }
    switch (from) {
        case WizardStage::Criteria:
            BackToDiskPage();
            break;
        case WizardStage::RawResults:
            BackToRawCriteria();
            break;
        case WizardStage::FolderResults:
            if (run_.searchMode == SearchMode::Standard) {
                BackFromFolderResults();
            } else if (run_.searchMode == SearchMode::Advance) {
                BackToFoundVolumes();
            }
            break;
        case WizardStage::FoundVolumes:
            BackFromFoundVolumes();
            break;
        case WizardStage::DiskPage:
            break;
    }
}

void CChildDialogExDemoDlg::BackToDiskPage() {
    StopPartitionSearchWithoutAsking();
    noticeSearchPending_ = false;
    run_.partitionSearchVisits = 1;
    rawCriteria_->hide();
    rawCriteria_->ClearScopes();
    partitionTreeShownForScope_ = false;
    partitionCriteria_->hide();
    selectedDiskCard_->hide();
    detailsList_->show();
    reporter_->ShowStatistics(false);
    reporter_->ShowProgress(ProgressBar::MainScan, false);
    run_.ClearEntryTables();
    if (run_.selectedDiskNumber < run_.diskPartitionLists.size()) {
        run_.diskPartitionLists[run_.selectedDiskNumber].Forget();
    }
    DisposePartitionTree();
    pages_->setCurrentWidget(diskPage_->Widget());
    refreshButton_->show();
    backButton_->setEnabled(false);
    run_.searchMode = SearchMode::Raw;
    stage_ = WizardStage::DiskPage;
    diskPage_->Enter();
}

void CChildDialogExDemoDlg::ResetForFloppy() {
    SetStatusText(texts::kSelectDiskStatus);
    folderPage_->ReleaseTree();
    // The rebuild of a found volume left its results page holding the statistics panel.
    TakeBackStatistics();
    run_.folderTree.reset();
    run_.ClearEntryTables();
    stage_ = WizardStage::DiskPage;
    pages_->setCurrentWidget(diskPage_->Widget());
    diskPage_->ResetForFloppy();
    run_.searchMode = SearchMode::None;
}

}  // namespace lumarest

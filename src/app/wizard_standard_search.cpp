// The Standard search in the window: validation on Next, the scan worker, "Stop Search", and
// going to the folder results page and back.

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>
#include <utility>

#include "app/disk_key.h"
#include "app/folder_results_page.h"
#include "app/partition_criteria_panel.h"
#include "app/search_end_notice.h"
#include "app/search_statistics_panel.h"
#include "app/standard_scan_worker.h"
#include "app/window_reporter.h"
#include "app/wizard_texts.h"
#include "app/wizard_window.h"
#include "disk/device_sector_source.h"
#include "disk/disk_inputs.h"
#include "partitions/volume_params.h"
#include "ui/mytreectrl.h"
#include "ui/text_progress_ctrl.h"

namespace lumarest {

void CChildDialogExDemoDlg::ValidatePartitionBeforeScan() {
    folderPage_->ForgetDisk();
    const bool valid = ValidatePartition(run_, folderPage_->Disk(), *reporter_) == 1;
    const bool ntfs = run_.selectedPartition.fileSystem == FileSystem::Ntfs;
    // A FAT layout taken from the boot sector spares the scan its calculation; an NTFS volume
    // that fails is still searched, after the advice.
    bootSectorValid_ = valid && !ntfs;
    if (ntfs && !valid) {
        ShowMessage(texts::kNtfsBootSectorDamaged, MessageIcon::Warning);
    }
}

bool CChildDialogExDemoDlg::StartScanWorker() {
    if (run_.searchMode == SearchMode::Standard) {
        return StartStandardSearch();
    }
    return StartAdvanceSearch();
}

bool CChildDialogExDemoDlg::StartStandardSearch() {
    if (!run_.selectedPartition.fileSystem) {
        return false;
    }
    folderPage_->ResetTree();
    // The worker owns the tree until it ends: no view may show it meanwhile.
    folderPage_->ReleaseTree();
    run_.resultsFound = false;
    run_.folderTreeState = FolderTreeState{};
    statistics_->mainScanBar->SetPos(0);
    statistics_->mainScanBar->SetText(QString());
    statistics_->phaseLabel->clear();
    statistics_->mainScanRow->show();
    statistics_->carvingRow->show();
    stopSearchButton_->setEnabled(true);
    stopSearchButton_->show();
    SetWizardButtonsEnabled(false);

    StandardScanWorker::Inputs inputs;
    inputs.disk = ShownDiskInputs(SelectedDevicePath(run_));
    inputs.bootSectorValid = bootSectorValid_;
    const std::uint64_t scan = ++scanSerial_;
    run_.scanStop = std::stop_source();
    standardWorker_ = std::make_unique<StandardScanWorker>(
        run_, std::move(inputs), *reporter_, *this,
        [this, scan](StandardScanOutcome outcome) { OnStandardSearchFinished(scan, outcome); },
        run_.scanStop);
    return true;
}

void CChildDialogExDemoDlg::OnStandardSearchFinished(std::uint64_t scan,
                                                     const StandardScanOutcome& outcome) {
    if (!standardWorker_ || scan != scanSerial_) {
        return;
    }
    standardWorker_->Wait();
    standardWorker_.reset();
    ShowFolderResultsPage(outcome.counts);
    EndStandardSearchDisplay();
    SetStatusText(texts::kRawSearchEndedStatus);
    TellStandardSearchEnded(outcome.search, outcome.counts);
}

// A failure has had its own box: nothing more is said of it.
void CChildDialogExDemoDlg::TellStandardSearchEnded(const StandardSearchResult& result,
                                                    const FolderCounts& counts) {
    if (result.failed) {
        return;
    }
    const SearchedRange range =
        RangeOfSectors(run_.selectedPartition.startSector, run_.selectedPartition.endSector);
    env_.dialogs->ShowSearchEnded(this, StandardSearchEnded(range, counts, result.stopped));
}

void CChildDialogExDemoDlg::StopStandardSearch() {
    SetStatusText(texts::kSelectFilesStatus);
    if (!standardWorker_) {
        return;
    }
    // The worker builds the tree from what it found so far before it ends.
    const StandardScanOutcome outcome = standardWorker_->StopAndWait();
    standardWorker_.reset();
    ShowFolderResultsPage(outcome.counts);
    EndStandardSearchDisplay();
    SetStatusText(texts::kSelectFilesStatus);
    TellStandardSearchEnded(outcome.search, outcome.counts);
}

// Shows the tree the worker built, with the file list, the current folder and `counts`.
void CChildDialogExDemoDlg::ShowFolderResultsPage(const FolderCounts& counts) {
    // The criteria page is found as Back leaves it.
    partitionTree_->hide();
    partitionCriteria_->hide();
    detailsList_->hide();
    selectedDiskCard_->hide();
    folderPage_->ShowResults(counts);
    pages_->setCurrentWidget(folderPage_->Widget());
    stage_ = WizardStage::FolderResults;
}

void CChildDialogExDemoDlg::EndStandardSearchDisplay() {
    reporter_->ShowStatistics(false);
    reporter_->ShowProgress(ProgressBar::MainScan, false);
    statistics_->mainScanRow->hide();
    statistics_->carvingRow->hide();
    statistics_->phaseLabel->clear();
    stopSearchButton_->hide();
    saveButton_->show();
    nextButton_->setEnabled(false);
    backButton_->setEnabled(true);
}

// Back from the folder results: the criteria page again, with an empty folder tree.
void CChildDialogExDemoDlg::BackFromFolderResults() {
    if (standardWorker_) {
        return;
    }
    PutAwayFolderResults();
    run_.ClearEntryTables();
    ShowPartitionCriteriaAgain();
    SetWizardButtonsEnabled(true);
    SetStatusText(texts::kSelectPartitionStatus);
}

// The folder results go, whichever search made them; the statistics panel comes back.
void CChildDialogExDemoDlg::PutAwayFolderResults() {
    saveButton_->hide();
    folderPage_->Leave();
    TakeBackStatistics();
    pages_->setCurrentWidget(stagesPage_);
}

// The criteria page as the user left it before the search, with the partition's details.
void CChildDialogExDemoDlg::ShowPartitionCriteriaAgain() {
    partitionTree_->show();
    partitionCriteria_->show();
    detailsList_->show();
    leftCaption_->setText(QString::fromUtf8(kPartitionsCaption));
    rightCaption_->setText(QString::fromUtf8(kCriteriaCaption));
    stage_ = WizardStage::Criteria;
    ShowPartitionDetails(run_.selectedPartition.fsName, shownPartitionIndex_,
                         run_.selectedDiskNumber);
}

}  // namespace lumarest

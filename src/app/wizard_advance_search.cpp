// The Advance search in the window: its first phase on Next from the criteria page, "Stop
// Search", the way to the found-volume page, the rebuild of the chosen volume on Next, and Back
// between those pages.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>

#include "app/advance_search_worker.h"
#include "app/disk_key.h"
#include "app/folder_results_page.h"
#include "app/found_volumes_page.h"
#include "app/page_widgets.h"
#include "app/partition_criteria_panel.h"
#include "app/search_end_notice.h"
#include "app/search_statistics_panel.h"
#include "app/window_reporter.h"
#include "app/wizard_texts.h"
#include "app/wizard_window.h"
#include "disk/disk_inputs.h"
#include "search/advance_search.h"
#include "tree/folder_browse.h"
#include "ui/mytreectrl.h"
#include "ui/text_progress_ctrl.h"
#include "ui/text_table_model.h"

namespace lumarest {

namespace {
constexpr const char* kNothingCounted = "0";
}  // namespace

bool CChildDialogExDemoDlg::AdvanceWorkerRunning() const {
    return advanceWorker_ || foundVolumeWorker_;
}

bool CChildDialogExDemoDlg::StartAdvanceSearch() {
    // FAT16, FAT32, NTFS or exFAT; "UNKNOWN" was refused on the criteria page.
    if (!run_.selectedPartition.fileSystem) {
        return false;
    }
    // The worker owns the run's tables and trees until it ends: no view may show them.
    volumesPage_->LetGoOfTree();
    folderPage_->ReleaseTree();
    run_.resultsFound = false;
    run_.volumesFound = 0;
    run_.chosenVolume = 0;
    advanceStopped_ = false;
    searchedCriteria_ = {partitionCriteria_->startField->text(),
                         partitionCriteria_->endField->text(),
                         partitionCriteria_->partitionTypeBox->currentIndex()};
    for (const Statistic counted : {Statistic::DirectoriesFound, Statistic::BootSectorsFound}) {
        reporter_->SetStatisticValue(counted, kNothingCounted);
    }
    reporter_->SetStatisticValue(Statistic::SectorProgress, std::string());
    statistics_->mainScanBar->SetPos(0);
    statistics_->mainScanBar->SetText(QString());
    statistics_->phaseLabel->clear();
    statistics_->mainScanRow->show();
    statistics_->carvingRow->show();
    stopSearchButton_->setEnabled(true);
    stopSearchButton_->show();
    SetWizardButtonsEnabled(false);

    const std::uint64_t scan = ++scanSerial_;
    run_.scanStop = std::stop_source();
    run_.secondPhaseStop = std::stop_source();
    advanceWorker_ = std::make_unique<AdvanceScanWorker>(
        run_, ShownDiskInputs(SelectedDevicePath(run_)), *reporter_, *this, run_.scanStop,
        [this, scan](AdvanceSearchResult result) { OnAdvanceSearchFinished(scan, result); });
    return true;
}

// "Stop Search" ends the reading; the worker analyses what it found and then ends as usual.
void CChildDialogExDemoDlg::StopAdvanceSearch() {
    SetStatusText(texts::kSelectFilesStatus);
    if (!advanceWorker_ || advanceStopped_) {
        return;
    }
    advanceStopped_ = true;
    stopSearchButton_->setEnabled(false);
    run_.scanStop.request_stop();
}

void CChildDialogExDemoDlg::OnAdvanceSearchFinished(std::uint64_t scan,
                                                    const AdvanceSearchResult& result) {
    if (!advanceWorker_ || scan != scanSerial_) {
        return;
    }
    advanceWorker_->Wait();
    const std::size_t found = result.volumesFound;
    advanceWorker_.reset();
    EndAdvanceSearchDisplay();
    if (found == 0) {
        SetWizardButtonsEnabled(false);
        SetStatusText(std::string());
        env_.dialogs->ShowDestinationNotice(this);
        SetStatusText(kNoFileSystemStatus);
    }
    ShowFoundVolumesPage();
    if (found > 0) {
        SetStatusText(kPressNextToRecoverStatus);
    }
    const SearchedRange range =
        RangeOfSectors(run_.selectedPartition.startSector, run_.selectedPartition.endSector);
    env_.dialogs->ShowSearchEnded(this, AdvanceSearchEnded(range, found, advanceStopped_));
}

void CChildDialogExDemoDlg::EndAdvanceSearchDisplay() {
    reporter_->Flush();
    reporter_->ShowStatistics(false);
    reporter_->ShowProgress(ProgressBar::MainScan, false);
    statistics_->mainScanRow->hide();
    statistics_->carvingRow->hide();
    statistics_->phaseLabel->clear();
    stopSearchButton_->hide();
}

// Stage 2: the volumes found, the first one's details, Next when there is one to rebuild.
void CChildDialogExDemoDlg::ShowFoundVolumesPage() {
    partitionTree_->hide();
    partitionCriteria_->hide();
    selectedDiskCard_->hide();
    saveButton_->hide();
    folderPage_->EmptyFileList();
    pages_->setCurrentWidget(volumesPage_->Widget());
    volumesPage_->Enter();
    stage_ = WizardStage::FoundVolumes;
    const bool found = run_.fileSystemTable.RowCount() > 0;
    nextButton_->show();
    nextButton_->setEnabled(found);
    backButton_->setEnabled(true);
}

// Next on stage 2: the chosen volume is rebuilt into a fresh folder tree.
void CChildDialogExDemoDlg::NextFromFoundVolumes() {
    if (AdvanceWorkerRunning() || run_.chosenVolume >= run_.fileSystemTable.RowCount()) {
        return;
    }
    SetStatusText(texts::kSelectFilesStatus);
    nextButton_->hide();
    SetWizardButtonsEnabled(false);
    folderPage_->EnterForRebuild();
    pages_->setCurrentWidget(folderPage_->Widget());
    reporter_->ShowProgress(ProgressBar::TreeLoading, true);
    stage_ = WizardStage::FolderResults;
    run_.secondPhaseStop = std::stop_source();
    foundVolumeWorker_ = std::make_unique<FoundVolumeWorker>(
        run_, ShownDiskInputs(SelectedDevicePath(run_)), *reporter_, *this, run_.chosenVolume,
        [this](FoundVolumeOutcome outcome) { OnFoundVolumeRebuilt(outcome); });
}

void CChildDialogExDemoDlg::OnFoundVolumeRebuilt(const FoundVolumeOutcome& outcome) {
    if (!foundVolumeWorker_) {
        return;
    }
    foundVolumeWorker_->Wait();
    foundVolumeWorker_.reset();
    reporter_->Flush();
    reporter_->ShowProgress(ProgressBar::TreeLoading, false);
    reporter_->ShowStatistics(false);
    ShowFolderResultsPage(outcome.counts);
    saveButton_->show();
    nextButton_->hide();
    backButton_->setEnabled(true);
    // The rebuild's own progress texts ran over it.
    SetStatusText(texts::kSelectFilesStatus);
}

// Back from the folder results of a found volume: the found-volume page again, so another
// volume can be rebuilt without searching again.
void CChildDialogExDemoDlg::BackToFoundVolumes() {
    if (AdvanceWorkerRunning()) {
        return;
    }
    PutAwayFolderResults();
    pages_->setCurrentWidget(volumesPage_->Widget());
    volumesPage_->EnterAgain();
    stage_ = WizardStage::FoundVolumes;
    nextButton_->show();
    SetWizardButtonsEnabled(true);
    SetStatusText(kPressNextToRecoverStatus);
}

// Back from the found-volume page: the criteria page, with what the search found forgotten.
void CChildDialogExDemoDlg::BackFromFoundVolumes() {
    if (AdvanceWorkerRunning()) {
        return;
    }
    volumesPage_->Leave();
    run_.ClearEntryTables();
    nextButton_->show();
    pages_->setCurrentWidget(stagesPage_);
    ShowPartitionCriteriaAgain();
    // The range and type searched come back as the user left them, ready to search again.
    partitionCriteria_->startField->setText(searchedCriteria_.startText);
    partitionCriteria_->endField->setText(searchedCriteria_.endText);
    partitionCriteria_->partitionTypeBox->setCurrentIndex(searchedCriteria_.typeEntry);
    partitionTree_->setFocus();
    SetWizardButtonsEnabled(true);
    SetStatusText(texts::kSelectPartitionStatus);
}

// Both phases end before the window goes: reading stops between chunks, boxes give way.
void CChildDialogExDemoDlg::QuitAdvanceWorkers() {
    if (advanceWorker_) {
        advanceWorker_->StopAndWait();
        advanceWorker_.reset();
    }
    if (foundVolumeWorker_) {
        foundVolumeWorker_->StopAndWait();
        foundVolumeWorker_.reset();
    }
}

}  // namespace lumarest

// The Standard search in the window: validation on Next, the scan worker, "Stop Search", the
// folder results page and what clicks and expansions of its folder tree do.

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTreeView>
#include <utility>

#include "app/disk_key.h"
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
#include "tree/folder_browse.h"
#include "tree/folder_tree_build.h"
#include "tree/folder_tree_events.h"
#include "ui/deleted_mark.h"
#include "ui/mytreectrl.h"
#include "ui/text_progress_ctrl.h"
#include "ui/text_table_model.h"

namespace lumarest {

namespace {

// True when `ancestor` lies above `item`, however far up.
bool IsAbove(const TreeModel& tree, TreeItem ancestor, TreeItem item) {
    if (!tree.Exists(item)) {
        return false;
    }
    for (TreeItem up = tree.Parent(item); up != kNoItem; up = tree.Parent(up)) {
        if (up == ancestor) {
            return true;
        }
    }
    return false;
}

}  // namespace

DeviceSectorSource& CChildDialogExDemoDlg::FolderDisk() {
    if (!folderDisk_) {
        folderDisk_ = std::make_unique<DeviceSectorSource>(
            OpenDisk(ShownDiskInputs(SelectedDevicePath(run_)), *reporter_));
    }
    return *folderDisk_;
}

void CChildDialogExDemoDlg::ValidatePartitionBeforeScan() {
    folderDisk_.reset();
    const bool valid = ValidatePartition(run_, FolderDisk(), *reporter_) == 1;
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
    ResetFolderTree();
    // The worker owns the tree until it ends: no view may show it meanwhile.
    folderTree_->SetTree(nullptr);
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
    ShowFolderResultsPage();
    ShowFolderCounts(outcome.counts);
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
    ShowFolderResultsPage();
    ShowFolderCounts(outcome.counts);
    EndStandardSearchDisplay();
    SetStatusText(texts::kSelectFilesStatus);
    TellStandardSearchEnded(outcome.search, outcome.counts);
}

// Shows the tree the worker built, with the file list and the current folder.
void CChildDialogExDemoDlg::ShowFolderResultsPage() {
    reporter_->Flush();
    // A found volume's directories stay: after Back another volume is rebuilt from them.
    if (run_.searchMode == SearchMode::Standard) {
        run_.foundDirectoryTable.Clear();
    }
    ClearFileList(run_);
    fileListModel_->Reload();
    SetFileListColumnWidths();
    if (run_.folderTree) {
        run_.folderTree->SetExpansionHandler(
            [this](TreeItem item, ExpandAction action) { OnFolderItemExpanding(item, action); });
    }
    folderTree_->SetTree(run_.folderTree.get());
    partitionTree_->hide();
    partitionCriteria_->hide();
    detailsList_->hide();
    selectedDiskCard_->hide();
    folderTree_->show();
    currentFolderValue_->clear();
    shownFolder_ = kNoItem;
    currentFolderRow_->show();
    fileList_->show();
    leftCaption_->setText(QString::fromUtf8(texts::kFolderTreeCaption));
    rightCaption_->setText(QString::fromUtf8(texts::kFolderResultsCaption));
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

// The folder results go, whichever search made them: an empty folder tree and file list, and
// the disk they read let go.
void CChildDialogExDemoDlg::PutAwayFolderResults() {
    folderTree_->hide();
    fileList_->hide();
    currentFolderRow_->hide();
    saveButton_->hide();
    ResetFolderTree();
    folderTree_->SetTree(run_.folderTree.get());
    ClearFileList(run_);
    fileListModel_->Reload();
    folderDisk_.reset();
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

// A fresh folder tree with its "Root" top item; the folders of the old one are forgotten.
void CChildDialogExDemoDlg::ResetFolderTree() {
    folderTree_->SetTree(nullptr);
    run_.folderNodes.Clear();
    run_.folderTreeState = FolderTreeState{};
    run_.folderTree = std::make_unique<TreeModel>();
    SetRootText(run_);
    run_.folderTree->Expand(run_.folderTree->TopItem(), ExpandAction::Expand);
}

void CChildDialogExDemoDlg::OnFolderTreeClicked(TreeItem item) {
    TreeModel* tree = run_.folderTree.get();
    if (tree == nullptr || !FolderPageBrowsable()) {
        return;
    }
    // Empty space, or an item not named yet, stands for the whole volume.
    if (item == kNoItem || tree->Text(item).empty()) {
        ShowFolder(tree->TopItem(), FolderTrigger::Browse);
        return;
    }
    ShowFolder(item, FolderTrigger::Click);
}

void CChildDialogExDemoDlg::OnFolderCheckBoxClicked(TreeItem item) {
    TreeModel* tree = run_.folderTree.get();
    if (tree == nullptr || !FolderPageBrowsable()) {
        return;
    }
    ShowFolder(item, FolderTrigger::Browse);
    ToggleCheck(*tree, item);
}

void CChildDialogExDemoDlg::OnFolderItemExpanding(TreeItem item, ExpandAction action) {
    // "*" opens a whole branch: its folders are named as they open, but the folder shown
    // stays the one it was pressed on.
    const bool expandingAll = folderTree_->ExpandingAll();
    FolderTreeState& state = run_.folderTreeState;
    const bool browse = std::exchange(state.browse, state.browse && !expandingAll);
    lumarest::OnFolderItemExpanding(run_, FolderDisk(), item, action);
    state.browse = browse;
    if (showingFolder_ || expandingAll || !FolderPageBrowsable()) {
        return;
    }
    // Opening a folder shows it, unless it is shown already. Closing a folder above the shown
    // one hides that one: the closed folder is shown instead. Nothing is shown while a worker
    // still builds the tree.
    if (action == ExpandAction::Expand && item != shownFolder_) {
        ShowFolder(item, FolderTrigger::Browse);
    } else if (action == ExpandAction::Collapse && IsAbove(*run_.folderTree, item, shownFolder_)) {
        ShowFolder(item, FolderTrigger::Browse);
    }
}

bool CChildDialogExDemoDlg::FolderPageBrowsable() const {
    return stage_ == WizardStage::FolderResults && run_.folderTree && !standardWorker_ &&
           !AdvanceWorkerRunning() && QThread::currentThread() == thread();
}

void CChildDialogExDemoDlg::ShowFolder(TreeItem item, FolderTrigger trigger) {
    TreeModel* tree = run_.folderTree.get();
    if (showingFolder_ || !FolderPageBrowsable() || !tree->Exists(item)) {
        return;
    }
    // The selection moving onto the folder already shown lists nothing again.
    if (trigger == FolderTrigger::Browse && item == shownFolder_) {
        return;
    }
    showingFolder_ = true;
    run_.folderTreeState.browse = true;
    if (trigger == FolderTrigger::FromList) {
        const TreeItem parent = tree->Parent(item);
        if (parent != tree->TopItem()) {
            tree->SetImage(parent, kVisitedFolderImage, kVisitedFolderImage);
        }
        tree->Expand(parent, ExpandAction::Expand);
        // The expansion lists the folder it opens.
        run_.folderTreeState.listOnExpand = true;
        tree->Expand(item, ExpandAction::Expand);
        run_.folderTreeState.listOnExpand = false;
        tree->SetImage(item, kOpenedFromListImage, kOpenedFromListImage);
    } else {
        OnFolderItemClicked(run_, FolderDisk(), item, LocalClockText());
    }
    tree->Select(item);
    shownFolder_ = item;
    // Root has no path of its own: it is named as the tree names it.
    const std::string label = item == tree->TopItem() ? tree->Text(item) : ItemPath(*tree, item);
    run_.folderTreeState.currentFolder = label;
    currentFolderValue_->setText(QString::fromStdString(label));
    fileListModel_->Reload();
    folderTree_->scrollTo(folderTree_->currentIndex());
    showingFolder_ = false;
}

void CChildDialogExDemoDlg::ShowFolderCounts(const FolderCounts& counts) {
    folderCountsValue_->setText(QString::fromStdString(FolderCountsText(counts)));
}

std::size_t CChildDialogExDemoDlg::FileListRowOf(const QModelIndex& shown) const {
    const QModelIndex source =
        shown.model() == fileListFilter_.get() ? fileListFilter_->mapToSource(shown) : shown;
    return source.isValid() ? static_cast<std::size_t>(source.row()) : run_.fileList.RowCount();
}

}  // namespace lumarest

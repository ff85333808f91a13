// The partition search of the criteria pages: starting it ("Search More Partitions", the
// notice of a table that cannot be trusted, "Sectors in Partition" on an empty tree), showing
// each partition as it is found, stopping it, its end, and the BIOS path's progress display.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>
#include <initializer_list>

#include "app/disk_key.h"
#include "app/partition_criteria_panel.h"
#include "app/partition_details.h"
#include "app/partition_search_worker.h"
#include "app/raw_criteria_panel.h"
#include "app/window_reporter.h"
#include "app/wizard_texts.h"
#include "app/wizard_window.h"
#include "disk/disk_inputs.h"
#include "partitions/partition_search.h"
#include "partitions/partition_table.h"
#include "ui/mytreectrl.h"
#include "ui/text_progress_ctrl.h"
#include "ui/tree_images.h"

namespace lumarest {

namespace {
const char* const kCompleted = "Completed ";
constexpr int kPartitionItemImage = kImageRemovable;
// Marks the "Unknown Partition" item, which stands for the whole disk and has no record.
constexpr std::uint64_t kUnknownPartitionMark = 0x554e4b4e;
// The BIOS path shows its bar from 0 to 99, a step every 100 ms.
constexpr std::chrono::milliseconds kLegacyStepInterval{100};
constexpr int kLegacyLastStep = 99;
constexpr int kFullBar = 100;

void MoveWidget(QWidget* widget, QVBoxLayout* to) {
    if (QLayout* from = widget->parentWidget() ? widget->parentWidget()->layout() : nullptr) {
        from->removeWidget(widget);
    }
    to->addWidget(widget);
}
}  // namespace

bool CChildDialogExDemoDlg::PartitionSearchRunning() const {
    return partitionSearchWorker_ != nullptr || legacyStep_ >= 0;
}

// Acts once per visit of the disk page, while Next leaves it: the search then starts when the
// walk of the table is over, never in the middle of it.
void CChildDialogExDemoDlg::ReadFailureNotice() {
    if (stage_ != WizardStage::DiskPage || run_.partitionSearchVisits != 1) {
        return;
    }
    SetStatusText(texts::kPartitionTableCorruptedStatus);
    ShowPartitionSearchControls(true);
    if (run_.searchMode == SearchMode::Advance) {
        typeBoxHiddenBySearch_ = true;
        ShowPartitionTypeBox(false);
    }
    noticeSearchPending_ = true;
    ++run_.partitionSearchVisits;
}

void CChildDialogExDemoDlg::StartPartitionSearch() {
    if (PartitionSearchRunning()) {
        return;
    }
    SetStatusText(texts::kStopSearchingPartitionsStatus);
    if (run_.accessMode == 'F') {
        if (run_.searchMode == SearchMode::Advance) {
            ShowPartitionTypeBox(false);
        }
        StartLegacyPartitionDisplay();
        return;
    }
    ShowPartitionSearchControls(true);
    if (!StartPartitionSearchWorker()) {
        ShowPartitionSearchControls(false);
    }
}

// False when there is no tree to show partitions in or no such disk: nothing started.
bool CChildDialogExDemoDlg::StartPartitionSearchWorker() {
    const std::uint16_t disk = run_.selectedDiskNumber;
    if (partitionSearchWorker_ || !run_.partitionTree || disk >= run_.diskPartitionLists.size()) {
        return false;
    }
    // Placed on the page that started it, and kept off the fields the end fills.
    const bool raw = run_.searchMode == SearchMode::Raw;
    MoveWidget(
        partitionCriteria_->partitionSearchRow,
        raw ? rawCriteria_->partitionSearchLayout : partitionCriteria_->partitionSearchLayout);
    nextButton_->setEnabled(false);
    partitionCriteria_->partitionTypeBox->setCurrentIndex(kUnknownTypeEntry);
    partitionCriteria_->startField->setText(QStringLiteral("0"));
    for (QWidget* control : std::initializer_list<QWidget*>{partitionCriteria_->partitionTypeBox,
                                                            partitionCriteria_->startField,
                                                            partitionCriteria_->endField}) {
        control->setEnabled(false);
    }
    reporter_->SetProgress(ProgressBar::PartitionSearch, 0, kCompleted);
    reporter_->ShowProgress(ProgressBar::PartitionSearch, true);

    RemoveUnknownPartitionItem();
    TreeModel& tree = *run_.partitionTree;
    const DiskPartitionList& list = run_.diskPartitionLists[disk];
    if (list.partitions.empty()) {
        tree.Expand(tree.TopItem(), ExpandAction::Collapse);
    }
    searchedDisk_ = disk;
    listedBeforeSearch_ = list.Count();
    foundPartitionItems_.clear();
    const std::uint64_t search = ++partitionSearchSerial_;

    PartitionSearchWorker::Inputs inputs;
    inputs.disk = ShownDiskInputs(SelectedDevicePath(run_));
    inputs.diskNumber = disk;
    inputs.geometry = InventoryGeometry(run_, disk);
    inputs.listed = list;
    run_.partitionSearchStop = std::stop_source();
    partitionSearchWorker_ = std::make_unique<PartitionSearchWorker>(
        std::move(inputs), *reporter_, *this,
        [this, search](std::size_t listIndex, const PartitionRecord& record) {
            OnPartitionFound(search, listIndex, record);
        },
        [this, search](DiskPartitionList searched) {
            OnPartitionSearchFinished(search, std::move(searched));
        },
        run_.partitionSearchStop);
    return true;
}

// Each partition shows the moment it is found; its record gets the item once the worker is done.
void CChildDialogExDemoDlg::OnPartitionFound(std::uint64_t search, std::size_t listIndex,
                                             const PartitionRecord& record) {
    if (search != partitionSearchSerial_ || !partitionSearchWorker_ || !run_.partitionTree ||
        listIndex != listedBeforeSearch_ + foundPartitionItems_.size()) {
        return;
    }
    TreeModel& tree = *run_.partitionTree;
    const TreeItem disk = tree.TopItem();
    foundPartitionItems_.push_back(
        tree.InsertItem(disk, PartitionItemText(listIndex + 1, record.fileSystem),
                        kPartitionItemImage, kPartitionItemImage));
    tree.Expand(disk, ExpandAction::Expand);
}

void CChildDialogExDemoDlg::OnPartitionSearchFinished(std::uint64_t search,
                                                      DiskPartitionList searched) {
    if (search != partitionSearchSerial_ || !partitionSearchWorker_) {
        return;
    }
    partitionSearchWorker_->Wait();
    partitionSearchWorker_.reset();
    AdoptFoundPartitions(std::move(searched));
    ++partitionSearchSerial_;
    EndPartitionSearchDisplay();
}

// Stops the worker and takes the list it searched on.
void CChildDialogExDemoDlg::JoinPartitionSearch() {
    if (!partitionSearchWorker_) {
        return;
    }
    DiskPartitionList searched = partitionSearchWorker_->StopAndWait();
    partitionSearchWorker_.reset();
    AdoptFoundPartitions(std::move(searched));
    ++partitionSearchSerial_;
}

// The worker has ended: its list becomes the disk's, and every partition in it gets its item,
// also those whose news was still on its way.
void CChildDialogExDemoDlg::AdoptFoundPartitions(DiskPartitionList searched) {
    DiskPartitionList& list = run_.diskPartitionLists[searchedDisk_];
    list = std::move(searched);
    if (!run_.partitionTree || searchedDisk_ != run_.selectedDiskNumber) {
        return;
    }
    TreeModel& tree = *run_.partitionTree;
    const TreeItem disk = tree.TopItem();
    for (std::size_t i = listedBeforeSearch_; i < list.Count(); ++i) {
        const std::size_t found = i - listedBeforeSearch_;
        if (found < foundPartitionItems_.size()) {
            list.partitions[i].treeItem = foundPartitionItems_[found];
        } else {
            AddPartitionItem(tree, disk, list, i);
        }
    }
    foundPartitionItems_.clear();
    if (list.Count() > listedBeforeSearch_) {
        tree.Expand(disk, ExpandAction::Expand);
    }
}

void CChildDialogExDemoDlg::EndPartitionSearchDisplay() {
    const DiskPartitionList& list = run_.diskPartitionLists[searchedDisk_];
    if (!list.partitions.empty()) {
        const PartitionRecord& first = list.partitions.front();
        partitionCriteria_->partitionTypeBox->setCurrentIndex(
            PartitionTypeEntry(std::string(FileSystemName(first.fileSystem))));
        partitionCriteria_->startField->setText(
            QString::fromStdString(ShownSectorText(run_, first.startSector)));
        partitionCriteria_->endField->setText(
            QString::fromStdString(ShownSectorText(run_, first.endSector)));
    }
    reporter_->SetProgress(ProgressBar::PartitionSearch, kFullBar, kCompleted);
    SetStatusText(texts::kSectorsInPartitionStatus);
    ShowPartitionSearchControls(false);
    ShowFirstPartitionOrUnknown();
    ShowPartitionListNote();
}

// The first partition of the disk with its details, or "Unknown Partition" for the whole disk.
void CChildDialogExDemoDlg::ShowFirstPartitionOrUnknown() {
    if (!run_.partitionTree) {
        return;
    }
    TreeModel& tree = *run_.partitionTree;
    const TreeItem disk = tree.TopItem();
    for (const TreeItem child : tree.Children(disk)) {
        if (tree.Text(child).empty()) {
            tree.RemoveItem(child);
            break;
        }
    }
    const std::vector<TreeItem>& children = tree.Children(disk);
    if (!children.empty()) {
        if (!ShowUnknownPartitionOfItem(children.front())) {
            ShowPartitionOfItem(children.front());
        }
    } else {
        const TreeItem unknown =
            tree.InsertItem(disk, kUnknownPartition, kPartitionItemImage, kPartitionItemImage);
        tree.SetData(unknown, kUnknownPartitionMark);
        ShowUnknownPartitionOfItem(unknown);
    }
    tree.Expand(disk, ExpandAction::Expand);
}

bool CChildDialogExDemoDlg::ShowUnknownPartitionOfItem(TreeItem item) {
    if (!run_.partitionTree || !run_.partitionTree->Exists(item) ||
        run_.partitionTree->Data(item) != kUnknownPartitionMark) {
        return false;
    }
    run_.partitionTree->Select(item);
    ShowPartitionDetails(kUnknownPartition, 0, run_.selectedDiskNumber);
    return true;
}

// A search that finds partitions leaves no "Unknown Partition" of an earlier one beside them.
void CChildDialogExDemoDlg::RemoveUnknownPartitionItem() {
    TreeModel& tree = *run_.partitionTree;
    const std::vector<TreeItem> children = tree.Children(tree.TopItem());
    for (const TreeItem child : children) {
        if (tree.Data(child) == kUnknownPartitionMark) {
            tree.RemoveItem(child);
        }
    }
}

void CChildDialogExDemoDlg::OnStopSearchingPartitions() {
    if (legacyStep_ >= 0) {
        env_.stepClock->Stop();
        legacyStep_ = -1;
        SetWizardButtonsEnabled(true);
        ShowPartitionSearchControls(false);
        ShowPartitionTypeBox(true);
        SetStatusText(texts::kSectorsInPartitionStatus);
        return;
    }
    if (!partitionSearchWorker_) {
        return;
    }
    const std::uint64_t search = partitionSearchSerial_;
    const bool stop =
        env_.messages->AskYesNo(QString::fromUtf8(texts::kStopPartitionSearchQuestion));
    // The search may have ended while the question was open.
    if (search != partitionSearchSerial_ || !partitionSearchWorker_) {
        return;
    }
    if (!stop) {
        return;
    }
    // What it found so far stays, and the page ends as after a full search.
    JoinPartitionSearch();
    EndPartitionSearchDisplay();
    backButton_->setEnabled(true);
}

// Leaving the page or its scope ends the search at once; what it found stays listed.
void CChildDialogExDemoDlg::StopPartitionSearchWithoutAsking() {
    run_.partitionSearchStop.request_stop();
    if (legacyStep_ >= 0) {
        env_.stepClock->Stop();
        legacyStep_ = -1;
        SetWizardButtonsEnabled(true);
        ShowPartitionSearchControls(false);
    }
    if (partitionSearchWorker_) {
        JoinPartitionSearch();
        ShowPartitionSearchControls(false);
    }
}

// "Search More Partitions" and "Stop Searching Partitions" take turns in one place on every
// page; the bar shows only while a search runs. The end gives the criteria back.
void CChildDialogExDemoDlg::ShowPartitionSearchControls(bool running) {
    for (QPushButton* more : {partitionCriteria_->searchMorePartitionsButton,
                              rawCriteria_->searchMorePartitionsButton}) {
        more->setVisible(!running);
    }
    for (QPushButton* stop : {partitionCriteria_->stopSearchingPartitionsButton,
                              rawCriteria_->stopSearchingPartitionsButton}) {
        stop->setVisible(running);
    }
    reporter_->ShowProgress(ProgressBar::PartitionSearch, running);
    if (running) {
        return;
    }
    nextButton_->setEnabled(true);
    partitionCriteria_->startField->setEnabled(true);
    partitionCriteria_->endField->setEnabled(true);
    partitionCriteria_->partitionTypeBox->setEnabled(run_.searchMode == SearchMode::Advance);
    typeBoxHiddenBySearch_ = false;
    ShowPartitionTypeBox(true);
}

void CChildDialogExDemoDlg::ShowPartitionTypeBox(bool shown) {
    partitionCriteria_->partitionTypeBox->setVisible(shown);
    partitionCriteria_->partitionTypeCaption->setVisible(shown);
}

// The BIOS path lists the table again where nobody sees it and shows a bar for about ten seconds.
void CChildDialogExDemoDlg::StartLegacyPartitionDisplay() {
    SetWizardButtonsEnabled(false);
    const std::uint16_t disk = run_.selectedDiskNumber;
    if (disk < run_.physicalDriveTable.size() && !run_.physicalDriveTable[disk].empty()) {
        RecoveryRun unseen;
        unseen.accessMode = run_.accessMode;
        unseen.physicalDriveTable = run_.physicalDriveTable;
        DiskInputs inputs = ShownDiskInputs(run_.physicalDriveTable[disk]);
        inputs.reader.bios = env_.bios.get();
        DeviceSectorSource source = OpenDisk(std::move(inputs));
        ListPartitions(unseen, source, disk, kNoItem, [] {});
    }
    const bool raw = run_.searchMode == SearchMode::Raw;
    MoveWidget(
        partitionCriteria_->partitionSearchRow,
        raw ? rawCriteria_->partitionSearchLayout : partitionCriteria_->partitionSearchLayout);
    for (QPushButton* more : {partitionCriteria_->searchMorePartitionsButton,
                              rawCriteria_->searchMorePartitionsButton}) {
        more->hide();
    }
    for (QPushButton* stop : {partitionCriteria_->stopSearchingPartitionsButton,
                              rawCriteria_->stopSearchingPartitionsButton}) {
        stop->show();
    }
    reporter_->SetProgress(ProgressBar::PartitionSearch, 0, kCompleted);
    reporter_->ShowProgress(ProgressBar::PartitionSearch, true);
    legacyStep_ = 0;
    env_.stepClock->Start(kLegacyStepInterval, [this] { StepLegacyPartitionDisplay(); });
}

void CChildDialogExDemoDlg::StepLegacyPartitionDisplay() {
    if (legacyStep_ < 0) {
        return;
    }
    ++legacyStep_;
    reporter_->SetProgress(ProgressBar::PartitionSearch, legacyStep_, kCompleted);
    if (legacyStep_ >= kLegacyLastStep) {
        EndLegacyPartitionDisplay();
    }
}

void CChildDialogExDemoDlg::EndLegacyPartitionDisplay() {
    env_.stepClock->Stop();
    legacyStep_ = -1;
    ShowPartitionSearchControls(false);
    SetWizardButtonsEnabled(true);
    SetStatusText(texts::kPartitionsRelistedStatus);
}

}  // namespace lumarest

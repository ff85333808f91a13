// The partition page of a Standard or Advance search: listing the chosen disk's partitions in
// PartitionTree, and showing the details of the partition the user picks there.
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

#include "app/page_widgets.h"
#include "app/partition_criteria_panel.h"
#include "app/partition_details.h"
#include "app/raw_criteria_panel.h"
#include "app/window_reporter.h"
#include "app/wizard_texts.h"
#include "app/wizard_window.h"
#include "disk/disk_inputs.h"
#include "partitions/partition_table.h"
#include "ui/mytreectrl.h"

namespace lumarest {

void CChildDialogExDemoDlg::ListDiskPartitions(TreeItem diskItem) {
    const std::uint16_t disk = run_.selectedDiskNumber;
    if (disk >= run_.physicalDriveTable.size() || run_.physicalDriveTable[disk].empty()) {
        return;
    }
    const auto notice = [this] { ReadFailureNotice(); };
    DiskInputs inputs = ShownDiskInputs(run_.physicalDriveTable[disk]);
    inputs.reader.readFailureNotice = notice;
    DeviceSectorSource source = OpenDisk(std::move(inputs), *reporter_);
    ListPartitions(run_, source, disk, diskItem, notice);
    ShowPartitionListNote();
}

void CChildDialogExDemoDlg::ShowPartitionListNote() {
    const std::uint16_t disk = run_.selectedDiskNumber;
    const bool full = disk < run_.diskPartitionLists.size() && run_.partitionTree &&
                      run_.diskPartitionLists[disk].Full();
    partitionListNote_->setVisible(full && !partitionTree_->isHidden());
}

bool CChildDialogExDemoDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == partitionTree_ &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        ShowPartitionListNote();
    }
    return QDialog::eventFilter(watched, event);
}

// The first partition the master boot record listed; when only logical partitions were
// listed, the first of those, so the page never opens without a partition chosen.
void CChildDialogExDemoDlg::SelectDefaultPartition() {
    if (run_.selectedDiskNumber >= run_.diskPartitionLists.size()) {
        return;
    }
    TreeItem item = run_.defaultPartitionItem;
    const DiskPartitionList& list = run_.diskPartitionLists[run_.selectedDiskNumber];
    if ((item == kNoItem || !run_.partitionTree->Exists(item)) && !list.partitions.empty()) {
        item = list.partitions.front().treeItem;
    }
    if (item != kNoItem) {
        ShowPartitionOfItem(item);
    }
}

void CChildDialogExDemoDlg::OnPartitionTreeClicked(TreeItem item) {
    if (stage_ != WizardStage::Criteria || !run_.partitionTree || item == kNoItem) {
        return;
    }
    TreeModel& tree = *run_.partitionTree;
    if (tree.Text(item).empty()) {
        tree.Select(tree.TopItem());
        return;
    }
    // While the partition search adds items, it shows the details itself when it ends.
    if (!PartitionSearchRunning() && !ShowUnknownPartitionOfItem(item)) {
        ShowPartitionOfItem(item);
    }
}

void CChildDialogExDemoDlg::ShowPartitionOfItem(TreeItem item) {
    const auto partition = FindPartitionOfItem(run_, item);
    if (!partition) {
        return;
    }
    run_.partitionTree->Select(item);
    const DiskPartitionList& list = run_.diskPartitionLists[partition->diskNumber];
    const PartitionRecord& record = list.partitions[static_cast<std::size_t>(partition->index)];
    ShowPartitionDetails(std::string(FileSystemName(record.fileSystem)), partition->index,
                         partition->diskNumber);
}

void CChildDialogExDemoDlg::ShowPartitionDetails(const std::string& fsName, int index,
                                                 std::uint16_t diskNumber) {
    const auto details = DescribePartition(run_, run_.searchMode, fsName, index, diskNumber);
    if (!details) {
        return;
    }
    shownPartitionIndex_ = index;
    // A raw search takes only the partition's range.
    if (run_.searchMode == SearchMode::Raw) {
        rawCriteria_->startField->setText(QString::number(details->startSector));
        rawCriteria_->endField->setText(QString::number(details->endSector));
        return;
    }
    partitionCriteria_->startField->setText(QString::fromStdString(details->startField));
    partitionCriteria_->endField->setText(QString::fromStdString(details->endField));
    partitionCriteria_->modeLabel->setText(QString::fromStdString(details->modeText));
    partitionCriteria_->partitionTypeBox->setEnabled(details->typeBoxEnabled);
    partitionCriteria_->partitionTypeBox->setCurrentIndex(details->typeEntry);

    if (run_.detailsList.ColumnCount() != 2) {
        SetDetailsColumns({{"Name", kNameColumnWidth}, {"Value", kValueColumnWidth}});
    }
    run_.detailsList.Clear();
    for (const auto& [caption, value] : details->rows) {
        run_.detailsList.AppendRow({caption, value});
    }
    ReloadDetailsList();
    if (details->expandRoot && run_.partitionTree) {
        run_.partitionTree->Expand(run_.partitionTree->TopItem(), ExpandAction::Expand);
    }
}

}  // namespace lumarest

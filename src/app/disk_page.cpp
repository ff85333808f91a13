#include "app/disk_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <QRadioButton>
#include "app/disk_key.h"
#include "app/disk_page_panel.h"
#include "app/page_widgets.h"
#include "app/settings_place.h"
#include "app/shell_opener.h"
#include "app/wizard_environment.h"
#include "app/wizard_frame.h"
#include "app/wizard_texts.h"
#include "disk/disk_inventory.h"
#include "disk/parameter_store.h"
#include "ui/mytreectrl.h"
#include "ui/text_table_model.h"

namespace lumarest {

namespace {
const char* const kDisksCaption = "Disks and disk images";
const char* const kDiskDetailsCaption = "Disk Details";
const char* const kMyComputer = "My Computer";
// A 1.44 MB floppy: 80 cylinders, 2 heads, 18 sectors per track.
constexpr std::uint64_t kFloppySectors = 2880;
}  // namespace

DiskPage::DiskPage(RecoveryRun& run, WizardEnvironment& env, ParameterStore& store,
                   ServiceDeviceFiles& deviceFiles, WizardFrame& frame)
    : run_(run), env_(env), store_(store), deviceFiles_(deviceFiles), frame_(frame) {
    QWidget* left = BuildLeftColumn();
    QWidget* right = BuildRightColumn();
    page_ = MakePage(left, right);
    connect(addImageButton_, &QPushButton::clicked, this, &DiskPage::AddDiskImage);
    connect(modes_, &DiskPagePanel::ModeChosen, this, &DiskPage::OnModeChosen);
    connect(diskTree_, &mytreectrl::ItemClicked, this, &DiskPage::OnDiskTreeClicked);
    // Choosing a disk with the keyboard works like a click.
    connect(diskTree_, &mytreectrl::ItemKeySelected, this, &DiskPage::OnDiskTreeClicked);
}

DiskPage::~DiskPage() {
    // The view lets go of the run's tree before the run goes.
    diskTree_->SetTree(nullptr);
}

QWidget* DiskPage::BuildLeftColumn() {
    auto [column, layout, caption] = MakeLeftColumn(kDisksCaption, "diskPageCaption");
    diskTree_ = new mytreectrl;
    diskTree_->setObjectName(QStringLiteral("DiskTree"));
    layout->addWidget(diskTree_, 1);
    addImageButton_ = MakeButton(texts::kAddDiskImage, "addImageButton");
    layout->addWidget(addImageButton_);
    return column;
}

QWidget* DiskPage::BuildRightColumn() {
    auto [column, layout, caption] = MakeRightColumn(kDiskDetailsCaption, "diskDetailsCaption");
    detailsModel_ = new TextTableModel(run_.detailsList, this);
    detailsList_ = MakeDetailsList(detailsModel_);
    detailsList_->setObjectName(QStringLiteral("DiskDetailsList"));
    layout->addWidget(detailsList_, 1);
    modes_ = new DiskPagePanel;
    modes_->hide();
    layout->addWidget(modes_);
    // Where the other pages keep their search statistics: every page's lists end alike.
    layout->addSpacing(layout->spacing());
    layout->addStretch();
    auto* workingFolderCaption = new QLabel(QString::fromUtf8(texts::kWorkingFolderCaption));
    workingFolderCaption->hide();
    layout->addWidget(workingFolderCaption);
    workingFolderField_ = new QLineEdit;
    workingFolderField_->setObjectName(QStringLiteral("workingFolderField"));
    workingFolderField_->hide();
    layout->addWidget(workingFolderField_);
    return column;
}

void DiskPage::AttachStartupImages() {
    std::vector<std::string> refusals;
    for (const std::string& image : env_.images) {
        if (auto refusal = AttachImage(run_, image)) {
            refusals.push_back(std::move(*refusal));
        }
    }
    // Told once the window is up, so the user sees what the message is about.
    if (!refusals.empty()) {
        QTimer::singleShot(0, this, [this, refusals] {
            for (const std::string& refusal : refusals) {
                frame_.ShowMessage(refusal, MessageIcon::Error);
            }
        });
    }
    run_.workingFolder = OpenedFilesBase().toStdString();
    workingFolderField_->setText(QString::fromStdString(run_.workingFolder));
}

void DiskPage::RunInventory() {
    if (run_.diskTree) {
        run_.diskTree->RemoveChildren(run_.diskTree->TopItem());
    }
    store_.SetWritable(SettingsMayBeWritten(store_.Path(), SearchedSources()));
    RefreshInventory(run_, *env_.disks, store_, frame_.WindowReport());
    if (diskTree_->Tree() != run_.diskTree.get()) {
        diskTree_->SetTree(run_.diskTree.get());
    }
}

std::vector<std::string> DiskPage::SearchedSources() const {
    std::vector<std::string> sources = run_.attachedImages;
    const std::int32_t disk = run_.shownDisk.diskNumber;
    if (disk >= 0 && static_cast<std::size_t>(disk) < run_.physicalDriveTable.size()) {
        sources.push_back(run_.physicalDriveTable[static_cast<std::size_t>(disk)]);
    }
    return sources;
}

// No disk is chosen after the list is made again: disk numbers may have moved, and Next must
// never act on a disk the user did not pick from the list as it stands now.
void DiskPage::ResetDiskChoice() {
    run_.detailsList.Clear();
    ReloadDetails();
    diskTree_->lastClickedText = " ";
    if (run_.diskTree) {
        run_.diskTree->Select(kNoItem);
    }
    // The buttons always show the mode in force; they come back with the next choice of disk.
    modes_->CheckMode(run_.searchMode);
    modes_->SetModesEnabled(false, false, false);
    modes_->hide();
    frame_.SetNextEnabled(false);
}

void DiskPage::Refresh() {
    // A disk taken out and put back is asked for afresh.
    deviceFiles_.ReleaseAll();
    RunInventory();
    ResetDiskChoice();
}

void DiskPage::Enter() {
    SetDetailsColumns({{"Name", kNameColumnWidth}, {"Value", kValueColumnWidth}});
    modes_->advanceButton->setChecked(false);
    // The floppy's page is reset on its own way back.
    const std::string chosen = run_.FloppySelected() ? std::string() : SelectedDevicePath(run_);
    RunInventory();
    ResetDiskChoice();
    frame_.SetStatusText(texts::kSelectDiskStatus);
    ChooseDiskAgain(chosen);
}

// A disk this user may not read is still listed; choosing it asks the system's disk service for
// read-only access, and where that fails explains why and how, instead of a search that
// silently finds nothing.
bool DiskPage::Leave() {
    const auto refusal = OpenForReading(SelectedDevicePath(run_), deviceFiles_,
                                        env_.diskService.get(), env_.alwaysAskDiskService);
    if (refusal) {
        frame_.ShowMessage(*refusal, MessageIcon::Error);
        return false;
    }
    if (workingFolderField_->text().trimmed().isEmpty()) {
        workingFolderField_->setText(OpenedFilesBase());
    }
    run_.workingFolder = workingFolderField_->text().toStdString();
    return true;
}

void DiskPage::ResetForFloppy() {
    SetDetailsColumns({{" Disk Details", kSingleColumnWidth}});
    modes_->show();
    modes_->SetModesEnabled(false, false, false);
    modes_->ClearModes();
}

// The disk item whose disk is read from `devicePath` in the list as it stands now, or none.
TreeItem DiskPage::DiskItemOf(const std::string& devicePath) const {
    if (!run_.diskTree || devicePath.empty()) {
        return kNoItem;
    }
    const TreeModel& tree = *run_.diskTree;
    std::vector<TreeItem> pending{tree.TopItem()};
    while (!pending.empty()) {
        const TreeItem item = pending.back();
        pending.pop_back();
        const std::vector<TreeItem>& children = tree.Children(item);
        pending.insert(pending.end(), children.begin(), children.end());
        const std::string& text = tree.Text(item);
        if (text.empty() || text == kMyComputer || text == kFloppyItemText) {
            continue;
        }
        const std::uint16_t number = DiskNumberOfKey(DiskKeyOfItemText(text));
        if (number < run_.physicalDriveTable.size() &&
            run_.physicalDriveTable[number] == devicePath) {
            return item;
        }
    }
    return kNoItem;
}

// The list is made again, but the choice stays with the same disk (found by the file it is
// read from, as numbers may move) when it is still listed.
void DiskPage::ChooseDiskAgain(const std::string& devicePath) {
    const TreeItem item = DiskItemOf(devicePath);
    if (item != kNoItem) {
        OnDiskTreeClicked(item);
    }
}

void DiskPage::AddDiskImage() {
    const QString image = env_.dialogs->ChooseDiskImage(page_->window());
    if (image.isEmpty()) {
        return;
    }
    if (const auto refusal = AttachImage(run_, image.toStdString())) {
        frame_.ShowMessage(*refusal, MessageIcon::Error);
        return;
    }
    const std::string chosen = SelectedDevicePath(run_);
    Refresh();
    // The image just added is what the user means to search; failing that, the disk chosen.
    const std::string added = run_.attachedImages.back();
    ChooseDiskAgain(DiskItemOf(added) != kNoItem ? added : chosen);
}

void DiskPage::OnDiskTreeClicked(TreeItem item) {
    if (frame_.Stage() != WizardStage::DiskPage || !run_.diskTree || item == kNoItem) {
        return;
    }
    TreeModel& tree = *run_.diskTree;
    const std::string& text = tree.Text(item);
    if (text.empty()) {
        tree.Select(tree.TopItem());
        return;
    }
    if (text != kMyComputer) {
        SelectDiskItem(item);
    }
}

void DiskPage::SelectDiskItem(TreeItem item) {
    TreeModel& tree = *run_.diskTree;
    const std::string text = tree.Text(item);
    run_.selectedDiskKey = text;
    tree.Select(item);
    // A folder tree rebuilt from another disk has no meaning for this one.
    run_.folderNodes.Clear();
    run_.folderTable.Clear();
    modes_->show();
    if (text != kFloppyItemText) {
        run_.selectedDiskKey = DiskKeyOfItemText(text);
        run_.selectedDiskNumber = DiskNumberOfKey(run_.selectedDiskKey);
        if (text != diskTree_->lastClickedText) {
            // The floppy's single column has no room for the values.
            if (run_.detailsList.ColumnCount() != 2) {
                SetDetailsColumns({{"Name", kNameColumnWidth}, {"Value", kValueColumnWidth}});
            }
            ShowDiskDetails(run_, *env_.disks, run_.selectedDiskNumber);
            ReloadDetails();
        }
        diskTree_->lastClickedText = text;
        modes_->SetModesEnabled(true, true, true);
    } else {
        ShowFloppy();
    }
    modes_->CheckMode(run_.searchMode);
    // With no mode chosen (after the floppy reset) Next waits for one.
    frame_.SetNextEnabled(run_.searchMode != SearchMode::None);
}

void DiskPage::ShowFloppy() {
    run_.detailsList.Clear();
    ReloadDetails();
    // The floppy has no details of its own; the pages after this one must not size it by the
    // disk shown before.
    run_.shownDisk = ShownDisk{};
    run_.shownDisk.totalSectors = kFloppySectors;
    run_.shownDisk.diskMaximum = static_cast<std::int32_t>(kFloppySectors);
    run_.shownDisk.totalSectorsText = std::to_string(kFloppySectors);
    modes_->SetModesEnabled(true, false, false);
}

void DiskPage::OnModeChosen(SearchMode mode) {
    run_.searchMode = mode;
    frame_.SetNextEnabled(true);
}

void DiskPage::SetDetailsColumns(const std::vector<std::pair<std::string, int>>& columns) {
    std::vector<std::string> names;
    for (const auto& column : columns) {
        names.push_back(column.first);
    }
    run_.detailsList.SetColumns(names);
    ReloadDetails();
    ResizeColumns(detailsList_, columns);
    emit DetailsColumnsSet(columns);
}

void DiskPage::ReloadDetails() {
    // A reset keeps the header's section sizes as long as the column count stays.
    detailsModel_->Reload();
}

}  // namespace lumarest

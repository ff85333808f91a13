// The folder results page: its layout, showing the tree a worker built, and what clicks and
// expansions of its folder tree do.

#include "app/folder_results_page.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QThread>
#include <QTreeView>
#include <QVBoxLayout>
#include <utility>

#include "app/disk_key.h"
#include "app/page_widgets.h"
#include "app/search_end_notice.h"
#include "app/search_statistics_panel.h"
#include "app/window_reporter.h"
#include "app/wizard_frame.h"
#include "app/wizard_texts.h"
#include "disk/device_sector_source.h"
#include "disk/disk_inputs.h"
#include "output/private_folder.h"
#include "tree/folder_browse.h"
#include "tree/folder_tree_build.h"
#include "tree/folder_tree_events.h"
#include "ui/deleted_mark.h"
#include "ui/mytreectrl.h"
#include "ui/text_progress_ctrl.h"
#include "ui/text_table_model.h"

namespace lumarest {

namespace {

// The last three columns keep the ids of the listed items; nobody reads them on screen.
constexpr int kFileListColumnWidths[] = {145, 100, 70, 100, 70};

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

FolderResultsPage::FolderResultsPage(RecoveryRun& run, WizardEnvironment& env, WizardFrame& frame,
                                     WindowReporter& reporter, SearchStatisticsPanel& statistics,
                                     std::function<bool()> treeBuilding)
    : run_(run),
      env_(env),
      frame_(frame),
      reporter_(reporter),
      statistics_(statistics),
      treeBuilding_(std::move(treeBuilding)) {
    QWidget* left = BuildLeftColumn();
    QWidget* right = BuildRightColumn();
    page_ = MakePage(left, right);
    ConnectControls();
}

FolderResultsPage::~FolderResultsPage() {
    // The view lets go of the run's tree before the run goes.
    folderTree_->SetTree(nullptr);
}

QWidget* FolderResultsPage::BuildLeftColumn() {
    auto [column, layout, caption] = MakeLeftColumn(texts::kFolderTreeCaption, "folderTreeCaption");
    folderTree_ = new mytreectrl;
    folderTree_->setObjectName(QStringLiteral("FolderTree"));
    layout->addWidget(folderTree_, 1);
    return column;
}

QWidget* FolderResultsPage::BuildRightColumn() {
    auto [column, layout, caption] =
        MakeRightColumn(texts::kFolderResultsCaption, "folderResultsCaption");
    rightLayout_ = layout;
    rightLayout_->addWidget(BuildCurrentFolderRow());
    rightLayout_->addWidget(BuildFileList(), 1);
    // The statistics panel goes here, above the stretch, while the page is shown.
    rightLayout_->addStretch();
    return column;
}

QWidget* FolderResultsPage::BuildCurrentFolderRow() {
    currentFolderRow_ = new QWidget;
    auto* rows = new QVBoxLayout(currentFolderRow_);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* currentFolderLayout = new QHBoxLayout;
    currentFolderLayout->addWidget(new QLabel(QString::fromUtf8(texts::kCurrentFolderCaption)));
    currentFolderValue_ = new QLabel;
    currentFolderValue_->setObjectName(QStringLiteral("currentFolderValue"));
    currentFolderValue_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    currentFolderLayout->addWidget(currentFolderValue_, 1);
    rows->addLayout(currentFolderLayout);
    // The volume's counts, and which of its rows the list shows, on a line of their own.
    auto* countsLayout = new QHBoxLayout;
    folderCountsValue_ = new QLabel;
    folderCountsValue_->setObjectName(QStringLiteral("folderCountsValue"));
    countsLayout->addWidget(folderCountsValue_, 1);
    auto* filterCaption = new QLabel(QStringLiteral("&Show:"));
    countsLayout->addWidget(filterCaption);
    deletedFilterBox_ = new QComboBox;
    deletedFilterBox_->setObjectName(QStringLiteral("deletedFilterBox"));
    filterCaption->setBuddy(deletedFilterBox_);
    // In the order of DeletedFilterModel::Show.
    deletedFilterBox_->addItems(
        {QStringLiteral("All"), QStringLiteral("Deleted only"), QStringLiteral("Live only")});
    countsLayout->addWidget(deletedFilterBox_);
    rows->addLayout(countsLayout);
    // The row comes with the results; a rebuild shows the tree and list without it.
    currentFolderRow_->hide();
    return currentFolderRow_;
}

QTreeView* FolderResultsPage::BuildFileList() {
    fileList_ = new QTreeView;
    fileList_->setObjectName(QStringLiteral("FileList"));
    fileList_->setRootIsDecorated(false);
    fileList_->setUniformRowHeights(true);
    fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fileList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fileListModel_ = std::make_unique<TextTableModel>(run_.fileList);
    fileListModel_->SetRowIcon([this](const std::vector<std::string>& row) {
        const bool folder = row.size() > 1 && row[1].find("FOLDER") != std::string::npos;
        return folder ? fileIcons_.Folder() : fileIcons_.ForName(QString::fromStdString(row[0]));
    });
    fileListModel_->SetRowDeleted([this](std::size_t row) {
        const std::optional<FileRef> file = ListedRowRef(run_, row);
        return file && file->deleted;
    });
    fileListModel_->SetRowTruncated([this](std::size_t row) {
        const std::optional<FileRef> file = ListedRowRef(run_, row);
        return file && file->truncated;
    });
    fileListModel_->SetRowNameOnly([this](std::size_t row) {
        const std::optional<FileRef> file = ListedRowRef(run_, row);
        return file && file->nameOnly;
    });
    fileListFilter_ = std::make_unique<DeletedFilterModel>();
    fileListFilter_->setSourceModel(fileListModel_.get());
    fileList_->setModel(fileListFilter_.get());
    fileList_->installEventFilter(this);
    SetFileListColumnWidths();
    return fileList_;
}

void FolderResultsPage::ConnectControls() {
    connect(folderTree_, &mytreectrl::ItemClicked, this, &FolderResultsPage::OnFolderTreeClicked);
    connect(folderTree_, &mytreectrl::CheckBoxClicked, this,
            &FolderResultsPage::OnFolderCheckBoxClicked);
    connect(folderTree_, &mytreectrl::CurrentItemChosen, this,
            [this](TreeItem item) { ShowFolder(item, FolderTrigger::Browse); });
    connect(folderTree_, &mytreectrl::ItemEntered, this,
            [this](TreeItem item) { ShowFolder(item, FolderTrigger::Click); });
    folderTree_->SetItemDeleted([this](TreeItem item) { return FolderItemDeleted(run_, item); });
    connect(deletedFilterBox_, &QComboBox::currentIndexChanged, this, [this](int choice) {
        fileListFilter_->SetShow(static_cast<DeletedFilterModel::Show>(choice));
    });
    folderTree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(folderTree_, &QWidget::customContextMenuRequested, this,
            &FolderResultsPage::OnFolderTreeContextMenu);
    fileList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(fileList_, &QWidget::customContextMenuRequested, this,
            &FolderResultsPage::OnFileListContextMenu);
    connect(fileList_, &QTreeView::doubleClicked, this, &FolderResultsPage::OnFileListActivated);
}

bool FolderResultsPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fileList_ && OpenFileListRowOnEnter(event)) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void FolderResultsPage::SetFileListColumnWidths() {
    QHeaderView* header = fileList_->header();
    header->setStretchLastSection(false);
    for (int column = 0; column < fileListModel_->columnCount(); ++column) {
        if (column < static_cast<int>(std::size(kFileListColumnWidths))) {
            header->resizeSection(column, kFileListColumnWidths[column]);
        } else {
            header->hideSection(column);
        }
    }
}

DeviceSectorSource& FolderResultsPage::Disk() {
    if (!disk_) {
        disk_ = std::make_unique<DeviceSectorSource>(
            OpenDisk(frame_.ShownDiskInputs(SelectedDevicePath(run_)), reporter_));
    }
    return *disk_;
}

void FolderResultsPage::ForgetDisk() {
    disk_.reset();
}

void FolderResultsPage::ResetTree() {
    folderTree_->SetTree(nullptr);
    run_.folderNodes.Clear();
    run_.folderTreeState = FolderTreeState{};
    run_.folderTree = std::make_unique<TreeModel>();
    SetRootText(run_);
    run_.folderTree->Expand(run_.folderTree->TopItem(), ExpandAction::Expand);
}

void FolderResultsPage::ReleaseTree() {
    folderTree_->SetTree(nullptr);
}

void FolderResultsPage::AttachTree() {
    folderTree_->SetTree(run_.folderTree.get());
}

void FolderResultsPage::EmptyFileList() {
    ClearFileList(run_);
    fileListModel_->Reload();
}

void FolderResultsPage::HostStatistics() {
    if (QLayout* holder = statistics_.parentWidget()->layout()) {
        holder->removeWidget(&statistics_);
    }
    rightLayout_->insertWidget(rightLayout_->indexOf(fileList_) + 1, &statistics_);
    // Moved from a hidden page, the panel would wait for the event loop to show again.
    statistics_.show();
}

void FolderResultsPage::EnterForRebuild() {
    HostStatistics();
    currentFolderValue_->clear();
    currentFolderRow_->hide();
    // The worker builds a new tree: no view may show the old one meanwhile.
    folderTree_->SetTree(nullptr);
    folderTree_->setEnabled(false);
    fileList_->setEnabled(false);
    EmptyFileList();
    SetFileListColumnWidths();
    disk_.reset();
    statistics_.treeLoadingBar->SetPos(0);
    statistics_.treeLoadingBar->SetText(QString());
}

void FolderResultsPage::ShowResults(const FolderCounts& counts) {
    HostStatistics();
    reporter_.Flush();
    // A found volume's directories stay: after Back another volume is rebuilt from them.
    if (run_.searchMode == SearchMode::Standard) {
        run_.foundDirectoryTable.Clear();
    }
    EmptyFileList();
    SetFileListColumnWidths();
    if (run_.folderTree) {
        run_.folderTree->SetExpansionHandler(
            [this](TreeItem item, ExpandAction action) { OnFolderItemExpanding(item, action); });
    }
    folderTree_->SetTree(run_.folderTree.get());
    currentFolderValue_->clear();
    shownFolder_ = kNoItem;
    currentFolderRow_->show();
    folderCountsValue_->setText(QString::fromStdString(FolderCountsText(counts)));
    folderTree_->setEnabled(true);
    fileList_->setEnabled(true);
}

void FolderResultsPage::Leave() {
    ResetTree();
    folderTree_->SetTree(run_.folderTree.get());
    EmptyFileList();
    disk_.reset();
    rightLayout_->removeWidget(&statistics_);
}

void FolderResultsPage::OnFolderTreeClicked(TreeItem item) {
    TreeModel* tree = run_.folderTree.get();
    if (tree == nullptr || !Browsable()) {
        return;
    }
    // Empty space, or an item not named yet, stands for the whole volume.
    if (item == kNoItem || tree->Text(item).empty()) {
        ShowFolder(tree->TopItem(), FolderTrigger::Browse);
        return;
    }
    ShowFolder(item, FolderTrigger::Click);
}

void FolderResultsPage::OnFolderCheckBoxClicked(TreeItem item) {
    TreeModel* tree = run_.folderTree.get();
    if (tree == nullptr || !Browsable()) {
        return;
    }
    ShowFolder(item, FolderTrigger::Browse);
    ToggleCheck(*tree, item);
}

void FolderResultsPage::OnFolderItemExpanding(TreeItem item, ExpandAction action) {
    // "*" opens a whole branch: its folders are named as they open, but the folder shown
    // stays the one it was pressed on.
    const bool expandingAll = folderTree_->ExpandingAll();
    FolderTreeState& state = run_.folderTreeState;
    const bool browse = std::exchange(state.browse, state.browse && !expandingAll);
    lumarest::OnFolderItemExpanding(run_, Disk(), item, action);
    state.browse = browse;
    if (showingFolder_ || expandingAll || !Browsable()) {
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

bool FolderResultsPage::Browsable() const {
    return frame_.Stage() == WizardStage::FolderResults && run_.folderTree && !treeBuilding_() &&
           QThread::currentThread() == thread();
}

void FolderResultsPage::ShowFolder(TreeItem item, FolderTrigger trigger) {
    TreeModel* tree = run_.folderTree.get();
    if (showingFolder_ || !Browsable() || !tree->Exists(item)) {
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
        OnFolderItemClicked(run_, Disk(), item, LocalClockText());
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

std::size_t FolderResultsPage::FileListRowOf(const QModelIndex& shown) const {
    const QModelIndex source =
        shown.model() == fileListFilter_.get() ? fileListFilter_->mapToSource(shown) : shown;
    return source.isValid() ? static_cast<std::size_t>(source.row()) : run_.fileList.RowCount();
}

}  // namespace lumarest

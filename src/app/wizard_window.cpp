#include "app/wizard_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "app/advance_search_worker.h"
#include "app/desktop_open.h"
#include "app/disk_key.h"
#include "app/disk_page.h"
#include "app/disk_page_panel.h"
#include "app/folder_results_page.h"
#include "app/found_volumes_page.h"
#include "app/header_band.h"
#include "app/page_widgets.h"
#include "app/partition_criteria_panel.h"
#include "app/partition_search_worker.h"
#include "app/raw_criteria_panel.h"
#include "app/raw_results_page.h"
#include "app/raw_save_worker.h"
#include "app/raw_scan_worker.h"
#include "app/search_statistics_panel.h"
#include "app/settings_place.h"
#include "app/standard_scan_worker.h"
#include "app/window_reporter.h"
#include "app/wizard_texts.h"
#include "disk/device_sector_source.h"
#include "disk/disk_inputs.h"
#include "program/program_files.h"
#include "service/system_disk_service.h"
#include "tree/folder_browse.h"
#include "ui/mytreectrl.h"
#include "ui/product_picture.h"
#include "ui/range_slider.h"
#include "ui/text_progress_ctrl.h"
#include "ui/text_table_model.h"
#include "ui/thumbs_list_ctrl.h"

namespace lumarest {

namespace {
constexpr int kWindowWidth = 800;
constexpr int kWindowHeight = 600;
constexpr int kStatusLines = 3;
const char* const kWindowTitle = "Lumarest";

QString FromUtf8(const char* text) {
    return QString::fromUtf8(text);
}

}  // namespace

CChildDialogExDemoDlg::CChildDialogExDemoDlg(WizardEnvironment environment, QWidget* parent)
    : QDialog(parent),
      env_(std::move(environment)),
      store_(env_.parameterStorePath.empty() ? ParameterStore::DefaultPath()
                                             : env_.parameterStorePath) {
    if (!env_.disks) {
        env_.disks = std::make_unique<SystemDiskEnumerator>();
    }
    if (!env_.messages) {
        env_.messages = std::make_unique<QtMessagePresenter>(this);
    }
    if (!env_.shell) {
        env_.shell = std::make_unique<DesktopShellOpener>();
    }
    if (!env_.dialogs) {
        env_.dialogs = std::make_unique<QtWizardDialogs>();
    }
    if (!env_.stepClock) {
        env_.stepClock = std::make_unique<QtStepClock>();
    }
    if (env_.dataFolder.isEmpty()) {
        env_.dataFolder = QString::fromStdString(DataFolder());
    }
    if (!env_.diskService) {
        env_.diskService = std::make_unique<SystemDiskService>();
    }
    run_.deviceFiles = &deviceFiles_;
    diskPage_ = std::make_unique<DiskPage>(run_, env_, store_, deviceFiles_, *this);
    BuildWindow();
    ConnectControls();
    Initialise();
}

CChildDialogExDemoDlg::~CChildDialogExDemoDlg() {
    // The workers show on this window: they end before anything of the window goes.
    StopPartitionSearchWithoutAsking();
    rawPage_->StopWorkers();
    if (standardWorker_) {
        standardWorker_->StopAndWait();
    }
    QuitAdvanceWorkers();
    partitionTree_->removeEventFilter(this);
    // The views let go of the run's trees before the run goes.
    diskPage_.reset();
    volumesPage_.reset();
    partitionTree_->SetTree(nullptr);
}

Reporter& CChildDialogExDemoDlg::WindowReport() {
    return *reporter_;
}

void CChildDialogExDemoDlg::BuildWindow() {
    setWindowTitle(FromUtf8(kWindowTitle));
    setWindowIcon(ProductIcon());
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(kWindowWidth, kWindowHeight);
    setMinimumSize(kWindowWidth - 40, kWindowHeight - 40);

    header_ = new HeaderBand;
    QWidget* left = BuildLeftPanel();
    QWidget* right = BuildRightPanel();
    stagesPage_ = MakePage(left, right);
    pages_ = new QStackedWidget;
    pages_->addWidget(diskPage_->Widget());
    pages_->addWidget(stagesPage_);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(12, 10, 12, 10);
    body->addWidget(pages_, 1);
    body->addSpacing(8);
    body->addWidget(BuildStatusLine());
    body->addLayout(BuildButtonRow());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header_);
    layout->addLayout(body, 1);

    WindowReportTargets targets;
    targets.setStatusText = [this](const std::string& text) { SetStatusText(text); };
    targets.statistics = statistics_;
    targets.bars = {statistics_->mainScanBar, partitionCriteria_->partitionSearchBar,
                    statistics_->treeLoadingBar};
    targets.barRows = {statistics_->mainScanRow, partitionCriteria_->partitionSearchRow,
                       statistics_->treeLoadingRow};
    targets.messages = env_.messages.get();
    reporter_ = std::make_unique<WindowReporter>(*this, std::move(targets));
    rawPage_ = std::make_unique<RawResultsPage>(run_, env_, *this, *reporter_, *statistics_);
    pages_->addWidget(rawPage_->Widget());
    folderPage_ = std::make_unique<FolderResultsPage>(
        run_, env_, *this, *reporter_, *statistics_,
        [this] { return standardWorker_ || AdvanceWorkerRunning(); });
    pages_->addWidget(folderPage_->Widget());
    volumesPage_ = std::make_unique<FoundVolumesPage>(run_, *this);
    pages_->addWidget(volumesPage_->Widget());
}

QWidget* CChildDialogExDemoDlg::BuildLeftPanel() {
    auto [panel, layout, caption] = MakeLeftColumn("", "leftCaption");
    leftCaption_ = caption;

    partitionTree_ = new mytreectrl;
    partitionTree_->setObjectName(QStringLiteral("PartitionTree"));
    partitionTree_->hide();
    layout->addWidget(partitionTree_, 1);

    partitionListNote_ = new QLabel(FromUtf8(texts::kPartitionListFullNote));
    partitionListNote_->setObjectName(QStringLiteral("partitionListNote"));
    partitionListNote_->setWordWrap(true);
    partitionListNote_->hide();
    layout->addWidget(partitionListNote_);
    partitionTree_->installEventFilter(this);

    selectedDiskCard_ = MakeDiskCard("selectedDiskCard");
    selectedDiskCard_->hide();
    layout->addWidget(selectedDiskCard_, 1);
    return panel;
}

QWidget* CChildDialogExDemoDlg::BuildRightPanel() {
    auto [panel, layout, caption] = MakeRightColumn("", "rightCaption");
    stagesRightColumn_ = layout;
    rightCaption_ = caption;

    detailsModel_ = std::make_unique<TextTableModel>(run_.detailsList);
    detailsList_ = MakeDetailsList(detailsModel_.get());
    detailsList_->setObjectName(QStringLiteral("DetailsList"));
    layout->addWidget(detailsList_, 1);

    rawCriteria_ = new RawCriteriaPanel;
    rawCriteria_->hide();
    layout->addWidget(rawCriteria_, 1);

    partitionCriteria_ = new PartitionCriteriaPanel;
    partitionCriteria_->hide();
    layout->addWidget(partitionCriteria_);

    statistics_ = new SearchStatisticsPanel;
    statistics_->setObjectName(QStringLiteral("SearchStatistics"));
    layout->addWidget(statistics_);
    // Pages without a list of their own keep their heading at the top.
    layout->addStretch();
    return panel;
}

QWidget* CChildDialogExDemoDlg::BuildStatusLine() {
    statusLine_ = new QLabel;
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLine_->setStyleSheet(QStringLiteral(
        "QLabel#statusLine { background: #eef3f8; border: 1px solid #b8c6d4; border-radius: 3px;"
        " padding: 4px 8px; color: #1d2b3a; }"));
    statusLine_->setMinimumHeight(fontMetrics().lineSpacing() * kStatusLines + 12);
    statusLine_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return statusLine_;
}

QLayout* CChildDialogExDemoDlg::BuildButtonRow() {
    refreshButton_ = MakeButton(texts::kRefreshList, "refreshButton");
    refreshButton_->setToolTip(FromUtf8(texts::kRefreshListHint));
    helpButton_ = MakeButton(texts::kHelp, "helpButton");
    aboutButton_ = MakeButton(texts::kAboutUs, "aboutButton");
    stopSearchButton_ = MakeButton(texts::kStopSearch, "stopSearchButton");
    stopSearchButton_->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    stopSearchButton_->hide();
    openFolderButton_ = MakeButton(texts::kOpenContainingFolder, "openContainingFolderButton");
    openFolderButton_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    openFolderButton_->hide();
    saveButton_ = MakeButton(texts::kSave, "saveButton");
    saveButton_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    saveButton_->hide();
    backButton_ = MakeButton(texts::kBack, "backButton");
    nextButton_ = MakeButton(texts::kNext, "nextButton");
    backButton_->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    nextButton_->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    nextButton_->setLayoutDirection(Qt::RightToLeft);
    for (QPushButton* button : {backButton_, nextButton_}) {
        button->setMinimumWidth(96);
    }

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 8, 0, 0);
    row->setSpacing(8);
    row->addWidget(refreshButton_);
    row->addWidget(helpButton_);
    row->addWidget(aboutButton_);
    row->addStretch();
    row->addWidget(stopSearchButton_);
    row->addWidget(openFolderButton_);
    row->addWidget(saveButton_);
    row->addWidget(backButton_);
    row->addWidget(nextButton_);
    return row;
}

void CChildDialogExDemoDlg::ConnectControls() {
    connect(diskPage_.get(), &DiskPage::DetailsColumnsSet, this,
            [this](const std::vector<std::pair<std::string, int>>& columns) {
                detailsModel_->Reload();
                ResizeColumns(detailsList_, columns);
                volumesPage_->ReloadDetails();
            });
    connect(nextButton_, &QPushButton::clicked, this, &CChildDialogExDemoDlg::OnNext);
    connect(backButton_, &QPushButton::clicked, this, &CChildDialogExDemoDlg::OnBack);
    connect(helpButton_, &QPushButton::clicked, this, &CChildDialogExDemoDlg::OnHelp);
    connect(aboutButton_, &QPushButton::clicked, this, &CChildDialogExDemoDlg::OnAbout);
    connect(header_->aboutAction, &QAction::triggered, this, &CChildDialogExDemoDlg::OnAbout);
    connect(refreshButton_, &QPushButton::clicked, this, &CChildDialogExDemoDlg::OnRefreshList);
    connect(rawCriteria_->browseButton, &QPushButton::clicked, this,
            &CChildDialogExDemoDlg::OnBrowse);
    connect(stopSearchButton_, &QPushButton::clicked, this, &CChildDialogExDemoDlg::OnStopSearch);
    connect(openFolderButton_, &QPushButton::clicked, this,
            &CChildDialogExDemoDlg::OnOpenContainingFolder);
    connect(rawCriteria_, &RawCriteriaPanel::ScopeChosen, this,
            &CChildDialogExDemoDlg::OnScopeChosen);
    connect(rawCriteria_->slider, &CRangeSlider::RangeChanged, this,
            &CChildDialogExDemoDlg::OnSliderMoved);
    for (QLineEdit* field : {rawCriteria_->sliderStartField, rawCriteria_->sliderEndField}) {
        connect(field, &QLineEdit::textEdited, this, &CChildDialogExDemoDlg::OnSliderFieldEdited);
    }
    for (QPushButton* more : {rawCriteria_->searchMorePartitionsButton,
                              partitionCriteria_->searchMorePartitionsButton}) {
        connect(more, &QPushButton::clicked, this, &CChildDialogExDemoDlg::StartPartitionSearch);
    }
    for (QPushButton* stop : {rawCriteria_->stopSearchingPartitionsButton,
                              partitionCriteria_->stopSearchingPartitionsButton}) {
        connect(stop, &QPushButton::clicked, this,
                &CChildDialogExDemoDlg::OnStopSearchingPartitions);
    }
    connect(rawCriteria_->thoroughBox, &QCheckBox::toggled, this,
            [this](bool ticked) { run_.thoroughSearch = ticked; });
    connect(rawCriteria_->destinationField, &QLineEdit::textEdited, this,
            [this](const QString& folder) { run_.destinationFolder = folder.toStdString(); });
    RestoreCodePage();
    connect(partitionCriteria_->codePageBox, &QComboBox::currentIndexChanged, this,
            &CChildDialogExDemoDlg::OnCodePageChosen);
    connect(partitionTree_, &mytreectrl::ItemClicked, this,
            &CChildDialogExDemoDlg::OnPartitionTreeClicked);
    connect(saveButton_, &QPushButton::clicked, this, &CChildDialogExDemoDlg::OnSave);
    connect(partitionTree_, &mytreectrl::ItemKeySelected, this,
            &CChildDialogExDemoDlg::OnPartitionTreeClicked);
}

void CChildDialogExDemoDlg::Initialise() {
    SetDetailsColumns({{"Name", kNameColumnWidth}, {"Value", kValueColumnWidth}});
    backButton_->setEnabled(false);
    run_.searchMode = SearchMode::Raw;
    diskPage_->Modes()->CheckMode(run_.searchMode);
    diskPage_->AttachStartupImages();
    diskPage_->Refresh();
    SetStatusText(texts::kSelectDiskStatus);
    rawCriteria_->thoroughExplanation->setText(FromUtf8(texts::kThoroughExplanation));
}

void CChildDialogExDemoDlg::OnRefreshList() {
    diskPage_->Refresh();
}

void CChildDialogExDemoDlg::SetStatusText(const std::string& text) {
    run_.statusText = text;
    statusLine_->setText(QString::fromStdString(text));
}

void CChildDialogExDemoDlg::SetNextEnabled(bool enabled) {
    nextButton_->setEnabled(enabled);
}

void CChildDialogExDemoDlg::ShowMessage(const std::string& text, MessageIcon icon) {
    env_.messages->ShowMessage(QString::fromStdString(text), icon);
}

QPushButton* CChildDialogExDemoDlg::FrameButtonOf(FrameButton button) const {
    switch (button) {
        case FrameButton::Save:
            return saveButton_;
        case FrameButton::OpenFolder:
            return openFolderButton_;
        case FrameButton::StopSearch:
            return stopSearchButton_;
        case FrameButton::Back:
            return backButton_;
        case FrameButton::Next:
            break;
    }
    return nextButton_;
}

void CChildDialogExDemoDlg::ShowFrameButton(FrameButton button, bool shown) {
    FrameButtonOf(button)->setVisible(shown);
}

void CChildDialogExDemoDlg::EnableFrameButton(FrameButton button, bool enabled) {
    FrameButtonOf(button)->setEnabled(enabled);
}

void CChildDialogExDemoDlg::OpenFolder(const std::string& folder) {
    OpenOnDesktop(env_, this, QUrl::fromLocalFile(QString::fromStdString(folder)));
}

void CChildDialogExDemoDlg::SetDetailsColumns(
    const std::vector<std::pair<std::string, int>>& columns) {
    diskPage_->SetDetailsColumns(columns);
}

void CChildDialogExDemoDlg::ReloadDetailsList() {
    // A reset keeps the header's section sizes as long as the column count stays.
    detailsModel_->Reload();
    diskPage_->ReloadDetails();
    volumesPage_->ReloadDetails();
}

void CChildDialogExDemoDlg::ShowSelectedDiskCard() {
    selectedDiskCard_->setText(ChosenDiskCardText(run_));
}

DiskInputs CChildDialogExDemoDlg::ShownDiskInputs(std::string devicePath) const {
    DiskInputs disk;
    disk.devicePath = std::move(devicePath);
    disk.totalSectors = run_.shownDisk.totalSectors;
    disk.logicalSectorBytes = run_.shownDisk.logicalSectorBytes;
    disk.reader = ReaderContextFor(run_);
    return disk;
}

void CChildDialogExDemoDlg::OnHelp() {
    const QString guide = QDir(env_.dataFolder).filePath(FromUtf8(texts::kHelpFile));
    if (!QFileInfo(guide).isFile()) {
        return;
    }
    OpenOnDesktop(env_, this, QUrl::fromLocalFile(guide));
}

void CChildDialogExDemoDlg::OnAbout() {
    env_.dialogs->ShowAbout(this);
}

void CChildDialogExDemoDlg::OnBrowse() {
    env_.dialogs->ShowDestinationNotice(this);
    const QString folder = env_.dialogs->ChooseDestinationFolder(this);
    run_.destinationFolder = folder.toStdString();
    rawCriteria_->destinationField->setText(folder);
}

void CChildDialogExDemoDlg::OnSave() {
    if (stage_ == WizardStage::RawResults) {
        rawPage_->Save();
        return;
    }
    folderPage_->Save();
}

void CChildDialogExDemoDlg::reject() {
    if (!env_.messages->AskYesNo(FromUtf8(texts::kExitQuestion))) {
        return;
    }
    // Workers are told to stop where they stand; only the scan worker, which shows on this
    // window, is waited for, and it ends between two sectors.
    run_.scanStop.request_stop();
    run_.secondPhaseStop.request_stop();
    // The workers that show on this window end before it closes, between two sectors or
    // cylinders.
    StopPartitionSearchWithoutAsking();
    rawPage_->StopWorkers();
    if (standardWorker_) {
        standardWorker_->StopAndWait();
    }
    QuitAdvanceWorkers();
    if (!env_.exitAddress.isEmpty()) {
        env_.shell->Open(QUrl(env_.exitAddress));
    }
    accept();
}

}  // namespace lumarest

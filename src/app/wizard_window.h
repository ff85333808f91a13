#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/wizard_environment.h"
#include "core/recovery_run.h"
#include "disk/parameter_store.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace lumarest {

class DiskPagePanel;
class HeaderBand;
class PartitionCriteriaPanel;
class RawCriteriaPanel;
class SearchStatisticsPanel;
class TextTableModel;
class WindowReporter;
class mytreectrl;

// The wizard window: owns the recovery run for its lifetime and walks the user through the
// stages with Next and Back. The stage rules themselves are in wizard_stages.cpp.
class CChildDialogExDemoDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CChildDialogExDemoDlg(WizardEnvironment environment = {}, QWidget* parent = nullptr);
    ~CChildDialogExDemoDlg() override;

    static constexpr int kNameColumnWidth = 242;
    static constexpr int kValueColumnWidth = 243;
    static constexpr int kSingleColumnWidth = 485;
    static constexpr const char* kDisksCaption = "Disks and disk images";
    static constexpr const char* kDiskDetailsCaption = "Disk Details";
    static constexpr const char* kCriteriaCaption = "Searching Criteria";
    static constexpr const char* kRawLeftCaption = "Disk to search";
    static constexpr const char* kPartitionsCaption = "Partitions";

    RecoveryRun& Run() { return run_; }
    Reporter& WindowReport();
    void SetStatusText(const std::string& text);

    // Shows partition `index` of disk `diskNumber` on the criteria page: its range in the
    // start and end fields, its type in the type box, its rows in DetailsList.
    // kUnknownPartition stands for the whole disk.
    void ShowPartitionDetails(const std::string& fsName, int index, std::uint16_t diskNumber);
    // What the partition-table walk and the sector reader call when the table cannot be
    // trusted or a sector cannot be read.
    void ReadFailureNotice();

    // The buttons, as a click runs them.
    void OnNext();
    void OnBack();
    void OnHelp();
    void OnAbout();
    void OnRefreshList();
    void OnAddDiskImage();
    void OnBrowse();

    // Closing the window and Escape both ask first.
    void reject() override;

  private:
    // Layout.
    void BuildWindow();
    QWidget* BuildLeftPanel();
    QWidget* BuildRightPanel();
    QWidget* BuildStatusLine();
    QLayout* BuildButtonRow();
    QPushButton* MakeButton(const char* caption, const char* objectName);
    void ConnectControls();

    // Start-up and the disk page.
    void Initialise();
    void AttachStartupImages();
    void RunInventory();
    void ResetDiskChoice();
    void OnDiskTreeClicked(TreeItem item);
    void SelectDiskItem(TreeItem item);
    void OnModeChosen(SearchMode mode);
    void ShowMessage(const std::string& text, MessageIcon icon);
    void SetDetailsColumns(const std::vector<std::pair<std::string, int>>& columns);
    void ReloadDetailsList();
    void SetFileListColumnWidths();
    void ShowSelectedDiskCard();
    QString SelectedDevicePath() const;

    // Stages (wizard_stages.cpp).
    void NextFromDiskPage();
    bool RefuseUnreadableDevice();
    void ShowCriteriaPage();
    void EnterCriteriaStage();
    void NextFromRawCriteria();
    void NextFromPartitionCriteria();
    void BackToDiskPage();
    void ResetForFloppy();
    void CreatePartitionTrees();
    void ListDiskPartitions(TreeItem diskItem);
    void SelectDefaultPartition();
    void DisposePartitionTree();
    void OnPartitionTreeClicked(TreeItem item);
    void ShowPartitionOfItem(TreeItem item);
    void SetWizardButtonsEnabled(bool enabled);
    void RefusePartitionCriteria(const char* message, MessageIcon icon);
    void RefuseUnknownPartitionType();
    void RefuseEmptyStandardRange();
    void FillSelectedPartition(const std::string& fsName, std::int64_t firstSector,
                               std::int64_t lastSector);
    void WriteSearchStatistics();
    void ShowSearchStatisticsPage();
    // Later steps plug in here.
    void SearchPartitionsWhenNoneListed();
    bool PartitionSearchRunning() const;
    void ValidatePartitionBeforeScan();
    bool StartScanWorker();
    void LoadSignatureLists();
    void StartRawSearch();

    WizardEnvironment env_;
    RecoveryRun run_;
    ParameterStore store_;
    std::unique_ptr<WindowReporter> reporter_;

    HeaderBand* header_ = nullptr;
    QLabel* leftCaption_ = nullptr;
    mytreectrl* diskTree_ = nullptr;
    mytreectrl* partitionTree_ = nullptr;
    mytreectrl* volumeTree_ = nullptr;
    mytreectrl* folderTree_ = nullptr;
    QLabel* selectedDiskCard_ = nullptr;
    QPushButton* addImageButton_ = nullptr;
    QLabel* rightCaption_ = nullptr;
    QTreeView* detailsList_ = nullptr;
    std::unique_ptr<TextTableModel> detailsModel_;
    // The file list of the results pages; made with its columns, shown by those pages.
    QTreeView* fileList_ = nullptr;
    std::unique_ptr<TextTableModel> fileListModel_;
    // The index of the partition whose details are shown, for SelectedPartition.
    int shownPartitionIndex_ = 0;
    DiskPagePanel* diskPage_ = nullptr;
    RawCriteriaPanel* rawCriteria_ = nullptr;
    PartitionCriteriaPanel* partitionCriteria_ = nullptr;
    SearchStatisticsPanel* statistics_ = nullptr;
    QLabel* workingFolderCaption_ = nullptr;
    QLineEdit* workingFolderField_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QPushButton* nextButton_ = nullptr;
    QPushButton* backButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;
    QPushButton* aboutButton_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
};

}  // namespace lumarest

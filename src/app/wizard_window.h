#pragma once

#include <QDialog>
#include <QModelIndex>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/page_widgets.h"
#include "app/wizard_environment.h"
#include "app/wizard_frame.h"
#include "app/wizard_stage.h"
#include "carving/signature_file.h"
#include "core/new_file.h"
#include "core/partition_list.h"
#include "core/recovery_run.h"
#include "disk/parameter_store.h"
#include "tree/folder_counts.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class QTreeView;

namespace lumarest {

class DiskPage;
class FolderResultsPage;
class FoundVolumesPage;
class HeaderBand;
class PartitionCriteriaPanel;
class RawCriteriaPanel;
class PartitionSearchWorker;
class RawResultsPage;
class StandardScanWorker;
struct StandardSearchResult;
class AdvanceScanWorker;
class FoundVolumeWorker;
struct AdvanceSearchResult;
struct DiskInputs;
struct FoundVolumeOutcome;
struct StandardScanOutcome;
class DeviceSectorSource;
class SearchStatisticsPanel;
class TextTableModel;
class WindowReporter;
class mytreectrl;

// The wizard window: owns the recovery run for its lifetime and walks the user through the
// stages with Next and Back. The stage rules themselves are in wizard_stages.cpp.
class CChildDialogExDemoDlg : public QDialog, public WizardFrame {
    Q_OBJECT

  public:
    explicit CChildDialogExDemoDlg(WizardEnvironment environment = {}, QWidget* parent = nullptr);
    ~CChildDialogExDemoDlg() override;

    static constexpr const char* kCriteriaCaption = "Searching Criteria";
    static constexpr const char* kRawLeftCaption = kDiskToSearchCaption;
    static constexpr const char* kPartitionsCaption = "Partitions";
    static constexpr const char* kSearchProgressCaption = "Search progress";

    RecoveryRun& Run() { return run_; }
    WizardStage Stage() const override { return stage_; }
    Reporter& WindowReport() override;
    void SetStatusText(const std::string& text) override;
    void SetNextEnabled(bool enabled) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    void ShowFrameButton(FrameButton button, bool shown) override;
    void EnableFrameButton(FrameButton button, bool enabled) override;
    void OpenFolder(const std::string& folder) override;
    DiskInputs ShownDiskInputs(std::string devicePath) const override;
    void SetDetailsColumns(const std::vector<std::pair<std::string, int>>& columns) override;
    void ReloadDetailsList() override;

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
    void OnBrowse();
    void OnStopSearch();
    void OnOpenContainingFolder();

    // Closing the window and Escape both ask first.
    void reject() override;
    // Keeps the note of a full partition list beside the partition tree as it is shown or hidden.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Layout.
    void BuildWindow();
    QWidget* BuildLeftPanel();
    QWidget* BuildRightPanel();
    QWidget* BuildStatusLine();
    QLayout* BuildButtonRow();
    void ConnectControls();

    // Start-up and the disk page.
    void Initialise();
    void ShowSelectedDiskCard();
    QPushButton* FrameButtonOf(FrameButton button) const;

    // Stages (wizard_stages.cpp).
    void NextFromDiskPage();
    void ShowCriteriaPage();
    void EnterCriteriaStage();
    void NextFromRawCriteria();
    void NextFromPartitionCriteria();
    void BackToDiskPage();
    void ResetForFloppy();
    void CreatePartitionTrees();
    void ListDiskPartitions(TreeItem diskItem);
    // Shows the note under the partition tree while the chosen disk's list is full.
    void ShowPartitionListNote();
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
    void StartPartitionSearch();

    // The partition search (wizard_partition_search.cpp): its worker, the items it adds to
    // PartitionTree, stopping it, its end, and the BIOS path's progress display.
    bool StartPartitionSearchWorker();
    void OnPartitionFound(std::uint64_t search, std::size_t listIndex,
                          const PartitionRecord& record);
    void OnPartitionSearchFinished(std::uint64_t search, DiskPartitionList searched);
    void OnStopSearchingPartitions();
    void StopPartitionSearchWithoutAsking();
    void JoinPartitionSearch();
    void AdoptFoundPartitions(DiskPartitionList searched);
    void EndPartitionSearchDisplay();
    void ShowFirstPartitionOrUnknown();
    void ShowPartitionSearchControls(bool running);
    void ShowPartitionTypeBox(bool shown);
    void RemoveUnknownPartitionItem();
    bool ShowUnknownPartitionOfItem(TreeItem item);
    void StartLegacyPartitionDisplay();
    void StepLegacyPartitionDisplay();
    void EndLegacyPartitionDisplay();

    // The raw search (wizard_raw_search.cpp): its scope, its scan worker and its results.
    void OnScopeChosen(int scope);
    void ChooseEntireDisk();
    void ChooseSectorRange();
    void ChooseSectorsInPartition();
    void ShowScopeControls(int scope);
    void HidePartitionTreeOfScope();
    void OnSliderMoved(double left, double right);
    void OnSliderFieldEdited();
    void ReadSliderFields();
    void WriteSliderFields();
    bool ReadRawScope();
    bool RefuseDestination();
    void ShowRawResultsPage();
    void BackToRawCriteria();

    // The Standard search (wizard_standard_search.cpp): its worker, and going to the folder
    // results page and back.
    bool StartStandardSearch();
    void OnStandardSearchFinished(std::uint64_t scan, const StandardScanOutcome& outcome);
    void TellStandardSearchEnded(const StandardSearchResult& result, const FolderCounts& counts);
    void StopStandardSearch();
    void ShowFolderResultsPage(const FolderCounts& counts);
    void EndStandardSearchDisplay();
    void BackFromFolderResults();
    void PutAwayFolderResults();
    void ShowPartitionCriteriaAgain();
    // The statistics panel back in the stages page's right column, where the searches show it.
    void TakeBackStatistics();

    // The Advance search (wizard_advance_search.cpp): its first phase, the way to the
    // found-volume page, the rebuild of the chosen volume, and Back between them.
    bool AdvanceWorkerRunning() const;
    bool StartAdvanceSearch();
    void StopAdvanceSearch();
    void OnAdvanceSearchFinished(std::uint64_t scan, const AdvanceSearchResult& result);
    void EndAdvanceSearchDisplay();
    void ShowFoundVolumesPage();
    void NextFromFoundVolumes();
    void OnFoundVolumeRebuilt(const FoundVolumeOutcome& outcome);
    void BackToFoundVolumes();
    void BackFromFoundVolumes();
    void QuitAdvanceWorkers();

    // Save on the results page shown.
    void OnSave();

    // The code page of FAT short names, kept between sessions (wizard_code_page.cpp).
    void RestoreCodePage();
    void OnCodePageChosen();

    WizardEnvironment env_;
    // Disks read through the disk service's descriptors, kept until the list is refreshed.
    ServiceDeviceFiles deviceFiles_;
    RecoveryRun run_;
    WizardStage stage_ = WizardStage::DiskPage;
    ParameterStore store_;
    std::unique_ptr<WindowReporter> reporter_;
    std::unique_ptr<DiskPage> diskPage_;
    std::unique_ptr<RawResultsPage> rawPage_;
    std::unique_ptr<FolderResultsPage> folderPage_;
    std::unique_ptr<FoundVolumesPage> volumesPage_;

    HeaderBand* header_ = nullptr;
    QLabel* leftCaption_ = nullptr;
    mytreectrl* partitionTree_ = nullptr;
    QLabel* partitionListNote_ = nullptr;
    QLabel* selectedDiskCard_ = nullptr;
    QLabel* rightCaption_ = nullptr;
    QTreeView* detailsList_ = nullptr;
    std::unique_ptr<TextTableModel> detailsModel_;
    // The index of the partition whose details are shown, for SelectedPartition.
    int shownPartitionIndex_ = 0;
    RawCriteriaPanel* rawCriteria_ = nullptr;
    PartitionCriteriaPanel* partitionCriteria_ = nullptr;
    SearchStatisticsPanel* statistics_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QWidget* stagesPage_ = nullptr;
    // The stages page's right column, where the statistics panel lives while no other page holds
    // it.
    QVBoxLayout* stagesRightColumn_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QPushButton* nextButton_ = nullptr;
    QPushButton* backButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;
    QPushButton* aboutButton_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    QPushButton* stopSearchButton_ = nullptr;
    QPushButton* openFolderButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;

    // Appended on each entry to the raw criteria page.
    SignatureList generalSignatures_;
    SignatureList thoroughSignatures_;
    // The scan worker's slot while a Standard search runs.
    std::unique_ptr<StandardScanWorker> standardWorker_;
    // The Advance search's two worker slots: its first phase, and the rebuild of a found volume.
    std::unique_ptr<AdvanceScanWorker> advanceWorker_;
    std::unique_ptr<FoundVolumeWorker> foundVolumeWorker_;
    // "Stop Search" was pressed during the first phase.
    bool advanceStopped_ = false;
    // The criteria fields as the Advance search read them, put back by Back.
    struct SearchedCriteria {
        QString startText;
        QString endText;
        int typeEntry = 0;
    } searchedCriteria_;
    // What validation left for the Standard search: the FAT layout is already known.
    bool bootSectorValid_ = false;
    // Numbers each search, so a late end of an earlier one is ignored.
    std::uint64_t scanSerial_ = 0;
    // The destination checked for the raw search about to start, held open until it starts.
    std::optional<FolderHandle> scanDestinationHandle_;
    // PartitionTree was shown for "Sectors in Partition".
    bool partitionTreeShownForScope_ = false;

    // The partition-search worker's slot: filled while the search runs. While it is, the
    // searched disk's partition list belongs to the worker.
    std::unique_ptr<PartitionSearchWorker> partitionSearchWorker_;
    // Numbers each partition search, so what an earlier one left queued is ignored.
    std::uint64_t partitionSearchSerial_ = 0;
    std::uint16_t searchedDisk_ = 0;
    // The list's length when the search started, and the items shown since for what it found.
    std::size_t listedBeforeSearch_ = 0;
    std::vector<TreeItem> foundPartitionItems_;
    // The notice asked for the search while the table was walked; it starts after the walk.
    bool noticeSearchPending_ = false;
    // The Advance page's type box is hidden while a search the notice started runs.
    bool typeBoxHiddenBySearch_ = false;
    // The BIOS path's progress display: its position, or -1 when it does not run.
    int legacyStep_ = -1;
};

}  // namespace lumarest

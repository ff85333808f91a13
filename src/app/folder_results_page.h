#pragma once

#include <QObject>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "tree/folder_counts.h"
#include "ui/file_icons.h"
#include "volume/recovered_save.h"

class QComboBox;
class QEvent;
class QLabel;
class QModelIndex;
class QPoint;
class QTreeView;
class QVBoxLayout;
class QWidget;

namespace lumarest {

class COpenSingleFile;
class DeletedFilterModel;
class DeviceSectorSource;
class PrivateFolder;
class SearchStatisticsPanel;
class TextTableModel;
class WindowReporter;
class WizardFrame;
class mytreectrl;
struct WizardEnvironment;

// The folder results: the folder tree a Standard search or the rebuild of a found volume
// builds, the file list of the folder shown, saving what is chosen and opening listed files.
// The window runs the workers that build the tree and hands over the statistics panel while
// the page is shown.
class FolderResultsPage : public QObject {
    Q_OBJECT

  public:
    // `treeBuilding` tells whether a worker of the window still owns the run's folder tree.
    FolderResultsPage(RecoveryRun& run, WizardEnvironment& env, WizardFrame& frame,
                      WindowReporter& reporter, SearchStatisticsPanel& statistics,
                      std::function<bool()> treeBuilding);
    ~FolderResultsPage() override;

    QWidget* Widget() const { return page_; }

    // The searched disk as the tree's clicks, saves and opened files read it; opened on first use.
    DeviceSectorSource& Disk();
    void ForgetDisk();
    // A fresh folder tree with its "Root" top item; the folders of the old one are forgotten.
    void ResetTree();
    // The view lets go of the run's folder tree, or shows the one the run holds now.
    void ReleaseTree();
    void AttachTree();
    // The file list emptied, as the run's listing is.
    void EmptyFileList();

    // Shown while the chosen found volume is rebuilt: the tree and list wait, disabled, and
    // the statistics panel shows the tree loading.
    void EnterForRebuild();
    // Shows the tree the worker built, with the file list, the current folder and `counts`.
    void ShowResults(const FolderCounts& counts);
    // The results go: an empty folder tree and file list, the disk let go and the panel given back.
    void Leave();

    // Save: the checked folders, else the chosen rows, else the selected folder.
    void Save();

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* BuildLeftColumn();
    QWidget* BuildRightColumn();
    QWidget* BuildCurrentFolderRow();
    QTreeView* BuildFileList();
    void ConnectControls();
    void HostStatistics();
    void SetFileListColumnWidths();

    // The one way a folder comes into the file list: selects it in the tree, names it after
    // "Current Folder  :" and lists it, so the three always show the same folder.
    enum class FolderTrigger {
        Click,     // a click on its label or Enter: names its children again
        Browse,    // the selection moved to it, or it was expanded
        FromList,  // a double-click on its row in the file list
    };
    void ShowFolder(TreeItem item, FolderTrigger trigger);
    bool Browsable() const;
    bool ResultsReady() const;
    void OnFolderTreeClicked(TreeItem item);
    void OnFolderCheckBoxClicked(TreeItem item);
    void OnFolderItemExpanding(TreeItem item, ExpandAction action);
    // The file list row of a row the view shows, through the deleted filter.
    std::size_t FileListRowOf(const QModelIndex& shown) const;

    // Saving (folder_results_save.cpp).
    void NameFoldersForSaving();
    void OnFolderTreeContextMenu(const QPoint& position);
    void OnFileListContextMenu(const QPoint& position);
    std::vector<SaveEntry> ChosenFileListEntries(bool allRows);
    void SaveChosenEntries(std::vector<SaveEntry> entries);

    // Opening a row of the file list (folder_results_open.cpp).
    void OnFileListActivated(const QModelIndex& index);
    // Enter or Return on the file list opens its current row as a double-click does; true when
    // the key was taken.
    bool OpenFileListRowOnEnter(QEvent* event);
    void OpenFileRow(const std::string& name, const FileRef& file);
    const PrivateFolder* OpenedFilesFolder();

    RecoveryRun& run_;
    WizardEnvironment& env_;
    WizardFrame& frame_;
    WindowReporter& reporter_;
    // Shared with the stages page: this page holds it while it is shown.
    SearchStatisticsPanel& statistics_;
    std::function<bool()> treeBuilding_;

    QWidget* page_ = nullptr;
    QVBoxLayout* rightLayout_ = nullptr;
    mytreectrl* folderTree_ = nullptr;
    QWidget* currentFolderRow_ = nullptr;
    QLabel* currentFolderValue_ = nullptr;
    // How many folders and files the rebuilt volume holds, beside the current folder.
    QLabel* folderCountsValue_ = nullptr;
    QComboBox* deletedFilterBox_ = nullptr;
    QTreeView* fileList_ = nullptr;
    std::unique_ptr<TextTableModel> fileListModel_;
    // Between the file list's rows and its view: all rows, only deleted or only live ones.
    std::unique_ptr<DeletedFilterModel> fileListFilter_;
    FileIcons fileIcons_;
    // The folder the file list shows, and a guard against showing one inside another.
    TreeItem shownFolder_ = kNoItem;
    bool showingFolder_ = false;
    // Reads the searched disk for the folder tree's clicks, expansions and opened files.
    std::unique_ptr<DeviceSectorSource> disk_;
    // Where opened copies are written, made on the first open below the working folder; it goes,
    // with every copy, when the page does.
    std::unique_ptr<PrivateFolder> openedFiles_;
    std::string openedFilesBase_;
    // Shown while a file is written for opening; null otherwise.
    COpenSingleFile* openSingleFile_ = nullptr;
};

}  // namespace lumarest

#pragma once

#include <QObject>
#include <string>
#include <utility>
#include <vector>

#include "core/recovery_run.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class QWidget;

namespace lumarest {

class DiskPagePanel;
class ParameterStore;
class ServiceDeviceFiles;
class TextTableModel;
class WizardFrame;
class mytreectrl;
struct WizardEnvironment;

// The first page: the disks and images to choose from, the chosen disk's details and the
// three search modes. It owns its widgets; the window shows it and moves on from it.
class DiskPage : public QObject {
    Q_OBJECT

  public:
    DiskPage(RecoveryRun& run, WizardEnvironment& env, ParameterStore& store,
             ServiceDeviceFiles& deviceFiles, WizardFrame& frame);
    ~DiskPage() override;

    QWidget* Widget() const { return page_; }
    DiskPagePanel* Modes() const { return modes_; }

    // Start-up: the images named on the command line, then the disk list.
    void AttachStartupImages();
    void RunInventory();
    // The disks a search may read now: the attached images and the disk chosen.
    std::vector<std::string> SearchedSources() const;
    // Lists the disks again with none chosen.
    void Refresh();
    // Back on this page: the list is made again, the choice kept on the disk chosen before.
    void Enter();
    // Next: false, after a box, when the chosen disk cannot be read; else the working folder
    // is taken.
    bool Leave();
    // The floppy's way back: its single details column, the modes cleared.
    void ResetForFloppy();

    // The details list's columns, with their widths, and its rows again after a change.
    void SetDetailsColumns(const std::vector<std::pair<std::string, int>>& columns);
    void ReloadDetails();

  signals:
    // The run's details list has new columns: every list showing it takes their widths.
    void DetailsColumnsSet(const std::vector<std::pair<std::string, int>>& columns);

  private:
    QWidget* BuildLeftColumn();
    QWidget* BuildRightColumn();
    void ResetDiskChoice();
    TreeItem DiskItemOf(const std::string& devicePath) const;
    void ChooseDiskAgain(const std::string& devicePath);
    void AddDiskImage();
    void OnDiskTreeClicked(TreeItem item);
    void SelectDiskItem(TreeItem item);
    void ShowFloppy();
    void OnModeChosen(SearchMode mode);

    RecoveryRun& run_;
    WizardEnvironment& env_;
    ParameterStore& store_;
    ServiceDeviceFiles& deviceFiles_;
    WizardFrame& frame_;

    QWidget* page_ = nullptr;
    mytreectrl* diskTree_ = nullptr;
    QPushButton* addImageButton_ = nullptr;
    QTreeView* detailsList_ = nullptr;
    TextTableModel* detailsModel_ = nullptr;
    DiskPagePanel* modes_ = nullptr;
    // Kept but never shown: the system writes no log file.
    QLineEdit* workingFolderField_ = nullptr;
};

}  // namespace lumarest

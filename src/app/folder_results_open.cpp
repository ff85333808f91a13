// A double-click on the folder results' file list: a folder row opens that folder in the tree,
// a file row is written to the working folder and opened with the desktop's program.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QTreeView>
#include <QUrl>
#include <QWidget>

#include "app/background_job.h"
#include "app/desktop_open.h"
#include "app/folder_results_page.h"
#include "app/wizard_environment.h"
#include "app/wizard_frame.h"
#include "disk/device_sector_source.h"
#include "output/private_folder.h"
#include "output/recovered_file.h"
#include "tree/folder_browse.h"
#include "tree/folder_tree_events.h"
#include "ui/mytreectrl.h"
#include "ui/open_single_file.h"
#include "ui/text_table_model.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {

namespace {

constexpr std::size_t kNameColumn = 0;
constexpr std::size_t kTypeColumn = 1;

bool EndsWith(const std::string& text, std::string_view ending) {
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

bool IsFolderType(const std::string& type) {
    return EndsWith(type, "Folder") || EndsWith(type, "FOLDER");
}

bool IsFileType(const std::string& type) {
    return EndsWith(type, "file") || EndsWith(type, "FILE") || EndsWith(type, "File");
}

}  // namespace

void FolderResultsPage::OnFileListActivated(const QModelIndex& index) {
    const std::size_t rowIndex = FileListRowOf(index);
    if (frame_.Stage() != WizardStage::FolderResults || treeBuilding_() || !index.isValid() ||
        rowIndex >= run_.fileList.RowCount()) {
        return;
    }
    const std::optional<FileRef> file = ListedRowRef(run_, rowIndex);
    if (!file) {
        return;
    }
    const std::vector<std::string> row = run_.fileList.Row(rowIndex);
    const std::string type = row.size() > kTypeColumn ? row[kTypeColumn] : std::string();
    if (IsFolderType(type) && file->IsFolder()) {
        ShowFolder(file->folderItem, FolderTrigger::FromList);
    } else if (IsFileType(type) && !file->IsFolder()) {
        OpenFileRow(row.empty() ? std::string() : row[kNameColumn], *file);
    }
}

bool FolderResultsPage::OpenFileListRowOnEnter(QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) {
        return false;
    }
    OnFileListActivated(fileList_->currentIndex());
    return true;
}

// The run's private folder for opened copies below the working folder, made on first use.
const PrivateFolder* FolderResultsPage::OpenedFilesFolder() {
    if (!openedFiles_ || openedFilesBase_ != run_.workingFolder) {
        std::string error;
        std::unique_ptr<PrivateFolder> made = PrivateFolder::Make(run_.workingFolder, error);
        if (!made) {
            // Copies already opened stay where they are until the page goes.
            frame_.ShowMessage("No private folder could be made for opening recovered files (" +
                                   error + "). Nothing was opened.",
                               MessageIcon::Error);
            return nullptr;
        }
        openedFiles_ = std::move(made);
        openedFilesBase_ = run_.workingFolder;
    }
    return openedFiles_.get();
}

void FolderResultsPage::OpenFileRow(const std::string& name, const FileRef& file) {
    const PrivateFolder* openedFiles = OpenedFilesFolder();
    if (openedFiles == nullptr) {
        return;
    }
    const std::string tempName = TempFileName(run_.tempFileCounter, name);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QWidget* const window = page_->window();
    openSingleFile_ = new COpenSingleFile(QString::fromStdString(name), window);
    openSingleFile_->show();
    window->setEnabled(false);

    const std::string& folder = openedFiles->Path();
    const std::string path = TempFilePath(folder, tempName);
    ++run_.tempFileCounter;
    // Written off the window's thread, which keeps the window drawn: a large file takes a while.
    DeviceSectorSource& disk = Disk();
    const RecoveredFileStatus status =
        RunAndWait<RecoveredFileStatus>(reporter_, *this, [&](Reporter&, std::stop_token) {
            return WriteListedCopy(run_, disk, file, folder, tempName, FileReaders::OwnerOnly);
        });

    QApplication::restoreOverrideCursor();
    delete openSingleFile_;
    openSingleFile_ = nullptr;
    window->setEnabled(true);
    if (status == RecoveredFileStatus::WriteFailed || status == RecoveredFileStatus::NoData) {
        frame_.ShowMessage(status == RecoveredFileStatus::WriteFailed
                               ? "The file could not be written to " + path + "."
                               : "Nothing of " + name + " could be found on the disk.",
                           MessageIcon::Error);
        return;
    }
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
    if (env_.shell->HasAssociatedProgram(url)) {
        OpenOnDesktop(env_, window, url, QString::fromStdString(name));
    } else {
        OpenWithChosenProgram(env_, window, url);
    }
}

}  // namespace lumarest

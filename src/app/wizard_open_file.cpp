// A double-click on the folder results' file list: a folder row opens that folder in the tree,
// a file row is written to the working folder and opened with the desktop's program. What the
// desktop cannot open is said in a box, never left to its error stream.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QTreeView>
#include <QUrl>

#include "app/background_job.h"
#include "app/wizard_window.h"
#include "disk/device_sector_source.h"
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

void CChildDialogExDemoDlg::OnFileListActivated(const QModelIndex& index) {
    const std::size_t rowIndex = FileListRowOf(index);
    if (stage_ != WizardStage::FolderResults || standardWorker_ || !index.isValid() ||
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
        OpenFolderRow(file->folderItem);
    } else if (IsFileType(type) && !file->IsFolder()) {
        OpenFileRow(row.empty() ? std::string() : row[kNameColumn], *file);
    }
}

bool CChildDialogExDemoDlg::OpenFileListRowOnEnter(QEvent* event) {
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

void CChildDialogExDemoDlg::OpenFolderRow(TreeItem item) {
    ShowFolder(item, FolderTrigger::FromList);
}

// The run's private folder for opened copies below the working folder, made on first use.
const PrivateFolder* CChildDialogExDemoDlg::OpenedFilesFolder() {
    if (!openedFiles_ || openedFilesBase_ != run_.workingFolder) {
        std::string error;
        std::unique_ptr<PrivateFolder> made = PrivateFolder::Make(run_.workingFolder, error);
        if (!made) {
            // Copies already opened stay where they are until the window goes.
            ShowMessage("No private folder could be made for opening recovered files (" + error +
                            "). Nothing was opened.",
                        MessageIcon::Error);
            return nullptr;
        }
        openedFiles_ = std::move(made);
        openedFilesBase_ = run_.workingFolder;
    }
    return openedFiles_.get();
}

void CChildDialogExDemoDlg::OpenFileRow(const std::string& name, const FileRef& file) {
    const PrivateFolder* openedFiles = OpenedFilesFolder();
    if (openedFiles == nullptr) {
        return;
    }
    const std::string tempName = TempFileName(run_.tempFileCounter, name);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    openSingleFile_ = new COpenSingleFile(QString::fromStdString(name), this);
    openSingleFile_->show();
    setEnabled(false);

    const std::string& folder = openedFiles->Path();
    const std::string path = TempFilePath(folder, tempName);
    ++run_.tempFileCounter;
    // Written off the window's thread, which keeps the window drawn: a large file takes a while.
    DeviceSectorSource& disk = FolderDisk();
    const RecoveredFileStatus status =
        RunAndWait<RecoveredFileStatus>(*reporter_, *this, [&](Reporter&, std::stop_token) {
            return WriteListedCopy(run_, disk, file, folder, tempName, FileReaders::OwnerOnly);
        });

    QApplication::restoreOverrideCursor();
    delete openSingleFile_;
    openSingleFile_ = nullptr;
    setEnabled(true);
    if (status == RecoveredFileStatus::WriteFailed || status == RecoveredFileStatus::NoData) {
        ShowMessage(status == RecoveredFileStatus::WriteFailed
                        ? "The file could not be written to " + path + "."
                        : "Nothing of " + name + " could be found on the disk.",
                    MessageIcon::Error);
        return;
    }
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
    if (env_.shell->HasAssociatedProgram(url)) {
        OpenOnDesktop(url, QString::fromStdString(name));
    } else {
        OpenWithChosenProgram(url);
    }
}

void CChildDialogExDemoDlg::OpenOnDesktop(const QUrl& url, const QString& recoveredName) {
    if (env_.shell->Open(url)) {
        return;
    }
    const QFileInfo target(url.toLocalFile());
    const bool folder = url.isLocalFile() && target.isDir();
    const QString shown =
        url.isLocalFile() ? QDir::toNativeSeparators(target.filePath()) : url.toDisplayString();
    const QString text =
        recoveredName.isEmpty()
            ? QStringLiteral("No program of the desktop could open the %1 %2.")
                  .arg(folder ? QStringLiteral("folder") : QStringLiteral("file"), shown)
            : QStringLiteral("No program of the desktop could open %1, copied to %2.")
                  .arg(recoveredName, shown);
    // A folder is not offered its own parent: that is not what the user asked for.
    const bool folderOffered = url.isLocalFile() && !folder;
    switch (env_.messages->AskAfterFailedOpen(text, folderOffered)) {
        case OpenFailedChoice::OpenWith:
            OpenWithChosenProgram(url);
            break;
        case OpenFailedChoice::OpenContainingFolder: {
            const QString parent = target.absolutePath();
            if (!env_.shell->Open(QUrl::fromLocalFile(parent))) {
                ShowMessage("No program of the desktop could open the folder " +
                                QDir::toNativeSeparators(parent).toStdString() + " either.",
                            MessageIcon::Error);
            }
            break;
        }
        case OpenFailedChoice::Cancel:
            break;
    }
}

void CChildDialogExDemoDlg::OpenWithChosenProgram(const QUrl& url) {
    if (!env_.shell->OpenWith(url, this)) {
        ShowMessage("The chosen program could not be started to open " +
                        QDir::toNativeSeparators(url.toLocalFile()).toStdString() + ".",
                    MessageIcon::Error);
    }
}

}  // namespace lumarest

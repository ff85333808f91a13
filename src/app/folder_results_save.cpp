// Saving what the folder results show: the checked folders, the chosen rows of the file list or
// the selected folder, into a folder the user chooses, never on the disk being searched.

#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QWidget>
#include <algorithm>
#include <optional>

#include "app/background_job.h"
#include "app/disk_key.h"
#include "app/folder_results_page.h"
#include "app/qt_save_decisions.h"
#include "app/save_folder_question.h"
#include "app/window_thread_save_decisions.h"
#include "app/wizard_environment.h"
#include "app/wizard_frame.h"
#include "app/wizard_texts.h"
#include "carving/destination_folder.h"
#include "disk/device_sector_source.h"
#include "search/advance_search.h"
#include "tree/folder_browse.h"
#include "ui/mytreectrl.h"
#include "ui/save_dialogs.h"
#include "volume/recovered_save.h"

namespace lumarest {

namespace {

constexpr std::size_t kNameColumn = 0;
const char* const kOpenAction = "Open";
const char* const kSaveAction = "Save";
const char* const kSaveAllAction = "Save All";
const char* const kNothingToSave =
    "Check the folders to save in the left panel, or choose files in the list, then click "
    "'Save'.";

std::string SummaryText(const SaveSummary& summary, const std::string& folder) {
    std::string text = std::to_string(summary.saved) + " file(s) saved to " + folder + ".";
    if (!summary.noRoom.empty()) {
        text = summary.noRoom + "\n\n" + text;
    }
    if (summary.incomplete > 0) {
        text +=
            "\n" + std::to_string(summary.incomplete) + " of them could only be recovered in part.";
    }
    if (summary.deleted > 0) {
        text += "\n" + std::to_string(summary.deleted) + " of the saved files had been deleted.";
    }
    if (summary.truncated > 0) {
        text += "\n" + std::to_string(summary.truncated) +
                " of them were truncated: only part of their data is left on the disk.";
    }
    if (summary.nameOnly > 0) {
        text += "\n" + std::to_string(summary.nameOnly) +
                " of them were names only: nothing of their data is left.";
    }
    if (summary.skipped > 0) {
        text += "\n" + std::to_string(summary.skipped) + " file(s) skipped.";
    }
    if (summary.failed > 0) {
        text += "\n" + std::to_string(summary.failed) + " file(s) could not be written.";
    }
    if (summary.stopped) {
        text += "\nSaving was stopped before the end.";
    }
    return text;
}

}  // namespace

// A folder of a found volume that was never expanded still carries the name the search gave
// it ("DIR5"); its parent's entry holds the real one, which its saved copy must take.
void FolderResultsPage::NameFoldersForSaving() {
    NameEveryFolder(run_, Disk());
}

bool FolderResultsPage::ResultsReady() const {
    return frame_.Stage() == WizardStage::FolderResults && !treeBuilding_() && run_.folderTree;
}

void FolderResultsPage::Save() {
    if (!ResultsReady()) {
        return;
    }
    NameFoldersForSaving();
    std::vector<SaveEntry> entries = CollectCheckedEntries(run_, Disk());
    if (entries.empty()) {
        entries = ChosenFileListEntries(false);
    }
    if (entries.empty() && run_.folderTree->Selected() != kNoItem) {
        entries = CollectFolderEntries(run_, Disk(), run_.folderTree->Selected());
    }
    SaveChosenEntries(std::move(entries));
}

void FolderResultsPage::OnFolderTreeContextMenu(const QPoint& position) {
    if (!ResultsReady()) {
        return;
    }
    const TreeItem item = folderTree_->ItemAt(position);
    QMenu menu(page_->window());
    QAction* save = menu.addAction(QString::fromUtf8(kSaveAction));
    menu.setDefaultAction(save);
    if (menu.exec(folderTree_->viewport()->mapToGlobal(position)) != save) {
        return;
    }
    // The checked folders when there are any, else the folder the menu was opened on.
    NameFoldersForSaving();
    std::vector<SaveEntry> entries = CollectCheckedEntries(run_, Disk());
    if (entries.empty() && item != kNoItem) {
        entries = CollectFolderEntries(run_, Disk(), item);
    }
    SaveChosenEntries(std::move(entries));
}

void FolderResultsPage::OnFileListContextMenu(const QPoint& position) {
    if (!ResultsReady()) {
        return;
    }
    const QModelIndex index = fileList_->indexAt(position);
    QMenu menu(page_->window());
    QAction* open = menu.addAction(QString::fromUtf8(kOpenAction));
    QAction* save = menu.addAction(QString::fromUtf8(kSaveAction));
    QAction* saveAll = menu.addAction(QString::fromUtf8(kSaveAllAction));
    open->setEnabled(index.isValid());
    save->setEnabled(fileList_->selectionModel()->hasSelection());
    saveAll->setEnabled(fileList_->model()->rowCount() > 0);
    menu.setDefaultAction(index.isValid() ? open : saveAll);
    QAction* chosen = menu.exec(fileList_->viewport()->mapToGlobal(position));
    if (chosen == open) {
        OnFileListActivated(index);
    } else if (chosen == save) {
        SaveChosenEntries(ChosenFileListEntries(false));
    } else if (chosen == saveAll) {
        SaveChosenEntries(ChosenFileListEntries(true));
    }
}

// The selected rows of the file list (or all of them): files as they are, folder rows with
// everything inside them. All of them leaves out the file system's own files and folders; a
// row chosen by hand is saved whatever it is.
std::vector<SaveEntry> FolderResultsPage::ChosenFileListEntries(bool allRows) {
    std::vector<std::size_t> rows;
    // Rows the deleted filter hides are not chosen, not even by "Save All".
    if (allRows) {
        QAbstractItemModel* shown = fileList_->model();
        for (int row = 0; row < shown->rowCount(); ++row) {
            rows.push_back(FileListRowOf(shown->index(row, 0)));
        }
    } else {
        for (const QModelIndex& index : fileList_->selectionModel()->selectedRows()) {
            rows.push_back(FileListRowOf(index));
        }
    }
    std::sort(rows.begin(), rows.end());
    NameFoldersForSaving();
    // The listing is read first: collecting a folder lists it into the same file list.
    std::vector<std::pair<std::string, FileRef>> chosen;
    for (const std::size_t row : rows) {
        const std::optional<FileRef> file = ListedRowRef(run_, row);
        if (file && !(allRows && IsVolumeOwnRow(run_, Disk(), *file))) {
            chosen.emplace_back(run_.fileList.Cell(row, kNameColumn), *file);
        }
    }
    std::vector<SaveEntry> entries;
    for (const auto& [name, file] : chosen) {
        if (!file.IsFolder()) {
            entries.push_back(FileRowEntry(name, file));
            continue;
        }
        const TreeItem item = file.folderItem;
        if (run_.folderTree->Exists(item)) {
            std::vector<SaveEntry> inside = CollectFolderEntries(run_, Disk(), item);
            entries.insert(entries.end(), std::make_move_iterator(inside.begin()),
                           std::make_move_iterator(inside.end()));
        }
    }
    return entries;
}

void FolderResultsPage::SaveChosenEntries(std::vector<SaveEntry> entries) {
    if (entries.empty()) {
        frame_.ShowMessage(kNothingToSave, MessageIcon::Information);
        return;
    }
    QWidget* const window = page_->window();
    const std::optional<ChosenSaveFolder> chosen =
        AskSaveFolder(*env_.dialogs, frame_, window, SelectedDevicePath(run_));
    if (!chosen) {
        return;
    }
    const std::string& folder = chosen->path;
    CCountFilesDlg progress(window);
    progress.ShowTotal(entries.size());
    // The window waits for the saving, which reads the run and the disk meanwhile.
    progress.setWindowModality(Qt::WindowModal);
    progress.show();
    std::unique_ptr<SaveDecisions> decisions =
        env_.saveDecisions ? env_.saveDecisions()
                           : std::make_unique<QtSaveDecisions>(window, &progress);
    DeviceSectorSource& disk = Disk();
    const SaveSummary summary =
        RunAndWait<SaveSummary>(reporter_, *this, [&](Reporter&, std::stop_token stop) {
            WindowThreadSaveDecisions asked(*this, *decisions, stop);
            return SaveEntries(run_, disk, entries, chosen->handle, folder, asked, stop);
        });
    progress.hide();
    const MessageIcon icon = !summary.noRoom.empty() ? MessageIcon::Error
                             : summary.failed > 0    ? MessageIcon::Warning
                                                     : MessageIcon::Information;
    frame_.ShowMessage(SummaryText(summary, folder), icon);
}

}  // namespace lumarest

#include "app/qt_save_decisions.h"

#include <QFileInfo>

#include "ui/save_dialogs.h"

namespace lumarest {

namespace {

QString FileNameOf(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).fileName();
}

}  // namespace

QtSaveDecisions::QtSaveDecisions(QWidget* parent, CCountFilesDlg* progress)
    : parent_(parent), progress_(progress) {}

SaveDecisions::Replace QtSaveDecisions::AskReplace(const std::string& path,
                                                   const std::string& renamed, bool& applyToAll) {
    CReplaceFileDlg dialog(FileNameOf(path), FileNameOf(renamed), parent_);
    const int answer = dialog.exec();
    applyToAll = dialog.ApplyToAll();
    switch (answer) {
        case CReplaceFileDlg::Overwrite:
            return Replace::Overwrite;
        case CReplaceFileDlg::Rename:
            return Replace::Rename;
        case CReplaceFileDlg::Skip:
            return Replace::Skip;
        default:
            // Closing the box is no answer to go on with.
            return Replace::Cancel;
    }
}

SaveDecisions::WriteError QtSaveDecisions::AskWriteError(const std::string& path) {
    CWriteErrorDlg dialog(QString::fromStdString(path), parent_);
    switch (dialog.exec()) {
        case CWriteErrorDlg::Skip:
            return WriteError::Skip;
        case CWriteErrorDlg::SkipAll:
            return WriteError::SkipAll;
        default:
            return WriteError::Abort;
    }
}

bool QtSaveDecisions::Progress(std::size_t done, std::size_t total, const std::string& path) {
    if (progress_ == nullptr) {
        return false;
    }
    progress_->ShowSaving(done, total, QString::fromStdString(path));
    return progress_->StopRequested();
}

}  // namespace lumarest

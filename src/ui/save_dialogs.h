#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;

namespace lumarest {

// "Replace File Confirmation": a file of the saved file's name is already in the destination.
class CReplaceFileDlg : public QDialog {
    Q_OBJECT

  public:
    enum Answer { Overwrite = 1, Rename, Skip, Cancel };

    CReplaceFileDlg(const QString& fileName, const QString& newName, QWidget* parent = nullptr);
    bool ApplyToAll() const;

  private:
    QCheckBox* applyToAll_ = nullptr;
};

// "Error Writing Destination": a saved file could not be written.
class CWriteErrorDlg : public QDialog {
    Q_OBJECT

  public:
    enum Answer { Abort = 1, Skip, SkipAll };

    CWriteErrorDlg(const QString& path, QWidget* parent = nullptr);
};

// "Calculating Number of Files...": shown while the files to save are counted, then while they
// are written, with a "Stop " button.
class CCountFilesDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CCountFilesDlg(QWidget* parent = nullptr);

    void ShowTotal(std::size_t total);
    void ShowSaving(std::size_t done, std::size_t total, const QString& path);
    bool StopRequested() const { return stopRequested_; }

  private:
    QLabel* heading_ = nullptr;
    QLabel* total_ = nullptr;
    QLabel* current_ = nullptr;
    bool stopRequested_ = false;
};

}  // namespace lumarest

#pragma once

#include <QDialog>

class QLabel;

namespace lumarest {

// The small window shown while a recovered file is written out for opening.
class COpenSingleFile : public QDialog {
    Q_OBJECT

  public:
    static constexpr const char* kOpeningText = "Opening File : ";
    static constexpr const char* kWaitText = "This may take a while, Please wait...";

    explicit COpenSingleFile(const QString& fileName, QWidget* parent = nullptr);

    QString FileName() const;

  private:
    QLabel* fileName_ = nullptr;
};

}  // namespace lumarest

#pragma once

#include <QDialog>

namespace lumarest {

// "About Us": the product picture, name, version and what the program does.
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    static QString VersionText();
};

}  // namespace lumarest

#pragma once

#include <QDialog>

namespace lumarest {

// The notice shown before the destination folder is chosen: where recovered data may go.
class CAdvanceDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAdvanceDlg(QWidget* parent = nullptr);
};

}  // namespace lumarest

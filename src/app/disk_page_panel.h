#pragma once

#include <QWidget>

#include "core/recovery_run.h"

class QButtonGroup;
class QLabel;
class QRadioButton;

namespace lumarest {

// The right-hand part of the disk page below the details list: the three search modes.
class DiskPagePanel : public QWidget {
    Q_OBJECT

  public:
    explicit DiskPagePanel(QWidget* parent = nullptr);

    void SetModesEnabled(bool standard, bool advance, bool raw);
    // Clears all three buttons (the mode itself stays as it was).
    void ClearModes();
    void CheckMode(SearchMode mode);
    QRadioButton* ModeButton(SearchMode mode) const;

    QRadioButton* standardButton = nullptr;
    QRadioButton* advanceButton = nullptr;
    QRadioButton* rawButton = nullptr;

  signals:
    void ModeChosen(lumarest::SearchMode mode);

  private:
    QRadioButton* AddMode(const char* caption, const char* explanation, SearchMode mode,
                          const char* objectName);

    QButtonGroup* modes_ = nullptr;
};

}  // namespace lumarest

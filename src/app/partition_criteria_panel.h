#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace lumarest {

class CTextProgressCtrl;

// The criteria page of a Standard or Advance search: the chosen partition's range and type,
// and the search for partitions the table no longer lists.
class PartitionCriteriaPanel : public QWidget {
    Q_OBJECT

  public:
    explicit PartitionCriteriaPanel(QWidget* parent = nullptr);

    QLabel* modeLabel = nullptr;
    QLabel* partitionTypeCaption = nullptr;
    QComboBox* partitionTypeBox = nullptr;
    QLabel* startCaption = nullptr;
    QLineEdit* startField = nullptr;
    QLabel* endCaption = nullptr;
    QLineEdit* endField = nullptr;
    QPushButton* searchMorePartitionsButton = nullptr;
    QPushButton* stopSearchingPartitionsButton = nullptr;
    // The DOS code page FAT short names are read in; each entry's data is its name.
    QComboBox* codePageBox = nullptr;
    // The partition-search bar with its caption; shown while that search runs.
    QWidget* partitionSearchRow = nullptr;
    CTextProgressCtrl* partitionSearchBar = nullptr;
    // Where the partition-search bar sits on this page.
    QVBoxLayout* partitionSearchLayout = nullptr;

    // The name of the code page chosen, as OemCodePage::Load takes it.
    QString CodePageName() const;
    // Chooses the entry of that code page; false when none has it.
    bool SelectCodePage(const QString& name);
};

}  // namespace lumarest

#pragma once

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace lumarest {

class CRangeSlider;

// The criteria page of a Raw search: the scope, its sector fields, where recovered data goes
// and the thorough box.
class RawCriteriaPanel : public QWidget {
    Q_OBJECT

  public:
    enum Scope { kEntireDisk = 0, kSectorRange = 1, kSectorsInPartition = 2 };

    explicit RawCriteriaPanel(QWidget* parent = nullptr);

    Scope CheckedScope() const;
    void CheckScope(Scope scope);
    void ClearScopes();

    QRadioButton* entireDiskButton = nullptr;
    QRadioButton* sectorRangeButton = nullptr;
    QRadioButton* sectorsInPartitionButton = nullptr;
    // The partition fields of "Entire Disk" and "Sectors in Partition", with their captions.
    QWidget* partitionFieldsArea = nullptr;
    QLabel* startCaption = nullptr;
    QLineEdit* startField = nullptr;
    QLabel* endCaption = nullptr;
    QLineEdit* endField = nullptr;
    // Holds the sector-range controls while "Sector Range" is chosen.
    QWidget* sectorRangeArea = nullptr;
    QLabel* sliderExplanation = nullptr;
    CRangeSlider* slider = nullptr;
    // "Min", "Start Sector", "End Sector", "Max", left to right.
    QLabel* sliderCaptions[4] = {};
    QLineEdit* sliderMinField = nullptr;
    QLineEdit* sliderStartField = nullptr;
    QLineEdit* sliderEndField = nullptr;
    QLineEdit* sliderMaxField = nullptr;
    // The partition search of "Sectors in Partition".
    QWidget* partitionSearchArea = nullptr;
    QPushButton* searchMorePartitionsButton = nullptr;
    QPushButton* stopSearchingPartitionsButton = nullptr;
    // Where the partition-search bar sits while this page shows it.
    QVBoxLayout* partitionSearchLayout = nullptr;
    QLabel* destinationLabel = nullptr;
    QLineEdit* destinationField = nullptr;
    QPushButton* browseButton = nullptr;
    QCheckBox* thoroughBox = nullptr;
    QCheckBox* nameByDateBox = nullptr;
    QLabel* thoroughExplanation = nullptr;

  signals:
    void ScopeChosen(int scope);

  private:
    QButtonGroup* scopes_ = nullptr;
};

}  // namespace lumarest

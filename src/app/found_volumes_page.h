#pragma once

#include <QObject>
#include <cstddef>

#include "core/recovery_run.h"

class QTreeView;
class QWidget;

namespace lumarest {

class TextTableModel;
class WizardFrame;
class mytreectrl;

// The file systems an Advance search found: their tree, the chosen one's details, and the
// choice of the one rebuilt on Next. The window runs the search and the rebuild; the page owns
// the run's volume tree while it is shown.
class FoundVolumesPage : public QObject {
    Q_OBJECT

  public:
    FoundVolumesPage(RecoveryRun& run, WizardFrame& frame);
    ~FoundVolumesPage() override;

    QWidget* Widget() const { return page_; }

    // A fresh tree of no volume, its top item open, for a new choice of partition.
    void NewTree();
    // The search fills the run's volume tree: the page shows none until Enter.
    void LetGoOfTree();
    // After the search: every volume found, the first one chosen and its details shown; Next
    // when there is one to rebuild.
    void Enter();
    // Back from a rebuilt volume: the volume chosen before, ready for another choice.
    void EnterAgain();
    // Back to the criteria: what the search found is forgotten, the details list given back.
    void Leave();
    // The run's details list, which other pages fill too, read again.
    void ReloadDetails();

  private:
    QWidget* BuildLeftColumn();
    QWidget* BuildRightColumn();
    void ShowVolumeDetails(std::size_t volume, bool clicked);
    void OnVolumeTreeClicked(TreeItem item);

    RecoveryRun& run_;
    WizardFrame& frame_;

    QWidget* page_ = nullptr;
    mytreectrl* volumeTree_ = nullptr;
    QTreeView* detailsList_ = nullptr;
    TextTableModel* detailsModel_ = nullptr;
};

}  // namespace lumarest

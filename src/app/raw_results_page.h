#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "core/recovery_run.h"

class QCheckBox;
class QLabel;
class QVBoxLayout;
class QWidget;

namespace lumarest {

class CThumbsListCtrl;
class RawSaveWorker;
class RawScanWorker;
class SearchStatisticsPanel;
class WindowReporter;
class WizardFrame;
struct RawScanInputs;
struct ResaveSummary;
struct WizardEnvironment;

// The raw search's results: the pictures the scan finds as it goes, stopping it, its end,
// and saving the pictures chosen afterwards. It owns its widgets and both workers; the window
// fills in what is searched and hands over the statistics panel while the page is shown.
class RawResultsPage : public QObject {
    Q_OBJECT

  public:
    RawResultsPage(RecoveryRun& run, WizardEnvironment& env, WizardFrame& frame,
                   WindowReporter& reporter, SearchStatisticsPanel& statistics);
    ~RawResultsPage() override;

    QWidget* Widget() const { return page_; }

    // Shows the page emptied for a new search, with the statistics panel in it.
    void Enter();
    // Starts the scan of `inputs`; the thumbnails come into the page as it goes.
    void StartScan(RawScanInputs inputs);
    // Stop Search: the save ends after the file being written, or the scan between two sectors.
    void Stop();
    // Back: false while a worker runs; else the page is emptied and lets go of the panel.
    bool Leave();
    bool Saving() const { return saveWorker_ != nullptr; }
    // Save: the chosen pictures (or every one shown) written into a folder the user picks.
    void Save();
    void OpenDestination();
    // Both workers end, between two sectors or after the file being written.
    void StopWorkers();

  private:
    QWidget* BuildLeftColumn();
    QWidget* BuildRightColumn();
    void OnScanFinished(std::uint64_t scan);
    void StopScanWorker();
    void EndSearchDisplay();
    void UpdateSaveButton();
    void OnSaveFinished(const ResaveSummary& summary, const std::string& folder);
    void StopSaveWorker();

    RecoveryRun& run_;
    WizardEnvironment& env_;
    WizardFrame& frame_;
    WindowReporter& reporter_;
    // Shared with the stages page: this page holds it while it is shown.
    SearchStatisticsPanel& statistics_;

    QWidget* page_ = nullptr;
    QLabel* diskCard_ = nullptr;
    QVBoxLayout* rightLayout_ = nullptr;
    CThumbsListCtrl* thumbsList_ = nullptr;
    // "Show only complete pictures" under the thumbnails.
    QCheckBox* onlyCompleteBox_ = nullptr;

    // Filled while a scan runs.
    std::unique_ptr<RawScanWorker> scanWorker_;
    // Filled while the pictures are being saved after their search.
    std::unique_ptr<RawSaveWorker> saveWorker_;
    // Numbers each scan, so a late end of an earlier one is ignored.
    std::uint64_t scanSerial_ = 0;
    // Numbers each filling of the thumbnail list; thumbnails of an emptied list are dropped.
    std::uint64_t thumbnailGeneration_ = 0;
    // Where the last scan saved its files; empty when it saved nothing.
    std::string scanDestination_;
    // Saved pictures are named by date as the search named them.
    bool nameByDate_ = false;
};

}  // namespace lumarest

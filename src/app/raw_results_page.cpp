#include "app/raw_results_page.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <optional>
#include <utility>
#include <vector>

#include "app/disk_key.h"
#include "app/page_widgets.h"
#include "app/raw_save_worker.h"
#include "app/raw_scan_worker.h"
#include "app/save_folder_question.h"
#include "app/search_end_notice.h"
#include "app/search_statistics_panel.h"
#include "app/window_reporter.h"
#include "app/wizard_environment.h"
#include "app/wizard_frame.h"
#include "app/wizard_texts.h"
#include "carving/carved_file_resave.h"
#include "carving/destination_folder.h"
#include "ui/text_progress_ctrl.h"
#include "ui/thumbs_list_ctrl.h"

namespace lumarest {

namespace {
const char* const kResultsCaption = "Recovered pictures";

// Names listed in the summary of a save; the rest are counted.
constexpr std::size_t kMostNamesListed = 10;

std::string NamesText(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kMostNamesListed; ++i) {
        text += (i == 0 ? "" : ", ") + names[i];
    }
    if (names.size() > kMostNamesListed) {
        text += " and " + std::to_string(names.size() - kMostNamesListed) + " more";
    }
    return text;
}

std::string RawSaveSummaryText(const ResaveSummary& summary, const std::string& folder) {
    std::string text = std::to_string(summary.saved) + " file(s) saved to " + folder + ".";
    if (!summary.noRoom.empty()) {
        text = summary.noRoom + "\n\n" + text;
    }
    if (!summary.unreadable.empty()) {
        text += "\n" + std::to_string(summary.unreadable.size()) +
                " file(s) could not be read from the disk: " + NamesText(summary.unreadable) + ".";
    }
    if (!summary.unwritten.empty()) {
        text += "\n" + std::to_string(summary.unwritten.size()) +
                " file(s) could not be written into " + folder + ": " +
                NamesText(summary.unwritten) + ".";
    }
    if (summary.stopped) {
        text += "\nSaving was stopped before the end.";
    }
    return text;
}
}  // namespace

RawResultsPage::RawResultsPage(RecoveryRun& run, WizardEnvironment& env, WizardFrame& frame,
                               WindowReporter& reporter, SearchStatisticsPanel& statistics)
    : run_(run), env_(env), frame_(frame), reporter_(reporter), statistics_(statistics) {
    QWidget* left = BuildLeftColumn();
    QWidget* right = BuildRightColumn();
    page_ = MakePage(left, right);
    connect(onlyCompleteBox_, &QCheckBox::toggled, this, [this](bool only) {
        thumbsList_->ShowOnlyComplete(only);
        UpdateSaveButton();
    });
    // Thumbnails of a stopped scan may still arrive after the page shows its end.
    connect(thumbsList_->model(), &QAbstractItemModel::rowsInserted, this,
            [this] { UpdateSaveButton(); });
}

RawResultsPage::~RawResultsPage() {
    // The workers show on this page: they end before it goes.
    StopWorkers();
}

QWidget* RawResultsPage::BuildLeftColumn() {
    auto [column, layout, caption] = MakeLeftColumn(kDiskToSearchCaption, "rawDiskCaption");
    diskCard_ = MakeDiskCard("rawDiskCard");
    layout->addWidget(diskCard_, 1);
    return column;
}

QWidget* RawResultsPage::BuildRightColumn() {
    auto [column, layout, caption] = MakeRightColumn(kResultsCaption, "rawResultsCaption");
    rightLayout_ = layout;
    thumbsList_ = new CThumbsListCtrl;
    thumbsList_->setObjectName(QStringLiteral("ThumbsList"));
    rightLayout_->addWidget(thumbsList_, 1);
    onlyCompleteBox_ = new QCheckBox(QString::fromUtf8(texts::kShowOnlyComplete));
    onlyCompleteBox_->setObjectName(QStringLiteral("onlyCompleteBox"));
    rightLayout_->addWidget(onlyCompleteBox_);
    // The statistics panel goes here, above the stretch, while the page is shown.
    rightLayout_->addStretch();
    return column;
}

void RawResultsPage::Enter() {
    diskCard_->setText(ChosenDiskCardText(run_));
    if (QLayout* holder = statistics_.parentWidget()->layout()) {
        holder->removeWidget(&statistics_);
    }
    rightLayout_->insertWidget(rightLayout_->indexOf(onlyCompleteBox_) + 1, &statistics_);
    // Moved from a hidden page, the panel would wait for the event loop to show again.
    statistics_.show();
    thumbsList_->Clear();
    ++thumbnailGeneration_;
    thumbsList_->show();
    statistics_.mainScanBar->SetPos(0);
    statistics_.mainScanBar->SetText(QString());
    statistics_.phaseLabel->clear();
    for (const Statistic which : {Statistic::SectorProgress, Statistic::SearchMethod}) {
        statistics_.Value(which)->clear();
    }
    statistics_.carvingRow->show();
    statistics_.mainScanRow->show();
    frame_.ShowFrameButton(FrameButton::OpenFolder, false);
    frame_.EnableFrameButton(FrameButton::StopSearch, true);
    frame_.ShowFrameButton(FrameButton::StopSearch, true);
    // A new search shows every file it finds: a filter left on would hide them unannounced.
    onlyCompleteBox_->setChecked(false);
    onlyCompleteBox_->show();
    frame_.EnableFrameButton(FrameButton::Save, false);
    frame_.ShowFrameButton(FrameButton::Save, true);
}

void RawResultsPage::StartScan(RawScanInputs inputs) {
    scanDestination_ = inputs.destinationFolder;
    nameByDate_ = inputs.nameByDate;
    const std::uint64_t scan = ++scanSerial_;
    RawScanOutputs outputs;
    outputs.reporter = &reporter_;
    outputs.thumbnails = thumbsList_;
    outputs.acceptThumbnail = [this, generation = thumbnailGeneration_] {
        return generation == thumbnailGeneration_;
    };
    outputs.window = this;
    outputs.finished = [this, scan] { OnScanFinished(scan); };
    run_.scanStop = std::stop_source();
    scanWorker_ =
        std::make_unique<RawScanWorker>(std::move(inputs), std::move(outputs), run_.scanStop);
}

void RawResultsPage::OnScanFinished(std::uint64_t scan) {
    if (!scanWorker_ || scan != scanSerial_) {
        return;
    }
    scanWorker_->Wait();
    scanWorker_.reset();
    EndSearchDisplay();
    env_.dialogs->ShowSearchCompleted(page_->window());
}

void RawResultsPage::Stop() {
    if (saveWorker_) {
        // The summary of what was saved still comes.
        saveWorker_->RequestStop();
        frame_.EnableFrameButton(FrameButton::StopSearch, false);
        return;
    }
    if (!scanWorker_) {
        return;
    }
    // The worker ends between two sectors; every thumbnail it handed over stays.
    StopScanWorker();
    EndSearchDisplay();
    env_.dialogs->ShowSearchEnded(
        page_->window(), RawSearchStopped(RangeOfSectors(run_.rawFirstSector, run_.rawLastSector),
                                          static_cast<std::size_t>(thumbsList_->count())));
}

void RawResultsPage::StopScanWorker() {
    run_.scanStop.request_stop();
    if (scanWorker_) {
        scanWorker_->StopAndWait();
        scanWorker_.reset();
        // The thumbnails handed over before the stop are on their way to the list; they are
        // all in it before the search is said to have ended.
        QCoreApplication::sendPostedEvents(thumbsList_, QEvent::MetaCall);
    }
}

void RawResultsPage::EndSearchDisplay() {
    // What the worker reported last is shown before the page settles.
    reporter_.Flush();
    statistics_.mainScanRow->hide();
    statistics_.carvingRow->hide();
    statistics_.phaseLabel->clear();
    frame_.ShowFrameButton(FrameButton::OpenFolder, true);
    frame_.ShowFrameButton(FrameButton::StopSearch, false);
    frame_.EnableFrameButton(FrameButton::Back, true);
    UpdateSaveButton();
    frame_.SetStatusText(texts::kRawSearchEndedStatus);
}

void RawResultsPage::OpenDestination() {
    if (scanDestination_.empty()) {
        frame_.ShowMessage(texts::kNoDestinationChosen, MessageIcon::Information);
        return;
    }
    frame_.OpenFolder(scanDestination_);
}

bool RawResultsPage::Leave() {
    if (scanWorker_ || saveWorker_) {
        return false;
    }
    thumbsList_->hide();
    thumbsList_->Clear();
    ++thumbnailGeneration_;
    onlyCompleteBox_->hide();
    frame_.ShowFrameButton(FrameButton::Save, false);
    // The folder results pages show the button as they find it.
    frame_.EnableFrameButton(FrameButton::Save, true);
    frame_.ShowFrameButton(FrameButton::OpenFolder, false);
    frame_.ShowFrameButton(FrameButton::StopSearch, false);
    statistics_.mainScanRow->hide();
    statistics_.carvingRow->hide();
    rightLayout_->removeWidget(&statistics_);
    return true;
}

// Save is there once the search has ended or was stopped, while nothing is being saved and
// something is shown to save.
void RawResultsPage::UpdateSaveButton() {
    frame_.EnableFrameButton(FrameButton::Save, frame_.Stage() == WizardStage::RawResults &&
                                                    !scanWorker_ && !saveWorker_ &&
                                                    thumbsList_->ShownCount() > 0);
}

// The chosen thumbnails (or every one shown) read again from the searched disk and written
// into a folder the user picks, never one on that disk.
void RawResultsPage::Save() {
    if (scanWorker_ || saveWorker_) {
        return;
    }
    std::vector<CarvedFile> files = thumbsList_->ChosenFiles();
    if (files.empty()) {
        frame_.ShowMessage(texts::kNoPictureToSave, MessageIcon::Information);
        return;
    }
    const std::string device = SelectedDevicePath(run_);
    std::optional<ChosenSaveFolder> chosen =
        AskSaveFolder(*env_.dialogs, frame_, page_->window(), device);
    if (!chosen) {
        return;
    }
    const std::string folder = chosen->path;
    std::optional<FolderHandle> destination = std::move(chosen->handle);
    RawSaveInputs inputs;
    inputs.files = std::move(files);
    inputs.folder = folder;
    inputs.destination = std::move(destination);
    inputs.disk = frame_.ShownDiskInputs(device);
    inputs.nameByDate = nameByDate_;

    frame_.EnableFrameButton(FrameButton::Back, false);
    frame_.EnableFrameButton(FrameButton::Save, false);
    frame_.ShowFrameButton(FrameButton::OpenFolder, false);
    frame_.EnableFrameButton(FrameButton::StopSearch, true);
    frame_.ShowFrameButton(FrameButton::StopSearch, true);
    statistics_.mainScanBar->SetPos(0);
    statistics_.mainScanBar->SetText(QString());
    statistics_.mainScanRow->show();
    saveWorker_ = std::make_unique<RawSaveWorker>(
        std::move(inputs), reporter_, this,
        [this, folder](const ResaveSummary& summary) { OnSaveFinished(summary, folder); });
}

void RawResultsPage::OnSaveFinished(const ResaveSummary& summary, const std::string& folder) {
    if (!saveWorker_) {
        return;
    }
    saveWorker_->Wait();
    saveWorker_.reset();
    reporter_.Flush();
    statistics_.mainScanRow->hide();
    frame_.ShowFrameButton(FrameButton::StopSearch, false);
    frame_.ShowFrameButton(FrameButton::OpenFolder, true);
    frame_.EnableFrameButton(FrameButton::Back, true);
    UpdateSaveButton();
    const bool failures = !summary.unreadable.empty() || !summary.unwritten.empty();
    const MessageIcon icon = !summary.noRoom.empty() ? MessageIcon::Error
                             : failures              ? MessageIcon::Warning
                                                     : MessageIcon::Information;
    frame_.ShowMessage(RawSaveSummaryText(summary, folder), icon);
}

void RawResultsPage::StopSaveWorker() {
    if (saveWorker_) {
        saveWorker_->StopAndWait();
        saveWorker_.reset();
    }
}

void RawResultsPage::StopWorkers() {
    StopScanWorker();
    StopSaveWorker();
}

}  // namespace lumarest

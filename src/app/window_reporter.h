#pragma once

#include <QObject>
#include <array>
#include <functional>
#include <mutex>
#include <stop_token>
#include <utility>
#include <vector>

#include "core/reporter.h"

class QWidget;

namespace lumarest {

class CTextProgressCtrl;
class MessagePresenter;
class SearchStatisticsPanel;

// The widgets a report lands on.
struct WindowReportTargets {
    std::function<void(const std::string&)> setStatusText;
    SearchStatisticsPanel* statistics = nullptr;
    // By ProgressBar: the bar, and the row that holds it with its caption.
    std::array<CTextProgressCtrl*, 3> bars{};
    std::array<QWidget*, 3> barRows{};
    MessagePresenter* messages = nullptr;
};

// The window's reporter. A call on the window's thread runs at once. From a worker, what only
// changes the display (texts, progress, visibility) is handed to the window's thread without
// waiting, and a newer value of the same thing replaces one not yet shown, so a fast scan never
// waits for the screen; a box or a question waits for the user. Every call on the window's
// thread first shows what workers left waiting, so the order of what the user sees holds.
class WindowReporter : public Reporter {
  public:
    WindowReporter(QObject& window, WindowReportTargets targets);

    void SetStatusText(const std::string& text) override;
    void SetStatisticCaption(Statistic which, const std::string& caption) override;
    void SetStatisticValue(Statistic which, const std::string& value) override;
    void ShowStatistics(bool visible) override;
    void SetPhaseLabel(const std::string& text) override;
    void SetProgress(ProgressBar bar, int position, const std::string& text) override;
    void ShowProgress(ProgressBar bar, bool visible) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    bool AskYesNo(const std::string& text) override;
    void CarvedFileFinished(const CarvedFile& file) override;

    // Shows every display update workers left waiting. Window thread only.
    void Flush();

    // A box or question from a worker waits for the user, unless `stop` is requested first:
    // then the worker goes on at once (a question counts as No), so the window can always
    // wait for a stopped worker.
    void ShowMessage(const std::string& text, MessageIcon icon, std::stop_token stop);
    bool AskYesNo(const std::string& text, std::stop_token stop);

  private:
    void Update(int key, std::function<void()> work);
    bool WaitOnWindowThread(std::function<void()> work, std::stop_token stop);

    QObject& window_;
    WindowReportTargets targets_;
    std::mutex pendingMutex_;
    // Display updates from workers, one per thing shown, in the order first reported.
    std::vector<std::pair<int, std::function<void()>>> pending_;
};

// What a worker reports through: the window's reporter, with boxes that give way to `stop`.
class WorkerReporter : public Reporter {
  public:
    WorkerReporter(WindowReporter& window, std::stop_token stop)
        : window_(window), stop_(std::move(stop)) {}

    void SetStatusText(const std::string& text) override { window_.SetStatusText(text); }
    void SetStatisticCaption(Statistic which, const std::string& caption) override {
        window_.SetStatisticCaption(which, caption);
    }
    void SetStatisticValue(Statistic which, const std::string& value) override {
        window_.SetStatisticValue(which, value);
    }
    void ShowStatistics(bool visible) override { window_.ShowStatistics(visible); }
    void SetPhaseLabel(const std::string& text) override { window_.SetPhaseLabel(text); }
    void SetProgress(ProgressBar bar, int position, const std::string& text) override {
        window_.SetProgress(bar, position, text);
    }
    void ShowProgress(ProgressBar bar, bool visible) override {
        window_.ShowProgress(bar, visible);
    }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        window_.ShowMessage(text, icon, stop_);
    }
    bool AskYesNo(const std::string& text) override { return window_.AskYesNo(text, stop_); }
    void CarvedFileFinished(const CarvedFile& file) override { window_.CarvedFileFinished(file); }

  private:
    WindowReporter& window_;
    std::stop_token stop_;
};

}  // namespace lumarest

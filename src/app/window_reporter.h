#pragma once

#include <QObject>
#include <array>
#include <functional>

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

// The window's reporter. A call from a worker is carried to the window's thread, and the
// worker waits until the window has done it; a call on the window's thread runs at once.
// So the window's thread must never wait for a worker: it stops workers, it does not join them.
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

  private:
    void OnWindowThread(const std::function<void()>& work);

    QObject& window_;
    WindowReportTargets targets_;
};

}  // namespace lumarest

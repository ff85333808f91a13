#include "app/window_reporter.h"

#include <QLabel>
#include <QMetaObject>
#include <QThread>

#include "app/message_presenter.h"
#include "app/search_statistics_panel.h"
#include "ui/text_progress_ctrl.h"

namespace lumarest {

namespace {
QString Text(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

WindowReporter::WindowReporter(QObject& window, WindowReportTargets targets)
    : window_(window), targets_(std::move(targets)) {}

void WindowReporter::OnWindowThread(const std::function<void()>& work) {
    if (QThread::currentThread() == window_.thread()) {
        work();
    } else {
        QMetaObject::invokeMethod(&window_, work, Qt::BlockingQueuedConnection);
    }
}

void WindowReporter::SetStatusText(const std::string& text) {
    OnWindowThread([&] { targets_.setStatusText(text); });
}

void WindowReporter::SetStatisticCaption(Statistic which, const std::string& caption) {
    OnWindowThread([&] { targets_.statistics->SetCaption(which, caption); });
}

void WindowReporter::SetStatisticValue(Statistic which, const std::string& value) {
    OnWindowThread([&] { targets_.statistics->Value(which)->setText(Text(value)); });
}

void WindowReporter::ShowStatistics(bool visible) {
    OnWindowThread([&] { targets_.statistics->statistics->setVisible(visible); });
}

void WindowReporter::SetPhaseLabel(const std::string& text) {
    OnWindowThread([&] { targets_.statistics->phaseLabel->setText(Text(text)); });
}

void WindowReporter::SetProgress(ProgressBar bar, int position, const std::string& text) {
    OnWindowThread([&] {
        CTextProgressCtrl* control = targets_.bars[static_cast<std::size_t>(bar)];
        control->SetPos(position);
        control->SetText(Text(text));
    });
}

void WindowReporter::ShowProgress(ProgressBar bar, bool visible) {
    OnWindowThread([&] { targets_.barRows[static_cast<std::size_t>(bar)]->setVisible(visible); });
}

void WindowReporter::ShowMessage(const std::string& text, MessageIcon icon) {
    OnWindowThread([&] { targets_.messages->ShowMessage(Text(text), icon); });
}

bool WindowReporter::AskYesNo(const std::string& text) {
    bool yes = false;
    OnWindowThread([&] { yes = targets_.messages->AskYesNo(Text(text)); });
    return yes;
}

void WindowReporter::CarvedFileFinished(const CarvedFile&) {}

}  // namespace lumarest

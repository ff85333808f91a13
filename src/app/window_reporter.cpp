#include "app/window_reporter.h"

#include <QLabel>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <memory>

#include "app/message_presenter.h"
#include "app/search_statistics_panel.h"
#include "app/window_thread.h"
#include "ui/text_progress_ctrl.h"

namespace lumarest {

namespace {
QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// One key per thing on screen: a newer update of the same key replaces a waiting one.
enum UpdateKey : int {
    kStatusKey = 0,
    kStatisticCaptionKey = 10,
    kStatisticValueKey = 20,
    kShowStatisticsKey = 30,
    kPhaseKey = 31,
    kProgressKey = 40,
    kShowProgressKey = 50,
};

int KeyOf(UpdateKey base, int which) {
    return base + which;
}

}  // namespace

WindowReporter::WindowReporter(QObject& window, WindowReportTargets targets)
    : window_(window), targets_(std::move(targets)) {}

void WindowReporter::Update(int key, std::function<void()> work) {
    if (QThread::currentThread() == window_.thread()) {
        Flush();
        work();
        return;
    }
    bool firstWaiting = false;
    {
        std::lock_guard lock(pendingMutex_);
        firstWaiting = pending_.empty();
        auto same = std::find_if(pending_.begin(), pending_.end(),
                                 [key](const auto& update) { return update.first == key; });
        if (same != pending_.end()) {
            same->second = std::move(work);
        } else {
            pending_.emplace_back(key, std::move(work));
        }
    }
    if (firstWaiting) {
        QMetaObject::invokeMethod(
            &window_, [this] { Flush(); }, Qt::QueuedConnection);
    }
}

void WindowReporter::Flush() {
    std::vector<std::pair<int, std::function<void()>>> waiting;
    {
        std::lock_guard lock(pendingMutex_);
        waiting.swap(pending_);
    }
    for (const auto& update : waiting) {
        update.second();
    }
}

bool WindowReporter::WaitOnWindowThread(std::function<void()> work, std::stop_token stop) {
    return RunOnWindowThread(
        window_,
        [this, work = std::move(work)] {
            Flush();
            work();
        },
        std::move(stop));
}

void WindowReporter::SetStatusText(const std::string& text) {
    Update(kStatusKey, [this, text] { targets_.setStatusText(text); });
}

void WindowReporter::SetStatisticCaption(Statistic which, const std::string& caption) {
    Update(KeyOf(kStatisticCaptionKey, static_cast<int>(which)),
           [this, which, caption] { targets_.statistics->SetCaption(which, caption); });
}

void WindowReporter::SetStatisticValue(Statistic which, const std::string& value) {
    Update(KeyOf(kStatisticValueKey, static_cast<int>(which)),
           [this, which, value] { targets_.statistics->Value(which)->setText(Text(value)); });
}

void WindowReporter::ShowStatistics(bool visible) {
    Update(kShowStatisticsKey,
           [this, visible] { targets_.statistics->statistics->setVisible(visible); });
}

void WindowReporter::SetPhaseLabel(const std::string& text) {
    Update(kPhaseKey, [this, text] { targets_.statistics->phaseLabel->setText(Text(text)); });
}

void WindowReporter::SetProgress(ProgressBar bar, int position, const std::string& text) {
    Update(KeyOf(kProgressKey, static_cast<int>(bar)), [this, bar, position, text] {
        CTextProgressCtrl* control = targets_.bars[static_cast<std::size_t>(bar)];
        control->SetPos(position);
        control->SetText(Text(text));
    });
}

void WindowReporter::ShowProgress(ProgressBar bar, bool visible) {
    Update(KeyOf(kShowProgressKey, static_cast<int>(bar)), [this, bar, visible] {
        targets_.barRows[static_cast<std::size_t>(bar)]->setVisible(visible);
    });
}

void WindowReporter::ShowMessage(const std::string& text, MessageIcon icon) {
    ShowMessage(text, icon, std::stop_token());
}

bool WindowReporter::AskYesNo(const std::string& text) {
    return AskYesNo(text, std::stop_token());
}

void WindowReporter::ShowMessage(const std::string& text, MessageIcon icon, std::stop_token stop) {
    WaitOnWindowThread([this, text, icon] { targets_.messages->ShowMessage(Text(text), icon); },
                       std::move(stop));
}

bool WindowReporter::AskYesNo(const std::string& text, std::stop_token stop) {
    auto yes = std::make_shared<bool>(false);
    const bool answered = WaitOnWindowThread(
        [this, text, yes] { *yes = targets_.messages->AskYesNo(Text(text)); }, std::move(stop));
    return answered && *yes;
}

void WindowReporter::CarvedFileFinished(const CarvedFile&) {}

}  // namespace lumarest

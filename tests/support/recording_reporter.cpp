#include "support/recording_reporter.h"

namespace lumarest::testing {

void RecordingReporter::Record(std::string line) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(line));
}

void RecordingReporter::SetStatusText(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        lastStatus_ = text;
    }
    Record("status: " + text);
}

void RecordingReporter::SetStatisticCaption(Statistic which, const std::string& caption) {
    Record("caption " + std::to_string(static_cast<int>(which)) + ": " + caption);
}

void RecordingReporter::SetStatisticValue(Statistic which, const std::string& value) {
    Record("value " + std::to_string(static_cast<int>(which)) + ": " + value);
}

void RecordingReporter::ShowStatistics(bool visible) {
    Record(visible ? "statistics shown" : "statistics hidden");
}

void RecordingReporter::SetPhaseLabel(const std::string& text) {
    Record("phase: " + text);
}

void RecordingReporter::SetProgress(ProgressBar bar, int position, const std::string& text) {
    Record("progress " + std::to_string(static_cast<int>(bar)) + ": " + std::to_string(position) +
           " " + text);
}

void RecordingReporter::ShowProgress(ProgressBar bar, bool visible) {
    Record("bar " + std::to_string(static_cast<int>(bar)) + (visible ? " shown" : " hidden"));
}

void RecordingReporter::ShowMessage(const std::string& text, MessageIcon icon) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
    }
    Record("message " + std::to_string(static_cast<int>(icon)) + ": " + text);
}

bool RecordingReporter::AskYesNo(const std::string& text) {
    Record("question: " + text);
    return answer;
}

void RecordingReporter::CarvedFileFinished(const CarvedFile& file) {
    {
        std::lock_guard lock(mutex_);
        carved_.push_back(file);
    }
    Record("carved: " + file.name);
}

std::vector<std::string> RecordingReporter::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> RecordingReporter::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<CarvedFile> RecordingReporter::CarvedFiles() const {
    std::lock_guard lock(mutex_);
    return carved_;
}

std::string RecordingReporter::LastStatus() const {
    std::lock_guard lock(mutex_);
    return lastStatus_;
}

}  // namespace lumarest::testing

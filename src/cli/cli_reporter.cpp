#include "cli/cli_reporter.h"

#include <ostream>

namespace lumarest {

CliReporter::CliReporter(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}

void CliReporter::EndProgressLine() {
    if (progressLineOpen_) {
        err_ << '\n';
        progressLineOpen_ = false;
    }
}

void CliReporter::SetStatusText(const std::string& text) {
    // Status lines are chatty; on a terminal the bar says enough, in a log they tell the story.
    if (!terminal_) {
        err_ << text << '\n';
    }
}

void CliReporter::SetPhaseLabel(const std::string& text) {
    // A phase that sets its label again as it moves on is still one phase.
    if (text.empty() || text == lastPhaseLabel_) {
        return;
    }
    lastPhaseLabel_ = text;
    EndProgressLine();
    err_ << text << '\n';
}

void CliReporter::SetProgress(ProgressBar, int position, const std::string& text) {
    if (!terminal_ || position == lastPosition_) {
        return;
    }
    lastPosition_ = position;
    constexpr int kWidth = 40;
    const int filled = position * kWidth / 100;
    err_ << '\r' << '[' << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << text << position
         << '%' << std::flush;
    progressLineOpen_ = true;
}

void CliReporter::ShowProgress(ProgressBar, bool visible) {
    if (!visible) {
        EndProgressLine();
        lastPosition_ = -1;
    }
}

void CliReporter::ShowMessage(const std::string& text, MessageIcon icon) {
    EndProgressLine();
    ++messages_;
    err_ << (icon == MessageIcon::Error ? "lumarest-cli: error: " : "lumarest-cli: ") << text
         << '\n';
}

bool CliReporter::AskYesNo(const std::string& text) {
    EndProgressLine();
    err_ << "lumarest-cli: " << text << " (answered No)\n";
    return false;
}

}  // namespace lumarest

#pragma once

#include <iosfwd>
#include <string>

#include "core/reporter.h"

namespace lumarest {

// Reports of the engines on the command line: status lines and messages on stderr, a progress
// bar when stderr is a terminal. Questions are answered No: nobody is there to say Yes.
class CliReporter : public Reporter {
  public:
    CliReporter(std::ostream& err, bool terminal);

    void SetStatusText(const std::string& text) override;
    void SetStatisticCaption(Statistic, const std::string&) override {}
    void SetStatisticValue(Statistic, const std::string&) override {}
    void ShowStatistics(bool) override {}
    void SetPhaseLabel(const std::string& text) override;
    void SetProgress(ProgressBar bar, int position, const std::string& text) override;
    void ShowProgress(ProgressBar, bool visible) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    bool AskYesNo(const std::string& text) override;
    void CarvedFileFinished(const CarvedFile&) override {}

    int MessageCount() const { return messages_; }

  private:
    void EndProgressLine();
    std::ostream& err_;
    bool terminal_;
    bool progressLineOpen_ = false;
    int lastPosition_ = -1;
    std::string lastPhaseLabel_;
    int messages_ = 0;
};

}  // namespace lumarest

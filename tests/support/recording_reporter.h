#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/reporter.h"

namespace lumarest::testing {

// Records every report as one line of text, so tests can check what a user would have seen.
class RecordingReporter : public Reporter {
  public:
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

    // The answer AskYesNo gives.
    bool answer = false;

    std::vector<std::string> Calls() const;
    std::vector<std::string> Messages() const;
    std::vector<CarvedFile> CarvedFiles() const;
    std::string LastStatus() const;

  private:
    void Record(std::string line);
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<std::string> messages_;
    std::vector<CarvedFile> carved_;
    std::string lastStatus_;
};

}  // namespace lumarest::testing

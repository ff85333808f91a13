#pragma once

#include <cstdint>
#include <string>

#include "core/carved_file.h"

namespace lumarest {

// The caption of every message box the system shows.
inline constexpr const char* kMessageCaption = "Lumarest";

enum class MessageIcon { None, Information, Warning, Error, Question };

enum class ProgressBar { MainScan, PartitionSearch, TreeLoading };

// The statistics panel: caption/value pairs shown while a search runs.
enum class Statistic {
    Drive,
    SectorRange,
    FileSystem,
    Criteria,
    DirectoriesFound,
    BootSectorsFound,
    SectorProgress,  // "Sectors  N of M" while a raw search runs
    SearchMethod     // which carving pass runs
};

// Everything an engine shows goes through here. The window carries each call to its own
// thread and waits; the command line prints to stderr; tests record the calls.
class Reporter {
  public:
    virtual ~Reporter() = default;

    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetStatisticCaption(Statistic which, const std::string& caption) = 0;
    virtual void SetStatisticValue(Statistic which, const std::string& value) = 0;
    virtual void ShowStatistics(bool visible) = 0;
    virtual void SetPhaseLabel(const std::string& text) = 0;
    // Position 0 to 100 and the text drawn on the bar.
    virtual void SetProgress(ProgressBar bar, int position, const std::string& text) = 0;
    virtual void ShowProgress(ProgressBar bar, bool visible) = 0;
    // A modal box captioned "Lumarest".
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    // A Yes/No question with No as the default; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual void CarvedFileFinished(const CarvedFile& file) = 0;
};

// Swallows every report: for runs nobody watches.
class NullReporter : public Reporter {
  public:
    void SetStatusText(const std::string&) override {}
    void SetStatisticCaption(Statistic, const std::string&) override {}
    void SetStatisticValue(Statistic, const std::string&) override {}
    void ShowStatistics(bool) override {}
    void SetPhaseLabel(const std::string&) override {}
    void SetProgress(ProgressBar, int, const std::string&) override {}
    void ShowProgress(ProgressBar, bool) override {}
    void ShowMessage(const std::string&, MessageIcon) override {}
    bool AskYesNo(const std::string&) override { return false; }
    void CarvedFileFinished(const CarvedFile&) override {}
};

}  // namespace lumarest

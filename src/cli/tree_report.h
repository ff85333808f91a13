#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/tree_listing.h"
#include "core/new_file.h"
#include "core/reporter.h"

namespace lumarest {

struct CliContext;
class JsonStream;
class SectorSource;

using TextRow = std::vector<std::string>;
// The cells of row `index` of a table, made when they are needed: a table of many thousand
// files is never held as text all at once.
using RowCells = std::function<TextRow(std::size_t index)>;

// Prints a table whose columns are as wide as their widest cell (as a terminal shows it),
// two spaces apart, under the captions.
void PrintTable(std::ostream& out, const TextRow& captions, std::size_t rowCount,
                const RowCells& rowCells);

// Passes every report on to the command line's reporter, and notes when each phase of the
// search began and whether the engines refused the volume with an error box.
class SearchWatch : public Reporter {
  public:
    using Clock = std::chrono::steady_clock;

    explicit SearchWatch(Reporter& inner) : inner_(inner), started_(Clock::now()) {}

    void SetStatusText(const std::string& text) override { inner_.SetStatusText(text); }
    void SetStatisticCaption(Statistic which, const std::string& caption) override {
        inner_.SetStatisticCaption(which, caption);
    }
    void SetStatisticValue(Statistic which, const std::string& value) override {
        inner_.SetStatisticValue(which, value);
    }
    void ShowStatistics(bool visible) override { inner_.ShowStatistics(visible); }
    void SetPhaseLabel(const std::string& text) override {
        if (!text.empty() && (labels_.empty() || labels_.back().first != text)) {
            labels_.emplace_back(text, Clock::now());
        }
        inner_.SetPhaseLabel(text);
    }
    void SetProgress(ProgressBar bar, int position, const std::string& text) override {
        inner_.SetProgress(bar, position, text);
    }
    void ShowProgress(ProgressBar bar, bool visible) override { inner_.ShowProgress(bar, visible); }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        refused_ = refused_ || icon == MessageIcon::Error;
        inner_.ShowMessage(text, icon);
    }
    bool AskYesNo(const std::string& text) override { return inner_.AskYesNo(text); }
    void CarvedFileFinished(const CarvedFile& file) override { inner_.CarvedFileFinished(file); }

    bool Refused() const { return refused_; }
    Clock::time_point Started() const { return started_; }
    // When the first phase with a label began, if one did.
    std::optional<Clock::time_point> FirstPhaseStart() const {
        if (labels_.empty()) {
            return std::nullopt;
        }
        return labels_.front().second;
    }
    // When the phase with this label began, if it did.
    std::optional<Clock::time_point> PhaseStart(const std::string& label) const {
        for (const auto& [text, when] : labels_) {
            if (text == label) {
                return when;
            }
        }
        return std::nullopt;
    }

  private:
    Reporter& inner_;
    Clock::time_point started_;
    std::vector<std::pair<std::string, Clock::time_point>> labels_;
    bool refused_ = false;
};

// What a rebuilt-tree listing starts with and is said to be of.
struct TreeReportOptions {
    // Save every folder and file of the tree below this folder before listing it.
    std::optional<std::string> saveFolder;
    // That folder as opened and checked: the files are written into this very one.
    const FolderHandle* destination = nullptr;
    // The members the JSON document starts with, before "folders".
    std::function<void(JsonStream&)> head;
    // What the summary line on stderr names: "partition 1 (FAT32) of disk 0".
    std::string subject;
    // Which folders and files are listed and saved: all, or only the deleted or the live ones.
    RowFilter only = RowFilter::All;
};

struct TreeReportResult {
    int status = 0;
    double listingSeconds = 0;  // walking the built tree (with --json, writing it too)
};

// Lists the run's rebuilt tree on the context's output, as text or one JSON document: every
// folder with its path from "Root", its own and its parent's number and whether it is deleted,
// then every file with its folder's path, name, type, size, date, time, where it lies (FAT:
// first cluster; NTFS: record number and the record's sector, in the disk's unit) and whether
// it is deleted (FAT: and truncated, its size running past what is left of it; NTFS: and name
// only, known from its folder's index alone, nothing of its data left). A filter leaves
// out the rows whose deleted mark it does not keep, from the listing and from what is saved (a
// saved folder then holds a kept file). With a save folder the tree is saved first (a name taken
// already is renamed) and a summary follows. The summary on stderr, and the JSON's "counts",
// count the whole tree with its deleted folders and files. Ctrl+C or SIGTERM during the save
// stops it: the file being written is removed, what was saved is summed up and the status is
// 130. Status 2 when files could not be written or the saving stopped for want of room.
TreeReportResult ReportRebuiltTree(CliContext& context, SectorSource& disk,
                                   const TreeReportOptions& options);

}  // namespace lumarest

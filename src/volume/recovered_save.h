#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "core/file_ref.h"
#include "core/new_file.h"
#include "core/tree_model.h"

namespace lumarest {

struct RecoveryRun;
class SectorSource;

// One folder or file picked for saving. Folders come before what they hold.
struct SaveEntry {
    // Below the destination, "/" between the parts; each part is the recovered name made safe
    // for a file name (as PlainFileName makes it, cut to a file name's length).
    std::string relativePath;
    bool folder = false;
    // What identifies a file on the volume; for a folder, only its tree item (for its time).
    FileRef file;
};

// A recovered name as one part of a saved path.
std::string SafeNamePart(const std::string& name);

// The folder `item` of the run's folder tree as the top of what is saved, with every folder
// below it and every file of each (listed as the file list lists them). The top item ("Root")
// gives its children, each as a top. The file system's own files and folders (NTFS records 0
// to 15 and all inside $Extend) are left out, unless `item` is one of them or lies inside one.
std::vector<SaveEntry> CollectFolderEntries(RecoveryRun& run, SectorSource& disk, TreeItem item);

// Every folder of the run's folder tree whose check box is checked, with its files, kept in
// their folder paths from "Root"; a folder that is only partly checked gives its checked
// children. Nothing when no box is checked. The file system's own files and folders are left
// out.
std::vector<SaveEntry> CollectCheckedEntries(RecoveryRun& run, SectorSource& disk);

// The row (file or folder) is one of the file system's own, which saving every row leaves out.
bool IsVolumeOwnRow(RecoveryRun& run, SectorSource& disk, const FileRef& file);

// A single row of the file list (its name and what it stands for), saved under its own name.
SaveEntry FileRowEntry(const std::string& name, const FileRef& file);

// What the saving asks the user, and what it shows while it runs.
class SaveDecisions {
  public:
    enum class Replace { Overwrite, Rename, Skip, Cancel };
    enum class WriteError { Abort, Skip, SkipAll };

    virtual ~SaveDecisions() = default;
    // A file of that name is already at `path`; `renamed` is the name Rename would give.
    // Setting `applyToAll` answers every later clash the same way.
    virtual Replace AskReplace(const std::string& path, const std::string& renamed,
                               bool& applyToAll) = 0;
    virtual WriteError AskWriteError(const std::string& path) = 0;
    // Called before each entry; true stops the saving.
    virtual bool Progress(std::size_t done, std::size_t total, const std::string& path) = 0;
};

// Answers every question alike: for scripts and tests.
class FixedSaveDecisions : public SaveDecisions {
  public:
    explicit FixedSaveDecisions(Replace replace = Replace::Rename,
                                WriteError writeError = WriteError::Skip)
        : replace_(replace), writeError_(writeError) {}
    Replace AskReplace(const std::string&, const std::string&, bool& applyToAll) override {
        applyToAll = true;
        return replace_;
    }
    WriteError AskWriteError(const std::string&) override { return writeError_; }
    bool Progress(std::size_t, std::size_t, const std::string&) override { return false; }

  private:
    Replace replace_;
    WriteError writeError_;
};

struct SaveSummary {
    std::size_t saved = 0;
    std::size_t incomplete = 0;  // written with what could be found, short of the size
    std::size_t skipped = 0;
    std::size_t failed = 0;
    std::size_t deleted = 0;  // of the files saved, whole or in part, those that were deleted
    // Of those, the ones whose size runs past what is left of them on the disk.
    std::size_t truncated = 0;
    // Files known by their name only, not written: nothing of their data is left.
    std::size_t nameOnly = 0;
    bool stopped = false;  // cancelled, aborted, stopped through Progress or for want of room
    // Why the saving stopped before a file the destination's disk had no room for; empty
    // otherwise.
    std::string noRoom;
};

// Writes the entries into the open folder `destination` (opened and checked as the
// destination; `shownDestination` names it in questions): folders are made, files written with
// the data recovery finds for them. The source disk is only read. Before each file the room it
// needs (its data, not its holes) is compared with what the destination's disk has free; when
// it does not fit, the saving stops there, keeping what was saved. Once `stop` is requested the
// saving ends, between entries or inside a file's write; the file being written is removed.
SaveSummary SaveEntries(RecoveryRun& run, SectorSource& disk, const std::vector<SaveEntry>& entries,
                        const FolderHandle& destination, const std::string& shownDestination,
                        SaveDecisions& decisions, std::stop_token stop = {});

// The same below the folder at `destination`, opened here once.
SaveSummary SaveEntries(RecoveryRun& run, SectorSource& disk, const std::vector<SaveEntry>& entries,
                        const std::string& destination, SaveDecisions& decisions);

}  // namespace lumarest

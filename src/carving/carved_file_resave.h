#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/carved_file.h"
#include "core/new_file.h"

namespace lumarest {

class SectorSource;

// The bytes a carved file is saved with: up to where its format says it ends, else all that was
// carved (a scan that does not know the end leaves savedBytes at 0).
std::uint64_t BytesToSave(const CarvedFile& file);

// The first BytesToSave(file) bytes of `disk` from the file's first sector; false when a sector
// of them cannot be read.
bool ReadCarvedFile(SectorSource& disk, const CarvedFile& file, std::vector<std::uint8_t>& bytes);

// What saving files of an earlier search came to, by file name.
struct ResaveSummary {
    std::uint64_t saved = 0;
    std::vector<std::string> unreadable;
    std::vector<std::string> unwritten;
    bool stopped = false;
    // Why the saving stopped before a file the folder's disk had no room for; empty otherwise.
    std::string noRoom;
};

// Saves files found by an earlier search into `folder` (opened and checked as the destination,
// named `shownFolder` in the saved paths), read again from `disk`, under their
// carved names and never over a file already there. A file that cannot be read or written is
// named in the summary and the others are still saved. `progress` hears (done, total) after
// each file; `stop` ends the saving between two files, and a file the folder's disk has no
// room for ends it before that file. `nameByDate` names each file that says when it was taken
// by that moment instead (SavingSink::NameByDate).
ResaveSummary ResaveCarvedFiles(const std::vector<CarvedFile>& files, SectorSource& disk,
                                FolderHandle folder, const std::string& shownFolder,
                                const std::function<void(std::size_t, std::size_t)>& progress,
                                std::stop_token stop, bool nameByDate = false);

}  // namespace lumarest

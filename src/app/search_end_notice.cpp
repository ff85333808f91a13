// The texts that end a search in the window: what was searched, what was found or kept, and
// what the user can do next on the page they are left on.

#include "app/search_end_notice.h"

#include <algorithm>

#include "app/wizard_texts.h"

namespace lumarest {
namespace {

constexpr const char* kCompletedHeading =
    "Searching of files in specified disk sectors range is completed.";
constexpr const char* kStoppedHeading = "Searching of files was stopped.";
constexpr const char* kChooseAnotherSearch =
    "The Advance search looks for file systems that no partition describes any more, and the "
    "Raw search finds files by their leading bytes: press ‘Back’ to choose one of them.";
constexpr const char* kRestOfRangeUnsearched =
    "The sectors after the stop were not searched: they may hold more.";

std::string Thousands(std::size_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), 1, ' ');
    }
    return digits;
}

std::string Counted(std::size_t count, const char* one, const char* many) {
    return Thousands(count) + ' ' + (count == 1 ? one : many);
}

std::string RangeText(SearchedRange range) {
    return "sectors " + std::to_string(range.first) + " to " + std::to_string(range.last);
}

std::string SearchedLine(SearchedRange range, bool stopped) {
    return stopped ? "The search of " + RangeText(range) + " was stopped before its end. "
                   : "Searched " + RangeText(range) + ". ";
}

}  // namespace

SearchedRange RangeOfSectors(std::int64_t first, std::int64_t last) {
    const auto sector = [](std::int64_t value) {
        return static_cast<std::uint64_t>(std::max<std::int64_t>(value, 0));
    };
    return {sector(first), sector(last)};
}

std::string FolderCountsText(const FolderCounts& counts) {
    return Counted(counts.folders, "folder below Root", "folders below Root") + " (" +
           Thousands(counts.deletedFolders) + " deleted), " +
           Counted(counts.files, "file", "files") + " (" + Thousands(counts.deletedFiles) +
           " deleted)";
}

SearchEndNotice StandardSearchEnded(SearchedRange range, const FolderCounts& counts, bool stopped) {
    SearchEndNotice notice{stopped ? kStoppedHeading : kCompletedHeading, {}};
    const bool found = counts.folders > 0 || counts.files > 0;
    if (!found) {
        notice.lines.push_back(SearchedLine(range, stopped) + "No folders or files were found.");
        notice.lines.emplace_back(kChooseAnotherSearch);
        return notice;
    }
    notice.lines.push_back(SearchedLine(range, stopped) +
                           (stopped ? "What it found is kept: " : "Found: ") +
                           FolderCountsText(counts) + ".");
    if (stopped) {
        notice.lines.emplace_back(kRestOfRangeUnsearched);
    }
    notice.lines.emplace_back(texts::kSelectFilesStatus);
    return notice;
}

SearchEndNotice AdvanceSearchEnded(SearchedRange range, std::size_t volumesFound, bool stopped) {
    SearchEndNotice notice{stopped ? kStoppedHeading : kCompletedHeading, {}};
    if (volumesFound == 0) {
        notice.lines.push_back(SearchedLine(range, stopped) +
                               "No FAT16, FAT32, NTFS or exFAT file system was found.");
        notice.lines.emplace_back(
            "The Raw search finds files by their leading bytes, with no file system: press "
            "‘Back’ to choose it.");
        return notice;
    }
    notice.lines.push_back(SearchedLine(range, stopped) +
                           (stopped ? "Kept from before the stop: " : "Found: ") +
                           Counted(volumesFound, "file system", "file systems") + ".");
    if (stopped) {
        notice.lines.emplace_back(kRestOfRangeUnsearched);
    }
    notice.lines.emplace_back(
        "Select a file system in the left panel and press ‘Next’ to rebuild its folders.");
    return notice;
}

SearchEndNotice RawSearchStopped(SearchedRange range, std::size_t filesFound) {
    SearchEndNotice notice{kStoppedHeading, {}};
    if (filesFound == 0) {
        notice.lines.push_back(SearchedLine(range, true) + "No files had been found.");
        return notice;
    }
    notice.lines.push_back(SearchedLine(range, true) +
                           "What it found is kept: " + Counted(filesFound, "file", "files") + ".");
    notice.lines.emplace_back(kRestOfRangeUnsearched);
    notice.lines.emplace_back(
        "Select the files to keep and press ‘Save’, or press ‘Back’ to search again.");
    return notice;
}

}  // namespace lumarest

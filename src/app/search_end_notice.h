#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tree/folder_counts.h"

namespace lumarest {

// What the box at the end of a Standard, Advance or stopped Raw search says: a bold first
// line, then the lines below it.
struct SearchEndNotice {
    std::string heading;
    std::vector<std::string> lines;
};

// The sectors a search covered, first and last included.
struct SearchedRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// The range from the window's signed sector numbers; a negative one counts as sector 0.
SearchedRange RangeOfSectors(std::int64_t first, std::int64_t last);

// "9 folders below Root (2 deleted), 28 files (6 deleted)", thousands apart with a space.
std::string FolderCountsText(const FolderCounts& counts);

// A Standard search that ran to its end or was stopped: what it found and where to go on.
SearchEndNotice StandardSearchEnded(SearchedRange range, const FolderCounts& counts, bool stopped);

// An Advance search's first phase that ran to its end or was stopped.
SearchEndNotice AdvanceSearchEnded(SearchedRange range, std::size_t volumesFound, bool stopped);

// A Raw search stopped before the end of its range; one that ends is told by the advice box.
SearchEndNotice RawSearchStopped(SearchedRange range, std::size_t filesFound);

}  // namespace lumarest

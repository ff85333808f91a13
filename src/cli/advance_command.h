#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/tree_listing.h"

namespace lumarest {

struct CliContext;

// What `advance` was asked for.
struct AdvanceSearchOptions {
    int diskNumber = -1;
    std::optional<int> partitionNumber;  // 1-based, as `partitions` lists them
    std::optional<std::uint64_t> firstSector;
    std::optional<std::uint64_t> lastSector;  // the first sector after the range
    // "FAT16", "FAT32" or "NTFS"; a partition's own when not given.
    std::optional<std::string> fileSystem;
    std::optional<int> volumeNumber;  // 1-based, as the volume list numbers them
    std::optional<std::string> saveFolder;
    std::optional<std::string> oemCodePage;
    bool timings = false;  // print how long each phase took on stderr
    // List (and save) only the deleted or only the live folders and files.
    RowFilter only = RowFilter::All;
};

// Runs the Advance search of a listed partition, a sector range or the whole disk for file
// systems of one kind that nothing describes any more, and lists the volumes found with their
// layout. With a volume number, that volume's folder tree is rebuilt and listed (and saved) as
// `standard` lists it. Exit status 2 on an unknown or unreadable disk, a partition the disk does
// not list, a range it does not hold, an unknown file system, a volume the search did not
// find, or a save folder that is missing, lies on the disk being read or could not take files.
int RunAdvanceCommand(CliContext& context, const AdvanceSearchOptions& options);

}  // namespace lumarest

#pragma once

#include <optional>
#include <string>

#include "cli/tree_listing.h"

namespace lumarest {

struct CliContext;

// What `standard` was asked for.
struct StandardSearchOptions {
    int diskNumber = -1;
    int partitionNumber = 0;  // 1-based, as `partitions` lists them
    bool timings = false;     // print how long each phase took on stderr
    // Save every folder and file of the rebuilt tree below this folder.
    std::optional<std::string> saveFolder;
    // The code page FAT short names are read in; CP437 when not given.
    std::optional<std::string> oemCodePage;
    // List (and save) only the deleted or only the live folders and files.
    RowFilter only = RowFilter::All;
};

// Runs the Standard search of one listed partition (FAT16, FAT32, NTFS or exFAT) and prints the
// rebuilt tree: every folder with its path from "Root", its own and its parent's number and
// whether it is deleted, then every file with its folder's path, name, type, size, date, time,
// where it lies (FAT: first cluster; NTFS: record number and the record's sector) and whether it
// is deleted; as text or one JSON document. With a save folder, the whole tree is saved there
// too (a name taken already is renamed) and a summary follows the listing. Exit status 2 on an
// unknown or unreadable disk, an unknown code page, a partition the disk does not list, a save
// folder that is missing or lies on the disk being read, or files the save folder could not take.
int RunStandardCommand(CliContext& context, const StandardSearchOptions& options);

}  // namespace lumarest

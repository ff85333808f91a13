#pragma once

#include <cstddef>

namespace lumarest {

struct RecoveryRun;
class SectorSource;

// How many folders and files a rebuilt volume holds, and how many of each are deleted.
struct FolderCounts {
    std::size_t folders = 0;
    std::size_t deletedFolders = 0;
    std::size_t files = 0;
    std::size_t deletedFiles = 0;
};

// Counts every folder of run.folderTree below Root and every file each folder lists, as the
// file list would show them, the orphan folder's files included. Root and the orphan folder
// are places the tree puts things in, not folders found on the volume: neither is counted.
// A folder is deleted when it or a folder above it is; a file when its entry is. Reads each
// folder's directory (FAT) or the file table (NTFS): run it off the window's thread.
FolderCounts CountFolderContents(RecoveryRun& run, SectorSource& disk);

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "core/reporter.h"
#include "core/sector_source.h"
#include "exfat/entry_set.h"
#include "exfat/exfat_layout.h"

namespace lumarest {

// The root folder's id, whatever its cluster.
inline constexpr std::uint32_t kExFatRootFolderId = 0;

struct ExFatFolder {
    std::uint32_t id = 0;
    std::uint32_t parentId = 0;
    ExFatEntrySet entry;
};
struct ExFatFile {
    std::uint32_t folderId = 0;
    ExFatEntrySet entry;
};
struct ExFatTree {
    std::vector<ExFatFolder> folders;  // every folder but the root, parents before children
    std::vector<ExFatFile> files;      // in directory order per folder
    std::string problem;               // non-empty when part of the volume could not be read
};

// Walks from the root: live and deleted entry sets; deleted folders are followed. A folder's
// id is its first cluster; a second folder claiming a cluster already walked (or one outside
// the heap) is listed but not walked, so no loop is followed. Such a folder gets an id no
// cluster of the volume has, which no file or folder names as its parent. Then,
// unless stopped, scans the cluster heap for clusters of entry sets that no walked folder owns
// (a deleted subtree, a damaged root) and adds them as folders named "" whose id is their first
// cluster and whose parent is kOrphanFolderId; their own subfolders are walked under them.
ExFatTree WalkExFatVolume(SectorSource& disk, const ExFatLayout& layout, Reporter& reporter,
                          std::stop_token stop);

}  // namespace lumarest

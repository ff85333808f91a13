#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/tree_model.h"

namespace lumarest {

// What identifies one row of the file list on the rebuilt volume, kept beside the row so that
// opening and saving never read the shown cells back.
struct FileRef {
    // A folder row: the folder's item in the folder tree. kNoItem for a file row.
    TreeItem folderItem = kNoItem;
    std::uint64_t size = 0;  // the size the list shows
    // FAT: where the file's cluster chain starts, and whether its entry was deleted (its chain
    // freed).
    std::uint32_t firstCluster = 0;
    bool deleted = false;
    // FAT, deleted: where the next deleted entry of its folder begins (its data ends before;
    // 0: none), and whether its size runs past the free clusters up to there, so that only
    // part of it can be saved.
    std::uint32_t nextStart = 0;
    bool truncated = false;
    // NTFS: the sector the file's record lies in, and the record's own number.
    std::uint64_t recordSector = 0;
    std::uint32_t recordNumber = 0;
    // NTFS, deleted: only a folder's index still names it; no record holds its data, so
    // nothing of it can be saved.
    bool nameOnly = false;
    // exFAT: the file's entry set among those the volume's walk found.
    std::size_t entryIndex = 0;
    // FAT: the entry's last write, seconds since 1970 (UTC); nothing when its date does not
    // convert. NTFS reads it from the file's record when asked (RebuiltVolume::LastWrite).
    std::optional<std::int64_t> lastWrite;

    bool IsFolder() const { return folderItem != kNoItem; }
};

}  // namespace lumarest

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/folder_nodes.h"
#include "core/reporter.h"
#include "core/text_table.h"
#include "core/tree_model.h"

namespace lumarest {

struct RecoveryRun;

// Columns of a FolderTable or FileTable row, in their fixed order.
enum EntryColumn : std::size_t {
    kEntryName = 0,
    kEntrySector,
    kEntrySelf,
    kEntryParent,
    kEntryDate,
    kEntryTime,
    kEntrySize,
    kEntryAttr,
    kEntrySysId,
    kEntryType,
    kEntryDeleted,
};

// "self" of the orphan folder, and "parent" of every folder whose parent was not found.
inline constexpr std::uint32_t kOrphanFolderId = 268435455;
inline constexpr const char* kOrphanFolderName = "LMR_Miscellaneous";
inline constexpr std::uint32_t kFatRootId = 0;
inline constexpr std::uint32_t kNtfsRootId = 5;
inline constexpr const char* kFolderType = "FOLDER";
inline constexpr const char* kFileType = "FILE";
// A deleted file known only by a name its folder's index kept: no record holds its data now.
inline constexpr const char* kNameOnlyFileType = "NAME";
inline constexpr const char* kDeletedMarkText = "1";
inline constexpr std::uint32_t kDirectoryAttribute = 16;
// The closed-folder picture of the folder tree.
inline constexpr int kClosedFolderImage = 4;
inline constexpr int kUncheckedState = 1;

// One row of an entry table, before it becomes text.
struct RecoveredEntry {
    std::string name;
    std::uint64_t sector = 0;
    std::uint32_t self = 0;
    std::uint32_t parent = 0;
    std::int64_t date = 0;
    std::int64_t time = 0;
    std::uint32_t size = 0;
    std::uint32_t attr = 0;
    std::string type = kFolderType;
    bool deleted = false;
};

// Appends the row and returns its index.
std::size_t AppendEntryRow(TextTable& table, const RecoveredEntry& entry);

// The "LMR_Miscellaneous" row every folder table starts with; `rootId` is its parent.
std::size_t AppendOrphanFolderRow(TextTable& table, std::uint32_t rootId);

// Only the exact text "1" marks a row deleted.
bool IsDeletedRow(const TextTable& table, std::size_t row);

bool IsNameOnlyRow(const TextTable& table, std::size_t row);

bool IsFolderRow(const TextTable& table, std::size_t row);

// Gives every row whose parent is neither `rootId` nor the "self" of a row from `firstRow` on,
// or is the row itself, the orphan folder as its parent. Shows its progress on `bar`.
void ReattachOrphans(TextTable& table, Reporter& reporter, ProgressBar bar, std::uint32_t rootId,
                     std::size_t firstRow);

// Adds a folder under `parentItem` (after its last child) with an unchecked box, and its node
// at the end of the list. Returns the new item.
TreeItem AddFolderNode(TreeModel& tree, FolderNodeList& nodes, TreeItem parentItem,
                       const std::string& name, std::uint32_t selfId, std::int64_t date,
                       std::int64_t time, std::uint32_t parentId, bool deleted);

// The same on the run's folder tree, made when it does not exist yet.
TreeItem AddFolderNode(RecoveryRun& run, TreeItem parentItem, const std::string& name,
                       std::uint32_t selfId, std::int64_t date, std::int64_t time,
                       std::uint32_t parentId, bool deleted);

}  // namespace lumarest

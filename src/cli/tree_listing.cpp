#include "cli/tree_listing.h"

#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cli/terminal_text.h"
#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/text_number.h"
#include "tree/folder_tree_build.h"
#include "tree/folder_tree_events.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {

namespace {

std::string FolderPath(const TreeModel& tree, TreeItem item) {
    if (item == tree.TopItem()) {
        return kRootText;
    }
    return std::string(kRootText) + "\\" + ItemPath(tree, item);
}

// The text as the listing shows it; most names need no escaping and are not copied.
std::string_view ShownText(std::string_view text, std::string& scratch) {
    if (IsPlainTerminalText(text)) {
        return text;
    }
    scratch = TerminalText(text);
    return scratch;
}

}  // namespace

std::size_t WalkTree(RecoveryRun& run, SectorSource& disk, const ListedFolderVisitor& visitFolder,
                     const ListedFileVisitor& visitFile) {
    if (!run.folderTree || run.folderTree->TopItem() == kNoItem) {
        return 0;
    }
    const TreeModel& tree = *run.folderTree;
    const std::unique_ptr<RebuiltVolume> volume = OpenRebuiltVolume(run, disk);
    const bool ntfs = volume && volume->Kind() == FileSystem::Ntfs;
    const std::uint32_t rootId = ntfs ? kNtfsRootId : kFatRootId;
    // Counts the files of folders the tree does not hold.
    std::unordered_map<std::uint32_t, std::size_t> ntfsFilesByFolder;
    if (ntfs && visitFile) {
        for (std::size_t r = 0; r < run.fileTable.RowCount(); ++r) {
            ++ntfsFilesByFolder[run.fileTable.CellU32(r, kEntryParent)];
        }
    }
    std::unordered_set<std::uint32_t> listedFolders;
    // Each folder with whether a folder above it is deleted.
    std::vector<std::pair<TreeItem, bool>> pending{{tree.TopItem(), false}};
    while (!pending.empty()) {
        const auto [item, insideDeleted] = pending.back();
        pending.pop_back();
        const FolderNode* node = run.folderNodes.FindByItem(item);
        ListedFolder folder{FolderPath(tree, item), item, rootId, rootId, insideDeleted, false};
        if (node != nullptr && item != tree.TopItem()) {
            folder.self = node->selfId;
            folder.parent = node->parentId;
            folder.deleted = insideDeleted || node->deleted;
            folder.ofVolume = node->selfId != kOrphanFolderId;
        }
        if (visitFolder) {
            visitFolder(folder);
        }
        if (visitFile) {
            listedFolders.insert(folder.self);
            if (volume) {
                ListedFile listed;
                volume->ForEachFile(folder.self, [&](const FileListRow& row, const FileRef& file) {
                    listed.row = row;
                    listed.file = file;
                    visitFile(folder, listed);
                });
            }
        }
        const std::vector<TreeItem>& children = tree.Children(item);
        for (auto child = children.rbegin(); child != children.rend(); ++child) {
            pending.emplace_back(*child, folder.deleted);
        }
    }
    std::size_t unplaced = 0;
    for (const auto& [folderId, count] : ntfsFilesByFolder) {
        if (!listedFolders.contains(folderId)) {
            unplaced += count;
        }
    }
    return unplaced;
}

TreeListing::TreeListing(RecoveryRun& run, SectorSource& disk, RowFilter filter)
    : tree_(run.folderTree.get()) {
    std::string name;
    std::string type;
    std::string date;
    std::string time;
    unplacedFiles = WalkTree(
        run, disk,
        [&](const ListedFolder& folder) {
            counts.Count(folder);
            if (Keeps(filter, folder.deleted)) {
                folderRows_.push_back(static_cast<std::uint32_t>(folders_.size()));
            }
            folders_.push_back({folder.item, folder.self, folder.parent, folder.deleted});
        },
        [&](const ListedFolder&, const ListedFile& file) {
            counts.Count(file.file);
            if (!Keeps(filter, file.file.deleted)) {
                return;
            }
            const FileListRow& row = file.row;
            files_.push_back({texts_.Append({ShownText(row.name, name), ShownText(row.type, type),
                                             ShownText(row.date, date), ShownText(row.time, time)}),
                              static_cast<std::uint32_t>(folders_.size() - 1), file.file});
        });
}

std::string_view TreeListing::FolderPath(std::size_t index) const {
    if (index != pathFolder_) {
        path_ = tree_ != nullptr && index < folders_.size()
                    ? TerminalText(lumarest::FolderPath(*tree_, folders_[index].item))
                    : std::string();
        pathFolder_ = index;
    }
    return path_;
}

ListedFolderView TreeListing::Folder(std::size_t index) const {
    const std::uint32_t row = folderRows_.at(index);
    const PackedFolder& folder = folders_[row];
    return {FolderPath(row), folder.self, folder.parent, folder.deleted};
}

ListedFileView TreeListing::File(std::size_t index) const {
    const PackedFile& packed = files_.at(index);
    texts_.Read(packed.texts, fileTexts_);
    return {FolderPath(packed.folder),
            fileTexts_[0],
            fileTexts_[1],
            fileTexts_[2],
            fileTexts_[3],
            &packed.file};
}

}  // namespace lumarest

#include "cli/tree_listing.h"

#include <array>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/text_number.h"
#include "fat/folder_tree_build.h"
#include "fat/folder_tree_events.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {

namespace {

constexpr std::size_t kPackedTextCount = 4;

std::string FolderPath(const TreeModel& tree, TreeItem item) {
    if (item == tree.TopItem()) {
        return kRootText;
    }
    return std::string(kRootText) + "\\" + ItemPath(tree, item);
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
    std::vector<TreeItem> pending{tree.TopItem()};
    while (!pending.empty()) {
        const TreeItem item = pending.back();
        pending.pop_back();
        const FolderNode* node = run.folderNodes.FindByItem(item);
        ListedFolder folder{FolderPath(tree, item), item, rootId, rootId, false};
        if (node != nullptr) {
            folder.self = node->selfId;
            folder.parent = node->parentId;
            folder.deleted = node->deleted;
        }
        if (visitFolder) {
            visitFolder(folder);
        }
        if (visitFile) {
            listedFolders.insert(folder.self);
            if (folder.self != kOrphanFolderId && volume) {
                ListedFile listed;
                volume->ForEachFile(folder.self, [&](const FileListRow& row, const FileRef& file) {
                    listed.row = row;
                    listed.file = file;
                    visitFile(folder, listed);
                });
            }
        }
        const std::vector<TreeItem>& children = tree.Children(item);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    std::size_t unplaced = 0;
    for (const auto& [folderId, count] : ntfsFilesByFolder) {
        if (!listedFolders.contains(folderId) || folderId == kOrphanFolderId) {
            unplaced += count;
        }
    }
    return unplaced;
}

TreeListing::TreeListing(RecoveryRun& run, SectorSource& disk) : tree_(run.folderTree.get()) {
    unplacedFiles = WalkTree(
        run, disk,
        [&](const ListedFolder& folder) {
            folders_.push_back({folder.item, folder.self, folder.parent, folder.deleted});
        },
        [&](const ListedFolder&, const ListedFile& file) {
            const FileListRow& row = file.row;
            files_.push_back({texts_.Append({row.name, row.type, row.date, row.time}),
                              static_cast<std::uint32_t>(folders_.size() - 1), file.file});
        });
}

const std::string& TreeListing::FolderPath(std::size_t index) const {
    if (index != pathFolder_) {
        path_ = tree_ != nullptr && index < folders_.size()
                    ? lumarest::FolderPath(*tree_, folders_[index].item)
                    : std::string();
        pathFolder_ = index;
    }
    return path_;
}

ListedFolder TreeListing::Folders::operator[](std::size_t index) const {
    const PackedFolder& folder = listing_.folders_.at(index);
    return {listing_.FolderPath(index), folder.item, folder.self, folder.parent, folder.deleted};
}

ListedFile TreeListing::Files::operator[](std::size_t index) const {
    const PackedFile& packed = listing_.files_.at(index);
    std::array<std::string_view, kPackedTextCount> texts;
    listing_.texts_.Read(packed.texts, texts);
    ListedFile file;
    file.folder = listing_.FolderPath(packed.folder);
    file.row.name = texts[0];
    file.row.type = texts[1];
    file.row.date = texts[2];
    file.row.time = texts[3];
    file.file = packed.file;
    return file;
}

}  // namespace lumarest

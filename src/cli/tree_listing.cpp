#include "cli/tree_listing.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/recovery_run.h"
#include "core/text_number.h"
#include "fat/folder_tree_build.h"
#include "fat/folder_tree_events.h"
#include "fat/recovered_entries.h"
#include "output/fat_file_rows.h"
#include "output/ntfs_file_rows.h"

namespace lumarest {

namespace {

constexpr const char* kNtfsName = "NTFS";
constexpr std::size_t kPackedTextCount = 4;

std::string FolderPath(const TreeModel& tree, TreeItem item) {
    if (item == tree.TopItem()) {
        return kRootText;
    }
    return std::string(kRootText) + "\\" + ItemPath(tree, item);
}

void ListFatFiles(RecoveryRun& run, SectorSource& disk, const ListedFolder& folder,
                  const ListedFileVisitor& visit) {
    ListedFile file;
    ForEachFatFile(run, disk, folder.self, [&](const FatFileFacts& facts, FileTypeWording wording) {
        file.row = FatFileRow(facts, wording);
        file.size = facts.size;
        file.firstCluster = facts.firstCluster;
        file.deleted = facts.deleted;
        visit(folder, file);
    });
}

using RowsByFolder = std::unordered_map<std::uint32_t, std::vector<std::size_t>>;

RowsByFolder NtfsRowsByFolder(const TextTable& fileTable) {
    RowsByFolder rows;
    for (std::size_t r = 0; r < fileTable.RowCount(); ++r) {
        rows[fileTable.CellU32(r, kEntryParent)].push_back(r);
    }
    return rows;
}

void ListNtfsFiles(const TextTable& fileTable, const RowsByFolder& rowsByFolder,
                   const ListedFolder& folder, const ListedFileVisitor& visit) {
    const auto found = rowsByFolder.find(folder.self);
    if (found == rowsByFolder.end()) {
        return;
    }
    ListedFile file;
    for (const std::size_t r : found->second) {
        file.row = NtfsFileRow(fileTable, r, folder.self);
        file.size =
            static_cast<std::uint64_t>(std::max<std::int64_t>(0, ParseTextNumber(file.row.size)));
        file.record = ParseTextU32(file.row.debugInfo3);
        file.recordSector = static_cast<std::uint64_t>(
            std::max<std::int64_t>(0, ParseTextNumber(file.row.debugInfo1)));
        file.deleted = IsDeletedRow(fileTable, r);
        visit(folder, file);
    }
}

}  // namespace

std::size_t WalkTree(RecoveryRun& run, SectorSource& disk, const ListedFolderVisitor& visitFolder,
                     const ListedFileVisitor& visitFile) {
    if (!run.folderTree || run.folderTree->TopItem() == kNoItem) {
        return 0;
    }
    const TreeModel& tree = *run.folderTree;
    const bool ntfs = run.activeVolume.fsName == kNtfsName;
    const std::uint32_t rootId = ntfs ? kNtfsRootId : kFatRootId;
    RowsByFolder rowsByFolder;
    if (ntfs && visitFile) {
        rowsByFolder = NtfsRowsByFolder(run.fileTable);
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
            if (folder.self != kOrphanFolderId) {
                if (ntfs) {
                    ListNtfsFiles(run.fileTable, rowsByFolder, folder, visitFile);
                } else {
                    ListFatFiles(run, disk, folder, visitFile);
                }
            }
        }
        const std::vector<TreeItem>& children = tree.Children(item);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    std::size_t unplaced = 0;
    for (const auto& [folderId, rows] : rowsByFolder) {
        if (!listedFolders.contains(folderId) || folderId == kOrphanFolderId) {
            unplaced += rows.size();
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
            files_.push_back({texts_.Append({row.name, row.type, row.date, row.time}), file.size,
                              file.recordSector, static_cast<std::uint32_t>(folders_.size() - 1),
                              file.firstCluster, file.record, file.deleted});
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
    file.size = packed.size;
    file.firstCluster = packed.firstCluster;
    file.record = packed.record;
    file.recordSector = packed.recordSector;
    file.deleted = packed.deleted;
    return file;
}

}  // namespace lumarest

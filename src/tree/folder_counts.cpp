#include "tree/folder_counts.h"

#include <memory>
#include <vector>

#include "core/entry_rows.h"
#include "core/folder_nodes.h"
#include "core/recovery_run.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {

FolderCounts CountFolderContents(RecoveryRun& run, SectorSource& disk) {
    FolderCounts counts;
    if (!run.folderTree || run.folderTree->TopItem() == kNoItem) {
        return counts;
    }
    const TreeModel& tree = *run.folderTree;
    const std::unique_ptr<RebuiltVolume> volume = OpenRebuiltVolume(run, disk);
    const auto countFiles = [&](std::uint32_t folderId) {
        if (!volume) {
            return;
        }
        volume->ForEachFile(folderId, [&](const FileListRow&, const FileRef& file) {
            ++counts.files;
            counts.deletedFiles += file.deleted ? 1 : 0;
        });
    };
    if (volume) {
        countFiles(volume->RootFolderId());
    }
    // Depth first with the deleted flag carried down, so each folder is looked at once.
    std::vector<std::pair<TreeItem, bool>> pending;
    for (const TreeItem child : tree.Children(tree.TopItem())) {
        pending.emplace_back(child, false);
    }
    while (!pending.empty()) {
        const auto [item, insideDeleted] = pending.back();
        pending.pop_back();
        const FolderNode* node = run.folderNodes.FindByItem(item);
        if (node == nullptr) {
            continue;
        }
        const bool deleted = insideDeleted || node->deleted;
        if (node->selfId != kOrphanFolderId) {
            ++counts.folders;
            counts.deletedFolders += deleted ? 1 : 0;
        }
        countFiles(node->selfId);
        for (const TreeItem child : tree.Children(item)) {
            pending.emplace_back(child, deleted);
        }
    }
    return counts;
}

}  // namespace lumarest

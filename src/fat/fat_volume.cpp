#include "fat/fat_volume.h"

#include <algorithm>

#include "core/entry_rows.h"
#include "core/folder_nodes.h"
#include "core/recovery_run.h"
#include "fat/fat_file_data.h"
#include "fat/fat_file_rows.h"
#include "fat/fat_folder_tree.h"
#include "output/file_dates.h"

namespace lumarest {

FileSystem FatVolume::Kind() const {
    return run_.activeVolume.fileSystem.value_or(FileSystem::Fat32);
}

std::uint32_t FatVolume::RootFolderId() const {
    return kFatRootId;
}

void FatVolume::DateFolderRow(const FolderNode& node, FileListRow& row) const {
    row.date = FatDateText(static_cast<std::uint16_t>(node.date));
    row.time = FatTimeText(static_cast<std::uint16_t>(node.time));
}

void FatVolume::ForEachFile(std::uint32_t folderId, const VolumeFileVisitor& visit) {
    // The orphan folder gathers folders whose parent was lost: it has no directory of its own.
    if (folderId == kOrphanFolderId) {
        return;
    }
    ForEachFatFile(run_, disk_, folderId, [&](const FatFileFacts& facts, FileTypeWording wording) {
        FileRef file;
        file.size = facts.size;
        file.firstCluster = facts.firstCluster;
        file.deleted = facts.deleted;
        file.nextStart = facts.nextStart;
        file.truncated = facts.truncated;
        file.lastWrite = FatLocalTime(facts.dateWord, facts.timeWord);
        visit(FatFileRow(facts, wording), file);
    });
}

std::optional<std::int64_t> FatVolume::FolderLastWrite(const FolderNode& node) {
    return FatLocalTime(static_cast<std::uint16_t>(node.date),
                        static_cast<std::uint16_t>(node.time));
}

void FatVolume::NameChildFolders(const FolderNode& node) {
    NameChildrenFromDirectory(run_, disk_, node);
}

FatTable& FatVolume::Fat() {
    if (!fat_) {
        fat_.emplace(run_.activeVolume, disk_);
    }
    return *fat_;
}

RecoveredFileStatus FatVolume::WriteFile(const FileRef& file, std::ostream& out) {
    return WriteFatFileData(run_.activeVolume, disk_, Fat(),
                            {file.firstCluster, file.size, file.deleted, file.nextStart}, out);
}

std::uint64_t FatVolume::StoredBytes(const FileRef& file) {
    const FatFileClusters found =
        FindFatFileClusters(run_.activeVolume, disk_, Fat(),
                            {file.firstCluster, file.size, file.deleted, file.nextStart});
    const std::uint64_t clusterBytes =
        std::uint64_t{run_.activeVolume.sectorsPerCluster} * kSectorSize;
    return std::min<std::uint64_t>(file.size, found.Count() * clusterBytes);
}

}  // namespace lumarest

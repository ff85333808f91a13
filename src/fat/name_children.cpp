#include "fat/name_children.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/text_table.h"
#include "fat/fat_chain.h"

namespace lumarest {

LongNameSource VolumeNameSource(const RecoveryRun& run, SectorSource& disk) {
    LongNameSource source{&disk, static_cast<std::uint64_t>(
                                     std::max<std::int64_t>(run.selectedPartition.startSector, 0))};
    source.codePage = run.oemCodePage;
    return source;
}

bool ForEachNamedEntry(const LongNameSource& source, ByteSpan sector, std::uint64_t sectorNumber,
                       std::string_view fsName, const NamedEntryVisitor& visit) {
    for (std::size_t offset = 0; offset + kDirectoryEntrySize <= sector.size();
         offset += kDirectoryEntrySize) {
        const ByteSpan entry = EntryAt(sector, offset);
        if (IsEndOfDirectory(entry)) {
            return false;
        }
        if (IsSkippedEntry(entry)) {
            continue;
        }
        if (const auto name = EntryName(source, sector, offset, sectorNumber)) {
            visit(EntryFirstCluster(entry, fsName), *name);
        }
    }
    return true;
}

std::optional<bool> FolderNamePass::Deleted(std::uint32_t cluster, bool entryDeleted,
                                            bool deletedBefore) {
    Folder& folder = folders_.try_emplace(cluster, Folder{deletedBefore, false}).first->second;
    if (!entryDeleted) {
        folder.namedLive = true;
        return folder.deletedBefore;
    }
    if (folder.namedLive) {
        return std::nullopt;
    }
    return true;
}

int NameChildFolders(RecoveryRun& run, SectorSource& disk, std::uint64_t sector,
                     std::uint32_t parentSelfId) {
    std::array<std::uint8_t, kSectorSize> bytes{};
    // A sector that cannot be read reads as zeros: the end of the directory.
    disk.ReadSectors(sector, 1, bytes.data());
    FolderNamePass pass;
    return NameChildFoldersFrom(run, VolumeNameSource(run, disk),
                                ByteSpan(bytes.data(), bytes.size()), sector, parentSelfId, pass)
               ? 1
               : 0;
}

bool NameChildFoldersFrom(RecoveryRun& run, const LongNameSource& source, ByteSpan bytes,
                          std::uint64_t sector, std::uint32_t parentSelfId, FolderNamePass& pass) {
    return ForEachNamedEntry(
        source, bytes, sector, run.activeVolume.fsName,
        [&](std::uint32_t cluster, const EntryNameResult& name) {
            FolderNode* node = run.folderNodes.FindChild(cluster, parentSelfId);
            if (node == nullptr) {
                return;
            }
            const std::optional<bool> deleted = pass.Deleted(cluster, name.deleted, node->deleted);
            if (!deleted) {
                return;
            }
            node->name = name.name;
            if (run.folderTree && run.folderTree->Exists(node->treeItem)) {
                run.folderTree->SetText(node->treeItem, name.name);
            }
            node->deleted = *deleted;
        });
}

void NameRootFolders(RecoveryRun& run, SectorSource& disk, TextTable& table,
                     const std::string& fsName) {
    ActiveVolume volume = run.activeVolume;
    SetVolumeFileSystem(volume, fsName);
    if (fsName == "FAT16" && volume.rootStart == 0) {
        return;
    }
    // The first row under the root for each cluster, as a search of the table in order finds.
    std::unordered_map<std::uint32_t, std::size_t> rootRows;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        // The orphan folder is no folder of the disk: no entry may rename it.
        const std::uint32_t self = table.CellU32(row, kEntrySelf);
        if (table.CellU32(row, kEntryParent) == kFatRootId && self != kOrphanFolderId) {
            rootRows.emplace(self, row);
        }
    }
    LongNameSource source = VolumeNameSource(run, disk);
    FatTable fat(volume, disk);
    FolderNamePass pass;
    ForEachRootDirectorySector(
        volume, disk, fat, source, [&](std::uint64_t sector, ByteSpan bytes) {
            ForEachNamedEntry(
                source, bytes, sector, fsName,
                [&](std::uint32_t cluster, const EntryNameResult& name) {
                    const auto row = rootRows.find(cluster);
                    if (row == rootRows.end()) {
                        return;
                    }
                    const std::optional<bool> deleted =
                        pass.Deleted(cluster, name.deleted, IsDeletedRow(table, row->second));
                    if (!deleted) {
                        return;
                    }
                    table.SetCell(row->second, kEntryName, name.name);
                    table.SetCell(row->second, kEntryDeleted, *deleted ? kDeletedMarkText : "");
                });
            return true;
        });
}

}  // namespace lumarest

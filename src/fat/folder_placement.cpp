#include "fat/folder_placement.h"

#include <unordered_map>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/text_table.h"
#include "fat/directory_entry.h"
#include "fat/fat_chain.h"
#include "fat/name_children.h"

namespace lumarest {
namespace {

constexpr std::size_t kAttributeOffset = 11;
constexpr std::int64_t kFatWordMask = 0xFFFF;

using NamedFolderVisitor = std::function<void(std::uint32_t cluster, const std::string& name)>;

bool IsLiveFolderEntry(ByteSpan entry) {
    const std::uint8_t attr = LoadLe8(entry, kAttributeOffset).value_or(0);
    return (attr & kDirectoryAttribute) != 0 && LoadLe8(entry, 0) != kDeletedEntryMark;
}

// False when an entry ends the directory.
bool VisitLiveFolderEntries(const LongNameSource& source, ByteSpan sector,
                            std::uint64_t sectorNumber, const std::string& fsName,
                            const NamedFolderVisitor& visit) {
    for (std::size_t offset = 0; offset + kDirectoryEntrySize <= sector.size();
         offset += kDirectoryEntrySize) {
        const ByteSpan entry = EntryAt(sector, offset);
        if (IsEndOfDirectory(entry)) {
            return false;
        }
        if (IsSkippedEntry(entry) || !IsLiveFolderEntry(entry)) {
            continue;
        }
        if (const auto name = EntryName(source, sector, offset, sectorNumber)) {
            visit(EntryFirstCluster(entry, fsName), name->name);
        }
    }
    return true;
}

// The live folder entries of folder `folderId` (the root for kFatRootId), in order.
void ForEachLiveFolderEntry(RecoveryRun& run, SectorSource& disk, FatTable& fat,
                            std::uint32_t folderId, const NamedFolderVisitor& visit) {
    const ActiveVolume& volume = run.activeVolume;
    LongNameSource source = VolumeNameSource(run, disk);
    const auto visitSector = [&](std::uint64_t sector, ByteSpan bytes) {
        return VisitLiveFolderEntries(source, bytes, sector, volume.fsName, visit);
    };
    if (folderId == kFatRootId) {
        // A FAT16 root that was never located would read the volume's first sectors.
        if (!(IsFat16(volume) && volume.rootStart == 0)) {
            ForEachRootDirectorySector(volume, disk, fat, source, visitSector);
        }
        return;
    }
    if (folderId >= kFirstDataCluster && folderId != kOrphanFolderId) {
        ForEachDirectorySector(volume, disk, fat, folderId, source, visitSector);
    }
}

// Folder rows not yet in the tree, by their cluster: the first such row of each.
std::unordered_map<std::uint32_t, std::size_t> UnplacedRows(const TextTable& table,
                                                            const AddedRows& added) {
    std::unordered_map<std::uint32_t, std::size_t> rows;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        const std::uint32_t self = table.CellU32(row, kEntrySelf);
        if (!added[row] && table.Cell(row, kEntryType) == kFolderType && self != kFatRootId &&
            self != kOrphanFolderId) {
            rows.emplace(self, row);
        }
    }
    return rows;
}

void ForgetAdded(std::unordered_map<std::uint32_t, std::size_t>& rows, const AddedRows& added) {
    std::erase_if(rows, [&](const auto& item) { return added[item.second]; });
}

}  // namespace

void PlaceFoldersNamedLive(RecoveryRun& run, SectorSource& disk, const TextTable& table,
                           AddedRows& added, const FillBelowPlaced& fillBelow) {
    auto unplaced = UnplacedRows(table, added);
    if (unplaced.empty() || !run.folderTree) {
        return;
    }
    FatTable fat(run.activeVolume, disk);
    const auto placeNamedBy = [&](std::uint32_t folderId, TreeItem item) {
        ForEachLiveFolderEntry(
            run, disk, fat, folderId, [&](std::uint32_t cluster, const std::string& name) {
                const auto found = unplaced.find(cluster);
                if (found == unplaced.end() || added[found->second]) {
                    return;
                }
                const std::size_t row = found->second;
                added[row] = true;
                AddFolderNode(run, item, name, cluster,
                              table.CellNumber(row, kEntryDate) & kFatWordMask,
                              table.CellNumber(row, kEntryTime) & kFatWordMask, folderId, false);
                fillBelow();
            });
        ForgetAdded(unplaced, added);
    };
    placeNamedBy(kFatRootId, run.folderTree->TopItem());
    // Nodes appended while placing are read in turn; the list only grows.
    for (std::size_t i = 0;
         i < static_cast<std::size_t>(run.folderNodes.Count()) && !unplaced.empty(); ++i) {
        // Copied: placing appends nodes, which may move the list.
        const std::uint32_t selfId = run.folderNodes.At(i).selfId;
        const TreeItem item = run.folderNodes.At(i).treeItem;
        if (selfId != kOrphanFolderId) {
            placeNamedBy(selfId, item);
        }
    }
}

}  // namespace lumarest

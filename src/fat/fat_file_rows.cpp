#include "fat/fat_file_rows.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/le_bytes.h"
#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/text_number.h"
#include "fat/directory_entry.h"
#include "fat/fat_chain.h"
#include "fat/fat_file_data.h"
#include "fat/name_children.h"
#include "output/file_dates.h"
#include "output/recovered_file.h"

namespace lumarest {

namespace {
constexpr std::uint8_t kLongNameAttributes = 0x0F;
constexpr std::uint8_t kDirectoryBit = 0x10;
constexpr std::uint8_t kVolumeLabelBit = 0x08;
constexpr std::size_t kAttributesOffset = 11;
constexpr std::size_t kTimeOffset = 22;
constexpr std::size_t kDateOffset = 24;
constexpr std::size_t kSizeOffset = 28;

// How a folder's directory sectors are walked: the fixed FAT16 root keeps going past an
// end-of-directory entry into its next sector, a chain walk stops there.
enum class EndOfDirectoryRule { EndsFolder, EndsSector };

// Where the deleted entries of one folder, files and folders, begin: a freed file runs on no
// further than the next of them.
using DeletedStarts = std::vector<std::uint32_t>;

// Visits the file entries of one directory sector and notes where its deleted entries begin;
// false when the sector ends the folder.
bool VisitFileEntries(const LongNameSource& source, ByteSpan sector, std::uint64_t sectorNumber,
                      std::string_view fsName, FileTypeWording wording, EndOfDirectoryRule endRule,
                      DeletedStarts& deletedStarts, const FatFileVisitor& visit) {
    for (std::size_t offset = 0; offset + kDirectoryEntrySize <= sector.size();
         offset += kDirectoryEntrySize) {
        const ByteSpan entry = EntryAt(sector, offset);
        if (IsEndOfDirectory(entry)) {
            return endRule == EndOfDirectoryRule::EndsSector;
        }
        const std::uint8_t attributes = LoadLe8(entry, kAttributesOffset).value_or(0);
        if (IsSkippedEntry(entry)) {
            continue;
        }
        if (LoadLe8(entry, 0) == kDeletedEntryMark) {
            deletedStarts.push_back(EntryFirstCluster(entry, fsName));
        }
        if (!ListsAsFatFile(attributes)) {
            continue;
        }
        const std::optional<EntryNameResult> name = EntryName(source, sector, offset, sectorNumber);
        if (!name) {
            continue;
        }
        FatFileFacts facts;
        facts.name = name->name;
        facts.size = LoadLe32(entry, kSizeOffset).value_or(0);
        facts.dateWord = LoadLe16(entry, kDateOffset).value_or(0);
        facts.timeWord = LoadLe16(entry, kTimeOffset).value_or(0);
        facts.firstCluster = EntryFirstCluster(entry, fsName);
        facts.attributes = attributes;
        facts.deleted = name->deleted;
        visit(facts, wording);
    }
    return true;
}

// The first start in `starts` (sorted) past `cluster`; 0 when none is.
std::uint32_t NextStart(const DeletedStarts& starts, std::uint32_t cluster) {
    const auto next = std::upper_bound(starts.begin(), starts.end(), cluster);
    return next == starts.end() ? 0 : *next;
}

}  // namespace

bool ListsAsFatFile(std::uint8_t attributes) {
    // The volume's label is its name, not a file: listed, it would read as an empty file.
    return attributes != kLongNameAttributes && (attributes & kDirectoryBit) == 0 &&
           (attributes & kVolumeLabelBit) == 0;
}

FileListRow FatFileRow(const FatFileFacts& facts, FileTypeWording wording) {
    FileListRow row;
    row.name = facts.name;
    row.type = FileTypeDescription(facts.name, wording);
    row.size = NumberText(facts.size);
    row.date = FatDateText(facts.dateWord);
    row.time = FatTimeText(facts.timeWord);
    row.debugInfo1 = NumberText(facts.firstCluster);
    row.debugInfo2 = facts.deleted ? kFatDeletedMark : "";
    return row;
}

std::size_t AddFatFileRow(TextTable& fileList, std::size_t row, const FatFileFacts& facts,
                          FileTypeWording wording) {
    return InsertFileListRow(fileList, row, FatFileRow(facts, wording));
}

void ForEachFatFile(RecoveryRun& run, SectorSource& disk, std::uint32_t folderId,
                    const FatFileVisitor& visit) {
    const ActiveVolume& volume = run.activeVolume;
    const bool fat16 = volume.fileSystem == FileSystem::Fat16;
    if (!IsFat(volume.fileSystem)) {
        return;
    }
    LongNameSource source = VolumeNameSource(run, disk);
    FatTable fat(volume, disk);
    // The whole folder is read first: where a deleted file must end depends on the entries
    // after it.
    std::vector<std::pair<FatFileFacts, FileTypeWording>> files;
    DeletedStarts deletedStarts;
    const FatFileVisitor keep = [&](const FatFileFacts& facts, FileTypeWording wording) {
        files.emplace_back(facts, wording);
    };
    if (folderId == 0 && fat16) {
        // A root that was never located would read the volume's first sectors as entries.
        if (volume.rootStart == 0) {
            return;
        }
        ForEachRootDirectorySector(
            volume, disk, fat, source, [&](std::uint64_t sector, ByteSpan bytes) {
                VisitFileEntries(source, bytes, sector, volume.fsName,
                                 FileTypeWording::RootFolderOrNtfs, EndOfDirectoryRule::EndsSector,
                                 deletedStarts, keep);
                return true;
            });
    } else {
        if (folderId == 0) {
            folderId = RootCluster(volume);
        }
        // Clusters 0 and 1 hold no data: no folder starts there.
        if (folderId < kFirstDataCluster) {
            return;
        }
        ForEachDirectorySector(
            volume, disk, fat, folderId, source, [&](std::uint64_t sector, ByteSpan bytes) {
                return VisitFileEntries(source, bytes, sector, volume.fsName,
                                        FileTypeWording::ClusterChainFolder,
                                        EndOfDirectoryRule::EndsFolder, deletedStarts, keep);
            });
    }
    std::sort(deletedStarts.begin(), deletedStarts.end());
    for (auto& [facts, wording] : files) {
        if (facts.deleted) {
            facts.nextStart = NextStart(deletedStarts, facts.firstCluster);
            facts.truncated =
                FindFatFileClusters(volume, disk, fat,
                                    {facts.firstCluster, facts.size, true, facts.nextStart})
                    .truncated;
        }
        visit(facts, wording);
    }
}

std::size_t AddFatFileRows(RecoveryRun& run, SectorSource& disk, std::size_t firstRow,
                           std::uint32_t folderId, bool /*folderDeleted*/) {
    std::size_t next = firstRow;
    ForEachFatFile(run, disk, folderId, [&](const FatFileFacts& facts, FileTypeWording wording) {
        next = AddFatFileRow(run.fileList, next, facts, wording);
    });
    return next;
}

}  // namespace lumarest

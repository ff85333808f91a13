// The second phase of an Advance NTFS search: one found volume's folders and files.

#include "ntfs/found_ntfs_volume.h"

#include <string>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/text_number.h"
#include "ntfs/ntfs_layout.h"
#include "ntfs/ntfs_work_tables.h"

namespace lumarest {
namespace {

constexpr const char* kCompletedText = "Completed";
constexpr int kFullPercent = 100;
// Cells of a found volume's row.
constexpr std::size_t kVolumeFirstCell = 0;
constexpr std::size_t kVolumeEndCell = 1;
constexpr std::size_t kVolumeSpcCell = 2;
constexpr std::size_t kVolumeCluster0Cell = 6;
constexpr std::size_t kVolumeNameCell = 10;

void ShowRowProgress(Reporter& reporter, std::size_t done, std::size_t rows) {
    const int percent = rows == 0 ? kFullPercent : static_cast<int>(done * kFullPercent / rows);
    reporter.SetProgress(ProgressBar::TreeLoading, percent, kCompletedText);
}

void AddVolumeFolders(RecoveryRun& run, Reporter& reporter, std::uint32_t number) {
    const TextTable& found = run.foundDirectoryTable;
    for (std::size_t row = 0; row < found.RowCount(); ++row) {
        if (found.CellU32(row, kFoundFolderFsNumber) != number) {
            continue;
        }
        RecoveredEntry entry;
        entry.name = found.Cell(row, kFoundFolderName);
        entry.self = found.CellU32(row, kFoundFolderSelf);
        entry.parent = found.CellU32(row, kFoundFolderParent);
        entry.date = found.CellNumber(row, kFoundFolderDate);
        entry.attr = kDirectoryAttribute;
        entry.deleted = found.CellView(row, kFoundFolderDeleted) == kDeletedMarkText;
        AppendEntryRow(run.folderTable, entry);
        ShowRowProgress(reporter, row + 1, found.RowCount());
    }
}

// The size of the records the scan found inside the volume: volumes of larger sectors write
// larger records.
std::uint32_t VolumeRecordSectors(const RecoveryRun& run, std::size_t volume) {
    const auto first =
        static_cast<std::uint64_t>(run.fileSystemTable.CellNumber(volume, kVolumeFirstCell));
    const auto end =
        static_cast<std::uint64_t>(run.fileSystemTable.CellNumber(volume, kVolumeEndCell));
    const TextTable& records = run.ntfsRecordTable;
    for (std::size_t row = 0; row < records.RowCount(); ++row) {
        const auto sector = static_cast<std::uint64_t>(records.CellNumber(row, kRecordSector));
        if (sector >= first && sector < end) {
            return UsableRecordSectors(records.CellU32(row, kRecordSectors));
        }
    }
    return kMftRecordSectors;
}

// A found volume has no known master file table: its records are read where the scan found
// them, and their runs count from the volume's first sector.
void LoadActiveVolume(RecoveryRun& run, std::size_t volume) {
    const TextTable& table = run.fileSystemTable;
    run.activeVolume = ActiveVolume{};
    run.activeVolume.cluster0Start = table.CellU64(volume, kVolumeCluster0Cell);
    run.activeVolume.sectorsPerCluster = table.CellU32(volume, kVolumeSpcCell);
    run.activeVolume.mftRecordSectors = VolumeRecordSectors(run, volume);
    SetVolumeFileSystem(run.activeVolume, table.Cell(volume, kVolumeNameCell));
}

// Copies the file records that lie inside the volume; the found table keeps them, so another
// volume chosen later still has its files.
void AddVolumeFiles(RecoveryRun& run, Reporter& reporter, std::size_t volume) {
    const auto first =
        static_cast<std::uint64_t>(run.fileSystemTable.CellNumber(volume, kVolumeFirstCell));
    const auto end =
        static_cast<std::uint64_t>(run.fileSystemTable.CellNumber(volume, kVolumeEndCell));
    const TextTable& records = run.ntfsRecordTable;
    TextTable& files = run.fileTable;
    for (std::size_t row = 0; row < records.RowCount(); ++row) {
        const auto sector = static_cast<std::uint64_t>(records.CellNumber(row, kRecordSector));
        if (records.CellView(row, kRecordType) == kRecordFolderType || sector < first ||
            sector >= end) {
            continue;
        }
        const std::size_t file = files.AppendRow();
        files.SetCell(file, kEntryName, records.CellView(row, kRecordName));
        files.SetCell(file, kEntrySector, records.CellView(row, kRecordSector));
        files.SetCell(file, kEntrySelf, records.CellView(row, kRecordSelf));
        files.SetCell(file, kEntryParent, records.CellView(row, kRecordParent));
        files.SetCell(file, kEntrySize, records.CellView(row, kRecordSize));
        files.SetCell(file, kEntryDate, records.CellView(row, kRecordDate));
        files.SetCell(file, kEntryDeleted, records.CellView(row, kRecordDeleted));
        files.SetCell(file, kEntryType, kFileType);
        ShowRowProgress(reporter, row + 1, records.RowCount());
    }
}

}  // namespace

void LoadFoundNtfsVolume(RecoveryRun& run, Reporter& reporter, std::size_t volume) {
    if (volume >= run.fileSystemTable.RowCount()) {
        return;
    }
    AddVolumeFolders(run, reporter, static_cast<std::uint32_t>(volume + 1));
    LoadActiveVolume(run, volume);
    run.fileTable.Clear();
    AddVolumeFiles(run, reporter, volume);
}

}  // namespace lumarest

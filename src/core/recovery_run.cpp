#include "core/recovery_run.h"

#include <algorithm>

#include "core/sector_source.h"

#include "core/table_columns.h"

namespace lumarest {

namespace {
constexpr std::string_view kFloppyMark = "Floppy";
}

EngineResults::EngineResults()
    : detailsList(DetailsListColumns()),
      fileList(FileListColumns()),
      folderTable(EntryTableColumns()),
      fileTable(EntryTableColumns()),
      foundDirectoryTable(FoundDirectoryColumns()),
      bootSectorTable(BootSectorColumns()),
      fileSystemTable(BootSectorColumns()),
      indexBlockTable(IndexBlockColumns()),
      ntfsRecordTable(NtfsRecordColumns()) {}

bool WizardView::FloppySelected() const {
    return selectedDiskKey.size() >= kFloppyMark.size() &&
           std::string_view(selectedDiskKey).substr(selectedDiskKey.size() - kFloppyMark.size()) ==
               kFloppyMark;
}

void EngineResults::ClearEntryTables() {
    folderTable.Clear();
    fileTable.Clear();
    // The Advance NTFS search gives this table its own columns; every scan starts from these.
    foundDirectoryTable.SetColumns(FoundDirectoryColumns());
    bootSectorTable.Clear();
    fileSystemTable.Clear();
    indexBlockTable.Clear();
    ntfsRecordTable.Clear();
    volumeContents.reset();
    foundVolumes.reset();
}

std::uint64_t LastSectorSearched(const RecoveryRun& run, const SectorSource& disk) {
    const auto last =
        static_cast<std::uint64_t>(std::max<std::int64_t>(run.selectedPartition.endSector, 0));
    const std::uint64_t diskSectors = disk.TotalSectors();
    return diskSectors == 0 ? last : std::min(last, diskSectors - 1);
}

}  // namespace lumarest

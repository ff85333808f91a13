#include "core/recovery_run.h"

#include "core/table_columns.h"

namespace lumarest {

namespace {
constexpr std::string_view kFloppyMark = "Floppy";
}

RecoveryRun::RecoveryRun()
    : detailsList(DetailsListColumns()),
      fileList(FileListColumns()),
      folderTable(EntryTableColumns()),
      fileTable(EntryTableColumns()),
      foundDirectoryTable(FoundDirectoryColumns()),
      bootSectorTable(BootSectorColumns()),
      fileSystemTable(BootSectorColumns()),
      indexBlockTable(IndexBlockColumns()),
      ntfsRecordTable(NtfsRecordColumns()) {}

bool RecoveryRun::FloppySelected() const {
    return selectedDiskKey.size() >= kFloppyMark.size() &&
           std::string_view(selectedDiskKey).substr(selectedDiskKey.size() - kFloppyMark.size()) ==
               kFloppyMark;
}

void RecoveryRun::ClearEntryTables() {
    folderTable.Clear();
    fileTable.Clear();
    // The Advance NTFS search gives this table its own columns; every scan starts from these.
    foundDirectoryTable.SetColumns(FoundDirectoryColumns());
    bootSectorTable.Clear();
    fileSystemTable.Clear();
    indexBlockTable.Clear();
    ntfsRecordTable.Clear();
    volumeContents.reset();
}

}  // namespace lumarest

#include "ntfs/ntfs_file_rows.h"

#include "core/entry_rows.h"
#include "core/text_number.h"
#include "output/file_dates.h"
#include "output/file_type.h"

namespace lumarest {

FileListRow NtfsFileRow(const TextTable& fileTable, std::size_t tableRow, std::uint32_t folderId) {
    const auto cell = [&](EntryColumn column) { return fileTable.CellView(tableRow, column); };
    const std::int64_t stamp = ParseTextNumber(cell(kEntryDate));
    FileListRow row;
    row.name = cell(kEntryName);
    row.type = FileTypeDescription(row.name, FileTypeWording::RootFolderOrNtfs);
    row.size = cell(kEntrySize);
    row.date = NtfsDateText(stamp);
    row.time = NtfsTimeText(stamp);
    row.debugInfo1 = cell(kEntrySector);
    row.debugInfo2 = NumberText(folderId);
    row.debugInfo3 = NumberText(ParseTextU32(cell(kEntrySelf)));
    return row;
}

std::size_t AddNtfsFileRows(RecoveryRun& run, std::size_t firstRow, std::uint32_t folderId) {
    const TextTable& files = run.fileTable;
    std::size_t next = firstRow;
    for (std::size_t r = 0; r < files.RowCount(); ++r) {
        if (files.CellU32(r, kEntryParent) == folderId) {
            next = InsertFileListRow(run.fileList, next, NtfsFileRow(files, r, folderId));
        }
    }
    return next;
}

}  // namespace lumarest

#pragma once

#include <cstddef>
#include <cstdint>

#include "core/recovery_run.h"
#include "output/file_list_row.h"

namespace lumarest {

// The file-list row of one FileTable row listed in the folder with record number folderId.
FileListRow NtfsFileRow(const TextTable& fileTable, std::size_t tableRow, std::uint32_t folderId);

// Lists the files of one NTFS folder: every FileTable row whose "parent" is folderId, in table
// order, deleted files too, inserted into the file list from firstRow on. Returns the index
// after the last row inserted.
std::size_t AddNtfsFileRows(RecoveryRun& run, std::size_t firstRow, std::uint32_t folderId);

}  // namespace lumarest

#pragma once

#include <string>
#include <vector>

namespace lumarest {

// Columns of the entry tables and the hidden work tables, in their fixed order.
std::vector<std::string> EntryTableColumns();  // FolderTable, FileTable
std::vector<std::string> FoundDirectoryColumns();
std::vector<std::string> BootSectorColumns();  // BootSectorTable, FileSystemTable
std::vector<std::string> IndexBlockColumns();
std::vector<std::string> NtfsRecordColumns();
std::vector<std::string> FileListColumns();
std::vector<std::string> DetailsListColumns();  // "Name", "Value"

}  // namespace lumarest

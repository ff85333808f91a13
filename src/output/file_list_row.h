#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/text_table.h"

namespace lumarest {

// One row of the file list, all text, in the list's column order. The three debug columns are
// hidden: for a FAT file the first cluster; for an NTFS file the sector of its record, the listed
// folder's record number and its own record number. Opening and saving never read them back:
// what a row stands for is kept beside it as a FileRef.
struct FileListRow {
    std::string name;
    std::string type;
    std::string size;
    std::string date;
    std::string time;
    std::string debugInfo1;
    std::string debugInfo2;
    std::string debugInfo3;

    std::vector<std::string> Cells() const;
};

// Inserts the row at index `row` of the file list (at its end when `row` lies past it) and
// returns the index after it, where the next row of the same listing goes.
std::size_t InsertFileListRow(TextTable& fileList, std::size_t row, const FileListRow& cells);

}  // namespace lumarest

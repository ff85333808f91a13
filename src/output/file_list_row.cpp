#include "output/file_list_row.h"

namespace lumarest {

std::vector<std::string> FileListRow::Cells() const {
    return {name, type, size, date, time, debugInfo1, debugInfo2, debugInfo3};
}

std::size_t InsertFileListRow(TextTable& fileList, std::size_t row, const FileListRow& cells) {
    const std::size_t at = fileList.InsertRow(row);
    const std::vector<std::string> texts = cells.Cells();
    for (std::size_t column = 0; column < texts.size(); ++column) {
        fileList.SetCell(at, column, texts[column]);
    }
    return at + 1;
}

}  // namespace lumarest

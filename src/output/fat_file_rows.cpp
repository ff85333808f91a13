#include "output/fat_file_rows.h"

#include "core/text_number.h"
#include "output/file_dates.h"

namespace lumarest {

namespace {
constexpr std::uint8_t kLongNameAttributes = 0x0F;
constexpr std::uint8_t kDirectoryBit = 0x10;
}  // namespace

bool ListsAsFatFile(std::uint8_t attributes) {
    return attributes != kLongNameAttributes && (attributes & kDirectoryBit) == 0;
}

FileListRow FatFileRow(const FatFileFacts& facts, FileTypeWording wording) {
    FileListRow row;
    row.name = facts.name;
    row.type = FileTypeDescription(facts.name, wording);
    row.size = NumberText(facts.size);
    row.date = FatDateText(facts.dateWord);
    row.time = FatTimeText(facts.timeWord);
    row.debugInfo1 = NumberText(facts.firstCluster);
    return row;
}

std::size_t AddFatFileRow(TextTable& fileList, std::size_t row, const FatFileFacts& facts,
                          FileTypeWording wording) {
    return InsertFileListRow(fileList, row, FatFileRow(facts, wording));
}

}  // namespace lumarest

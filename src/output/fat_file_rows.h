#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/text_table.h"
#include "output/file_list_row.h"
#include "output/file_type.h"

namespace lumarest {

// What a file row needs from one FAT directory entry, as the directory reader decoded it:
// the name already chosen (the long name when complete, else the short name with a deleted
// entry's first byte shown as "_"), UTF-8.
struct FatFileFacts {
    std::string name;
    std::uint32_t size = 0;
    std::uint16_t dateWord = 0;  // last-write date, DOS layout
    std::uint16_t timeWord = 0;  // last-write time, DOS layout
    std::uint32_t firstCluster = 0;
    std::uint8_t attributes = 0;
    bool deleted = false;  // the entry's first byte was 0xE5
};

// Long-name entries (attribute 15) and folders (directory bit) are not listed as files.
bool ListsAsFatFile(std::uint8_t attributes);

// The file-list row of one entry; the wording depends on whether the folder was walked through
// its cluster chain or is the fixed FAT16 root.
FileListRow FatFileRow(const FatFileFacts& facts, FileTypeWording wording);

// Inserts the entry's row at index `row` and returns the index for the next one.
std::size_t AddFatFileRow(TextTable& fileList, std::size_t row, const FatFileFacts& facts,
                          FileTypeWording wording);

}  // namespace lumarest

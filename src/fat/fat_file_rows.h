#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/text_table.h"
#include "fat/fat_file_data.h"
#include "output/file_list_row.h"
#include "output/file_type.h"

namespace lumarest {

struct RecoveryRun;
class SectorSource;

// What a file row needs from one FAT directory entry, as the directory reader decoded it:
// the name already chosen (the long name when complete, else the short name in the case its
// case bits give, with a deleted entry's first byte shown as "_"), UTF-8.
struct FatFileFacts {
    std::string name;
    std::uint32_t size = 0;
    std::uint16_t dateWord = 0;  // last-write date, DOS layout
    std::uint16_t timeWord = 0;  // last-write time, DOS layout
    std::uint32_t firstCluster = 0;
    std::uint8_t attributes = 0;
    bool deleted = false;  // the entry's first byte was 0xE5
    // Deleted: where the next deleted entry of its folder begins past its first cluster (0:
    // none), and whether its size runs past the free clusters up to there, so that only part
    // of it can be saved (FindFatFileClusters).
    std::uint32_t nextStart = 0;
    bool truncated = false;
};

// The hidden "Debug Info 2" cell of a deleted file's row, showing that its chain was freed; a
// live file's cell stays empty.
inline constexpr const char* kFatDeletedMark = "1";

// Long-name entries (attribute 15), folders (directory bit) and the volume label are not
// listed as files.
bool ListsAsFatFile(std::uint8_t attributes);

// The file-list row of one entry; the wording depends on whether the folder was walked through
// its cluster chain or is the fixed FAT16 root.
FileListRow FatFileRow(const FatFileFacts& facts, FileTypeWording wording);

// Inserts the entry's row at index `row` and returns the index for the next one.
std::size_t AddFatFileRow(TextTable& fileList, std::size_t row, const FatFileFacts& facts,
                          FileTypeWording wording);

// Called for each file entry of a FAT folder in directory order, with the wording its listing
// uses.
using FatFileVisitor = std::function<void(const FatFileFacts& facts, FileTypeWording wording)>;

// Walks the files of the FAT folder whose first cluster is `folderId` on the run's active
// volume (0: the root folder): its cluster chain, or the fixed FAT16 root. A subfolder's walk
// ends at its first end-of-directory entry; the FAT16 root only skips the rest of that sector.
// The folder is read whole before the first file is visited.
void ForEachFatFile(RecoveryRun& run, SectorSource& disk, std::uint32_t folderId,
                    const FatFileVisitor& visit);

// Inserts the rows of those files from `firstRow` on and returns the index after the last.
// `folderDeleted` does not change the rows.
std::size_t AddFatFileRows(RecoveryRun& run, SectorSource& disk, std::size_t firstRow,
                           std::uint32_t folderId, bool folderDeleted);

}  // namespace lumarest

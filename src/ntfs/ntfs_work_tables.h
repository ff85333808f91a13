#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/le_bytes.h"

namespace lumarest {

class SectorSource;

// Columns of run.ntfsRecordTable: one row per file record the Advance scan found.
enum NtfsRecordColumn : std::size_t {
    kRecordName = 0,
    kRecordSector,
    kRecordParent,
    kRecordSelf,
    kRecordSize,
    kRecordType,
    kRecordFsNumber,
    kRecordDate,
    kRecordFirstRun,
    kRecordDeleted,
    kRecordSectors,  // engine sectors of the record: 2, 4 or 8
};

// Columns of run.indexBlockTable: one row per index block found.
enum IndexBlockColumn : std::size_t {
    kBlockSector = 0,
    kBlockOwner,  // the directory whose entries the block holds
    kBlockVcn,
    kBlockFsNumber,
};

// Cells of an NTFS row of run.bootSectorTable.
enum NtfsBootColumn : std::size_t {
    kBootSector = 0,
    kBootSpc,
    kBootIndexSectors,
    kBootRecordSectors,
    kBootTotalSectors,
    kBootMftCluster,
    kBootMirrorCluster,
};

// Columns of run.foundDirectoryTable in its NTFS form: the folders of the Advance scan with
// the volume each belongs to.
enum NtfsFolderColumn : std::size_t {
    kFoundFolderSector = 0,
    kFoundFolderSelf,
    kFoundFolderParent,
    kFoundFolderFsNumber,
    kFoundFolderDate,
    kFoundFolderName,
    kFoundFolderFirstRun,
    kFoundFolderType,
    kFoundFolderDeleted,
};

std::vector<std::string> NtfsFoundFolderColumns();

inline constexpr const char* kRecordFolderType = "FOLDER";
inline constexpr const char* kRecordFileType = "File";
// "fsNumber" of an index block or a folder not tied to a volume yet.
inline constexpr std::uint32_t kUnassignedVolume = 0xFFFFFFFF;
inline constexpr const char* kNtfsFsName = "NTFS";

// The bytes an index block at the start of `firstSector` claims, rounded up to whole
// sectors; 0 when the sector holds no index block or the block claims more than is read.
std::size_t IndexBlockSectorBytes(ByteSpan firstSector);

// Reads the index block at `sector` into `block` (resized to its sectors) and fixes it up.
// False when the sector holds no index block, the block is too large or cannot be read.
bool ReadIndexBlock(SectorSource& disk, std::uint64_t sector, std::vector<std::uint8_t>& block);

// The directory a fixed-up index block belongs to: the parent of its first named entry.
// Nothing when the block holds no named entry.
bool IndexBlockOwner(ByteSpan block, std::uint32_t& owner);

}  // namespace lumarest

// What the Advance NTFS scan and the number assignment share: the work tables' columns and
// the reading of an index block by its sector.

#include "ntfs/ntfs_work_tables.h"

#include "core/sector_source.h"
#include "ntfs/index_block.h"
#include "ntfs/mft_record.h"

namespace lumarest {

std::vector<std::string> NtfsFoundFolderColumns() {
    return {"Sector", "Self",      "Parent", "File System", "Date",
            "Name",   "First Run", "Type",   "Deleted"};
}

std::size_t IndexBlockSectorBytes(ByteSpan firstSector) {
    const auto header = ParseIndexBlockHeader(firstSector);
    if (!header || header->BlockBytes() > kMaxIndexBlockBytes) {
        return 0;
    }
    const std::uint64_t sectors = (header->BlockBytes() + kSectorSize - 1) / kSectorSize;
    return static_cast<std::size_t>(SectorsToBytes(sectors));
}

bool ReadIndexBlock(SectorSource& disk, std::uint64_t sector, std::vector<std::uint8_t>& block) {
    block.assign(kSectorSize, 0);
    if (disk.ReadSectors(sector, 1, block.data()) != 1) {
        return false;
    }
    const std::size_t bytes = IndexBlockSectorBytes(block);
    if (bytes == 0) {
        return false;
    }
    block.assign(bytes, 0);
    // A block running past the disk's end keeps zeros there; its fix-up tells.
    disk.ReadSectors(sector, static_cast<std::uint32_t>(bytes / kSectorSize), block.data());
    ApplyFixup(block);
    return true;
}

bool IndexBlockOwner(ByteSpan block, std::uint32_t& owner) {
    bool found = false;
    WalkIndexEntries(block, [&](const IndexEntry& entry) {
        owner = entry.fileName.parent;
        found = true;
        return false;
    });
    return found;
}

}  // namespace lumarest

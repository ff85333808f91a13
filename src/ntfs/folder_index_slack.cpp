#include "ntfs/folder_index_slack.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "core/sector_source.h"
#include "ntfs/attributes.h"
#include "ntfs/data_runs.h"
#include "ntfs/name_text.h"

namespace lumarest {
namespace {

constexpr std::string_view kFileNameIndex = "$I30";
constexpr std::size_t kIndexBlockSizeInRoot = 8;

struct IndexAllocation {
    std::vector<DataRun> runs;
    std::uint64_t realSize = 0;
    std::uint32_t blockBytes = 0;  // from the index root; 0 when it gives none
};

bool IsFileNameIndex(const Attribute& attribute) {
    return Utf16LeToUtf8(attribute.name, attribute.nameLength) == kFileNameIndex;
}

// A size that no index block has is taken as unknown.
std::uint32_t PlausibleBlockBytes(std::uint32_t bytes) {
    return bytes >= kSectorSize && bytes <= kMaxIndexBlockBytes && bytes % kSectorSize == 0 ? bytes
                                                                                            : 0;
}

// The runs of the folder's "$I30" allocation in VCN order, with its size and block size.
IndexAllocation FindIndexAllocation(const NtfsLayout& layout,
                                    std::span<const MftRecordBuffer> records) {
    IndexAllocation allocation;
    std::vector<Attribute> pieces;
    for (const MftRecordBuffer& record : records) {
        WalkAttributes(record, [&](const Attribute& attribute) {
            if (attribute.type == kAttrIndexRoot && !attribute.nonResident &&
                IsFileNameIndex(attribute)) {
                allocation.blockBytes = PlausibleBlockBytes(
                    LoadLe32(attribute.content, kIndexBlockSizeInRoot).value_or(0));
            } else if (attribute.type == kAttrIndexAllocation && attribute.nonResident &&
                       attribute.runsInBounds && IsFileNameIndex(attribute)) {
                pieces.push_back(attribute);
            }
            return true;
        });
    }
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const auto& a, const auto& b) { return a.firstVcn < b.firstVcn; });
    if (pieces.empty() || pieces.front().firstVcn != 0) {
        return allocation;
    }
    // Only the first piece carries the size of the whole attribute.
    allocation.realSize = pieces.front().realSize;
    for (const Attribute& piece : pieces) {
        const DecodedRuns decoded =
            DecodeRuns(piece.runs, layout.cluster0Start, layout.sectorsPerCluster);
        allocation.runs.insert(allocation.runs.end(), decoded.runs.begin(), decoded.runs.end());
        if (!decoded.complete) {
            break;
        }
    }
    return allocation;
}

// Reads the allocation's sectors from `position` on into `buffer`, run by run. False when one
// of them lies in a sparse run, past the runs or past the disk's end, or cannot be read.
bool ReadAllocationSectors(SectorSource& disk, const std::vector<DataRun>& runs,
                           std::uint64_t position, std::vector<std::uint8_t>& buffer) {
    const std::uint64_t diskSectors = disk.TotalSectors();
    const std::uint64_t count = buffer.size() / kSectorSize;
    std::uint64_t done = 0;
    std::uint64_t runStart = 0;
    for (const DataRun& run : runs) {
        if (done == count) {
            break;
        }
        const std::uint64_t at = position + done;
        if (at >= runStart + run.sectorCount) {
            runStart += run.sectorCount;
            continue;
        }
        const std::uint64_t intoRun = at - runStart;
        const std::uint64_t take = std::min(run.sectorCount - intoRun, count - done);
        const std::uint64_t first = run.startSector + intoRun;
        if (run.sparse ||
            (diskSectors != 0 && (first >= diskSectors || take > diskSectors - first))) {
            return false;
        }
        if (disk.ReadSectors(first, static_cast<std::uint32_t>(take),
                             buffer.data() + done * kSectorSize) == 0) {
            return false;
        }
        done += take;
        runStart += run.sectorCount;
    }
    return done == count;
}

// The block size a folder's blocks have: the index root's, else the first block's header.
std::uint32_t BlockBytesOf(SectorSource& disk, const IndexAllocation& allocation) {
    if (allocation.blockBytes != 0) {
        return allocation.blockBytes;
    }
    std::vector<std::uint8_t> first(kSectorSize);
    if (!ReadAllocationSectors(disk, allocation.runs, 0, first)) {
        return 0;
    }
    const auto header = ParseIndexBlockHeader(first);
    return header ? PlausibleBlockBytes(static_cast<std::uint32_t>(
                        std::min<std::uint64_t>(header->BlockBytes(), UINT32_MAX)))
                  : 0;
}

}  // namespace

std::vector<IndexEntry> ReadFolderIndexSlack(SectorSource& disk, const NtfsLayout& layout,
                                             std::span<const MftRecordBuffer> records,
                                             IndexOwner owner) {
    std::vector<IndexEntry> entries;
    const IndexAllocation allocation = FindIndexAllocation(layout, records);
    if (allocation.runs.empty()) {
        return entries;
    }
    const std::uint32_t blockBytes = BlockBytesOf(disk, allocation);
    if (blockBytes == 0) {
        return entries;
    }
    const std::uint64_t blockSectors = blockBytes / kSectorSize;
    // Both the size and the runs come from the disk: the smaller bounds the walk, and each
    // block read is one the runs place on the disk.
    const std::uint64_t sectors =
        std::min(TotalSectors(allocation.runs), allocation.realSize / kSectorSize);
    std::vector<std::uint8_t> block(blockBytes);
    for (std::uint64_t position = 0; sectors >= blockSectors && position <= sectors - blockSectors;
         position += blockSectors) {
        std::fill(block.begin(), block.end(), 0);
        if (!ReadAllocationSectors(disk, allocation.runs, position, block) ||
            !ParseIndexBlockHeader(block)) {
            continue;
        }
        ApplyFixup(block);
        WalkIndexSlack(block, owner, [&](const IndexEntry& entry) { entries.push_back(entry); });
    }
    return entries;
}

}  // namespace lumarest

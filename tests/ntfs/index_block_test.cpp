#include <gtest/gtest.h>

#include <set>

#include "ntfs/attributes.h"
#include "ntfs/index_block.h"
#include "ntfs/name_text.h"
#include "ntfs/ntfs_test_volumes.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

// The names listed by the index blocks of the root directory's "$I30" allocation.
std::set<std::string> RootIndexNames(MemoryDisk& disk, const NtfsLayout& layout,
                                     const MftRunTable& table, std::set<std::uint32_t>& refs) {
    MftRecordBuffer root;
    EXPECT_TRUE(ReadMftRecord(disk, MftRecordSector(table, 5), root));
    std::optional<Attribute> allocation;
    WalkAttributes(root, [&](const Attribute& attribute) {
        if (attribute.type == kAttrIndexAllocation &&
            Utf16LeToUtf8(attribute.name, attribute.nameLength) == "$I30") {
            allocation = attribute;
        }
        return true;
    });
    std::set<std::string> names;
    if (!allocation) {
        ADD_FAILURE() << "no $I30 allocation";
        return names;
    }
    const DecodedRuns runs =
        DecodeRuns(allocation->runs, layout.cluster0Start, layout.sectorsPerCluster);
    for (const DataRun& run : runs.runs) {
        for (std::uint64_t sector = run.startSector; sector < run.startSector + run.sectorCount;) {
            std::vector<std::uint8_t> block(kSectorSize);
            disk.ReadSectors(sector, 1, block.data());
            const auto header = ParseIndexBlockHeader(block);
            if (!header || header->BlockBytes() > kMaxIndexBlockBytes) {
                ++sector;
                continue;
            }
            const auto sectors = static_cast<std::uint32_t>(header->BlockBytes() / kSectorSize);
            block.resize(std::size_t{sectors} * kSectorSize);
            disk.ReadSectors(sector, sectors, block.data());
            ApplyFixup(block);
            WalkIndexEntries(block, [&](const IndexEntry& entry) {
                names.insert(entry.fileName.name);
                refs.insert(entry.fileReference);
                EXPECT_EQ(entry.fileName.parent, 5u) << entry.fileName.name;
                return true;
            });
            sector += sectors;
        }
    }
    return names;
}

// A root directory made on Windows whose names of 120 and more characters spill into index
// blocks: every one of them is there, the deleted "Copy (11)" among them.
TEST(IndexBlock, RootBlocksOfAWindowsVolumeListEveryLongName) {
    const std::string image = testing::RealImage("ntfs_index.raw");
    if (image.empty()) {
        GTEST_SKIP() << "the shared images are not here";
    }
    const testing::ImageGuard guard(image);
    MemoryDisk disk = testing::LoadDisk(image);
    const NtfsLayout layout = testing::LayoutFromBootSector(disk, 128);
    MftRunTable table;
    ASSERT_TRUE(BuildMftRunTable(disk, layout, table));
    std::set<std::uint32_t> refs;
    const std::set<std::string> names = RootIndexNames(disk, layout, table, refs);
    const std::string stem(120, 'A');
    EXPECT_TRUE(names.count(stem + " - Copy (11).txt"));
    EXPECT_TRUE(names.count(stem + " - Copy (2).txt"));
    EXPECT_TRUE(names.count(stem + ".txt"));
    std::size_t longNames = 0;
    for (const std::string& name : names) {
        longNames += name.size() >= 120 ? 1 : 0;
    }
    EXPECT_EQ(longNames, 17u);  // the distinct long names of the root in its listing
    EXPECT_TRUE(refs.count(63));
    EXPECT_TRUE(guard.Unchanged());
}

std::vector<std::uint8_t> BlockWithOneEntry() {
    std::vector<std::uint8_t> block(1024);
    block[0] = 'I';
    block[1] = 'N';
    block[2] = 'D';
    block[3] = 'X';
    block[16] = 3;     // vcn
    block[24] = 40;    // first entry at 64
    block[32] = 0xE8;  // 1000 bytes allocated
    block[33] = 0x03;
    const std::size_t at = 64;
    block[at] = 70;              // file reference
    block[at + 8] = 104;         // entry length
    block[at + 10] = 66 + 6;     // key length
    block[at + 16] = 5;          // parent
    block[at + 16 + 59] = 0x10;  // directory flag, top byte of u32 at 56
    block[at + 16 + 64] = 3;
    block[at + 16 + 65] = 1;
    block[at + 16 + 66] = 'S';
    block[at + 16 + 68] = 'u';
    block[at + 16 + 70] = 'n';
    return block;
}

TEST(IndexBlock, EntriesAreReadAndBrokenLengthsEndTheWalk) {
    std::vector<IndexEntry> entries;
    const auto collect = [&](const IndexEntry& entry) {
        entries.push_back(entry);
        return true;
    };
    std::vector<std::uint8_t> block = BlockWithOneEntry();
    EXPECT_EQ(ParseIndexBlockHeader(block)->vcn, 3u);
    EXPECT_EQ(ParseIndexBlockHeader(block)->BlockBytes(), 1024u);
    ASSERT_EQ(WalkIndexEntries(block, collect), 1u);
    EXPECT_EQ(entries[0].fileReference, 70u);
    EXPECT_EQ(entries[0].fileName.name, "Sun");
    EXPECT_TRUE(entries[0].NamesDirectory());

    std::vector<std::uint8_t> longKey = block;
    longKey[64 + 10] = 200;  // key past the entry
    EXPECT_EQ(WalkIndexEntries(longKey, collect), 0u);
    std::vector<std::uint8_t> longEntry = block;
    longEntry[64 + 9] = 0x10;  // 4200 bytes
    EXPECT_EQ(WalkIndexEntries(longEntry, collect), 0u);
    std::vector<std::uint8_t> firstPastEnd = block;
    firstPastEnd[26] = 0x01;  // first entry past the block
    EXPECT_EQ(WalkIndexEntries(firstPastEnd, collect), 0u);
    block[0] = 'F';
    EXPECT_FALSE(ParseIndexBlockHeader(block));
}

}  // namespace
}  // namespace lumarest

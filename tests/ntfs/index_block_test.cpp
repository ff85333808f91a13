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

void PutLe(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value,
           std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

constexpr IndexOwner kAlbum{40, 7};
constexpr std::uint64_t kAlbumReference = 40 | (std::uint64_t{7} << 48);

// An index entry for `name` (ASCII) at `at`: record 70 of sequence 3, parent `parent`, its
// length as the file system pads it; returns that length.
std::size_t PutEntry(std::vector<std::uint8_t>& block, std::size_t at, const std::string& name,
                     std::uint64_t parent = kAlbumReference) {
    const std::size_t keyLength = 66 + 2 * name.size();
    const std::size_t length = (16 + keyLength + 7) / 8 * 8;
    PutLe(block, at, 70 | (std::uint64_t{3} << 48), 8);
    PutLe(block, at + 8, length, 2);
    PutLe(block, at + 10, keyLength, 2);
    PutLe(block, at + 16, parent, 8);
    PutLe(block, at + 16 + 8, 0x01D0000000000000, 8);  // created
    PutLe(block, at + 16 + 48, 1234567, 8);            // size
    block[at + 16 + 64] = static_cast<std::uint8_t>(name.size());
    block[at + 16 + 65] = 1;
    for (std::size_t i = 0; i < name.size(); ++i) {
        block[at + 16 + 66 + 2 * i] = static_cast<std::uint8_t>(name[i]);
    }
    return length;
}

// A block whose only live entry is the end entry at 64; its slack holds "Sun.jpg" at 80, bytes
// written over from 176, and "Moon.jpg" at 224.
std::vector<std::uint8_t> BlockWithSlack() {
    std::vector<std::uint8_t> block(1024);
    std::copy_n("INDX", 4, block.begin());
    PutLe(block, 24, 40, 4);      // first entry at 64
    PutLe(block, 28, 56, 4);      // used up to 80
    PutLe(block, 32, 1000, 4);    // 1024 bytes in all
    PutLe(block, 64 + 8, 16, 2);  // the end entry
    PutLe(block, 64 + 12, 2, 2);
    EXPECT_EQ(PutEntry(block, 80, "Sun.jpg"), 96u);
    PutLe(block, 176 + 8, 0x7777, 2);  // a torn entry's length
    PutEntry(block, 224, "Moon.jpg");
    return block;
}

// A name ending in "?" was read from a key whose entry header is lost.
TEST(IndexBlock, SlackEntriesAreFoundWhenWholeAndPlausible) {
    struct Case {
        const char* what;
        std::size_t at;  // where the change is written
        std::uint64_t value;
        std::size_t width;
        std::set<std::string> names;
    };
    const std::set<std::string> both{"Sun.jpg", "Moon.jpg"};
    const std::set<std::string> keyOnly{"Sun.jpg?", "Moon.jpg"};
    const std::set<std::string> moon{"Moon.jpg"};
    const Case cases[] = {
        {"untouched", 0, 'I', 1, both},
        {"header written over", 88, 0, 8, keyOnly},
        {"length 0", 80 + 8, 0, 2, keyOnly},
        {"length odd", 80 + 8, 97, 2, keyOnly},
        {"length huge", 80 + 8, 0xFFF8, 2, keyOnly},
        {"length past the block's end", 80 + 8, 1024 - 80 + 8, 2, keyOnly},
        {"length short of its key", 80 + 8, 88, 2, keyOnly},
        {"length far past its key", 80 + 8, 120, 2, keyOnly},
        {"key length not the name's", 80 + 10, 66 + 16, 2, keyOnly},
        {"a record number past 32 bits", 80 + 4, 1, 2, keyOnly},
        {"name length 0", 80 + 16 + 64, 0, 1, moon},
        {"another folder's entry", 80 + 16, 41 | (std::uint64_t{7} << 48), 8, moon},
        {"the folder's record before reuse", 80 + 16, 40 | (std::uint64_t{6} << 48), 8, moon},
        {"no slack: used to the end", 28, 1000, 4, {}},
        {"used past the block", 28, 0xFFFFFFF0, 4, {}},
        {"used short of the first entry", 28, 0, 4, both},
        {"block claims more than it holds", 32, 0x7FFFFFFF, 4, both},
        {"block claims less than its slack", 32, 200, 4, {"Sun.jpg"}},
        {"block ends inside a key", 32, 256, 4, {"Sun.jpg"}},
        {"no index block", 0, 'F', 1, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> block = BlockWithSlack();
        PutLe(block, c.at, c.value, c.width);
        std::set<std::string> names;
        WalkIndexSlack(block, kAlbum, [&](const IndexEntry& entry) {
            EXPECT_LE(entry.offset + entry.length, block.size()) << c.what;
            EXPECT_EQ(entry.fileName.parent, kAlbum.record) << c.what;
            names.insert(entry.fileName.name + (entry.headerLost ? "?" : ""));
        });
        EXPECT_EQ(names, c.names) << c.what;
    }
}

TEST(IndexBlock, SlackEntryKeepsItsRecordSizeAndDate) {
    std::vector<IndexEntry> entries;
    WalkIndexSlack(BlockWithSlack(), kAlbum,
                   [&](const IndexEntry& entry) { entries.push_back(entry); });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].offset, 80u);
    EXPECT_EQ(entries[0].fileReference, 70u);
    EXPECT_EQ(entries[0].sequence, 3u);
    EXPECT_EQ(entries[0].fileSize, 1234567u);
    EXPECT_EQ(entries[0].fileName.creationTime, 0x01D0000000000000u);
    EXPECT_EQ(entries[0].fileName.parent, 40u);
    EXPECT_EQ(entries[1].offset, 224u);
}

}  // namespace
}  // namespace lumarest

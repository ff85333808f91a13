#include "partitions/partition_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "partitions/partition_test_disks.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::ImageGuard;
using testing::PatchedImage;
using testing::SparseDisk;
using testing::Walk;
using Spans = std::vector<std::string>;

constexpr std::uint64_t kEntries = 446;
constexpr std::uint64_t kEntrySize = 16;

// Byte offset of a field of entry `index` of the table in `sector`.
std::uint64_t EntryField(std::uint64_t sector, int index, int field) {
    return sector * 512 + kEntries + kEntrySize * index + field;
}

void PutEntry(testing::SectorBytes& table, int index, std::uint8_t type, std::uint32_t first,
              std::uint32_t count) {
    std::uint8_t* entry = table.data() + kEntries + kEntrySize * index;
    entry[4] = type;
    for (int i = 0; i < 4; ++i) {
        entry[8 + i] = static_cast<std::uint8_t>(first >> (8 * i));
        entry[12 + i] = static_cast<std::uint8_t>(count >> (8 * i));
    }
    table[510] = 0x55;
    table[511] = 0xAA;
}

class PartitionTableTest : public ::testing::Test {
  protected:
    std::string Own(const std::string& name) {
        return testing::MadeImage("tests/partitions/make_partition_images.sh", "partitions_test",
                                  name);
    }

    std::string Shared(const std::string& name) {
        const std::string path = testing::FixtureImage(name);
        if (path.empty()) {
            ADD_FAILURE() << name << " was not made: run the fixtures.make_images test first";
        }
        return path;
    }
};

TEST_F(PartitionTableTest, ListsPrimaryAndLogicalPartitionsNumberedTogether) {
    const std::string image = Shared("mbr_layout.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    PatchedImage disk(image);
    Walk walk(disk);

    EXPECT_EQ(walk.ItemTexts(),
              (Spans{"Partition - 1 ( FAT32 )", "Partition - 2 ( FAT32 )", "Partition - 3 ( NTFS )",
                     "Partition - 4 ( NTFS )", "Partition - 5 ( NTFS )"}));
    // Logical starts count from their own record; the extended entry itself is not listed.
    EXPECT_EQ(walk.Spans(), (Spans{"FAT32 2048-69632", "FAT32 69632-137216", "NTFS 139264-147456",
                                   "NTFS 149504-157696", "NTFS 159744-167936"}));
    EXPECT_EQ(walk.notices, 0);
    EXPECT_TRUE(walk.run.partitionsListed);
    const TreeItem first = walk.List().partitions[0].treeItem;
    EXPECT_EQ(walk.run.defaultPartitionItem, first);
    EXPECT_EQ(walk.run.partitionTree->Image(first), 1);
    EXPECT_EQ(walk.run.partitionTree->SelectedImage(first), 1);
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionTableTest, BootSectorNamesWinOverTypeBytes) {
    const std::string image = Own("odd_types.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    PatchedImage disk(image);
    Walk walk(disk);

    // 0x83 holding NTFS, 0x07 holding FAT32, the logical 0x01 by its type byte; the empty
    // primary 0x01 and the logical 0x83 are not listed.
    EXPECT_EQ(walk.Spans(), (Spans{"NTFS 2048-18432", "FAT32 18432-88064", "FAT16 92160-94208"}));
    EXPECT_EQ(walk.ItemTexts().back(), "Partition - 3 ( FAT16 )");
    EXPECT_EQ(walk.notices, 0);
    EXPECT_TRUE(guard.Unchanged());
}

// An exFAT volume shares type 0x07 with NTFS; its name lists it as exFAT in a primary entry, a
// logical one and on the whole disk, whatever garbage fills the rest of its boot sector.
TEST_F(PartitionTableTest, AnExFatBootSectorFullOfGarbageIsListedAsExFat) {
    const auto putExFat = [](testing::SectorBytes& sector, std::size_t garbageEnd) {
        for (std::size_t i = 11; i < garbageEnd; ++i) {
            sector[i] = static_cast<std::uint8_t>(i * 37 + 11);
        }
        std::memcpy(sector.data() + 3, "EXFAT   ", 8);
        std::memcpy(sector.data() + 82, "FAT32   ", 8);
        sector[510] = 0x55;
        sector[511] = 0xAA;
    };
    struct Case {
        const char* name;
        std::function<void(SparseDisk&)> lay;
        Spans spans;
    };
    const std::vector<Case> cases = {
        {"primary 0x07",
         [&](SparseDisk& disk) {
             PutEntry(disk.At(0), 0, 0x07, 2048, 8192);
             PutEntry(disk.At(0), 1, 0x07, 10240, 4096);
             putExFat(disk.At(2048), 510);
             std::memcpy(disk.At(10240).data() + 3, "NTFS    ", 8);
         },
         {"exFAT 2048-10240", "NTFS 10240-14336"}},
        {"logical 0x07",
         [&](SparseDisk& disk) {
             PutEntry(disk.At(0), 0, 0x05, 2048, 16384);
             PutEntry(disk.At(2048), 0, 0x07, 2048, 8192);
             putExFat(disk.At(4096), 510);
         },
         {"exFAT 4096-12288"}},
        {"whole disk", [&](SparseDisk& disk) { putExFat(disk.At(0), 120); }, {"exFAT 0-20000"}},
    };
    for (const Case& c : cases) {
        SparseDisk disk(20000);
        c.lay(disk);
        Walk walk(disk);
        EXPECT_EQ(walk.Spans(), c.spans) << c.name;
        EXPECT_EQ(walk.ItemTexts().front(), "Partition - 1 ( exFAT )") << c.name;
        EXPECT_EQ(disk.readsOutside_, 0u) << c.name;
    }
}

TEST_F(PartitionTableTest, PrimaryTypeOneIsListedWhenItsBootSectorNamesFat16) {
    const std::string image = Shared("demo.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    PatchedImage disk(image);
    disk.Patch(EntryField(0, 1, 4), 0x01);
    Walk walk(disk);
    EXPECT_EQ(walk.Spans(),
              (Spans{"FAT32 2048-71680", "FAT16 71680-104448", "NTFS 104448-137216"}));
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionTableTest, OneSignatureByteIsEnoughAndNoneListsNothing) {
    const std::string image = Shared("demo.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    {
        PatchedImage disk(image);
        disk.Patch(510, 0x00);
        EXPECT_EQ(Walk(disk).Count(), 3u);
    }
    {
        PatchedImage disk(image);
        disk.Patch(511, 0x00);
        EXPECT_EQ(Walk(disk).Count(), 3u);
    }
    {
        PatchedImage disk(image);
        disk.Patch(510, 0x00);
        disk.Patch(511, 0x00);
        Walk walk(disk);
        EXPECT_EQ(walk.Count(), 0u);
        EXPECT_FALSE(walk.run.partitionsListed);
        EXPECT_EQ(walk.run.defaultPartitionItem, kNoItem);
        EXPECT_EQ(walk.notices, 0);
        EXPECT_TRUE(walk.ItemTexts().empty());
    }
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionTableTest, ZeroedTablesListNothingQuietly) {
    const std::string zeros = Own("zeros.img");
    const std::string demo = Shared("demo.img");
    ASSERT_FALSE(zeros.empty());
    ASSERT_FALSE(demo.empty());
    ImageGuard zerosGuard(zeros);
    ImageGuard demoGuard(demo);
    PatchedImage blank(zeros);
    PatchedImage wiped(demo);
    wiped.ZeroSector(0);
    for (SectorSource* disk : std::vector<SectorSource*>{&blank, &wiped}) {
        Walk walk(*disk);
        EXPECT_EQ(walk.Count(), 0u) << disk->Name();
        EXPECT_EQ(walk.notices, 0) << disk->Name();
        EXPECT_FALSE(walk.run.partitionsListed);
    }
    EXPECT_TRUE(zerosGuard.Unchanged());
    EXPECT_TRUE(demoGuard.Unchanged());
}

TEST_F(PartitionTableTest, EntriesNearTheEndOfASmallDiskAreListedWithoutTheNotice) {
    const std::string image = Own("near_end.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    PatchedImage disk(image);
    Walk walk(disk);
    // The NTFS entry starts 20480 sectors before the end of a 30 MiB disk; it fits, as the
    // last one does.
    EXPECT_EQ(walk.Spans(), (Spans{"FAT16 2048-10240", "NTFS 40960-49152", "FAT16 51200-59392"}));
    EXPECT_EQ(walk.notices, 0);
    EXPECT_TRUE(walk.run.partitionsListed);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionTableTest, ATruncatedImageEndsTheChainAtItsEnd) {
    const std::string image = Own("cut_chain.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    PatchedImage disk(image);
    Walk walk(disk);
    // The extended partition runs past the end of the file, and its second record lies past
    // it: each gives the notice, and nothing is read there.
    EXPECT_EQ(walk.Spans(), (Spans{"FAT16 4096-12288"}));
    EXPECT_EQ(walk.notices, 2);
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionTableTest, ExtendedRecordsThatLinkBackEndTheWalk) {
    const std::string image = Shared("mbr_layout.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    {
        // The first record's link points at itself.
        PatchedImage disk(image);
        disk.PatchLe32(EntryField(137216, 1, 8), 0);
        Walk walk(disk);
        EXPECT_EQ(walk.Count(), 3u);
        EXPECT_LT(disk.readCalls_, 20u);
    }
    {
        // The last record links back to the first.
        PatchedImage disk(image);
        disk.Patch(EntryField(157696, 1, 4), 0x05);
        disk.PatchLe32(EntryField(157696, 1, 8), 0);
        Walk walk(disk);
        EXPECT_EQ(walk.Count(), 5u);
        EXPECT_LT(disk.readCalls_, 20u);
    }
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionTableTest, StopsAtTwentySixPartitions) {
    const std::string image = Own("many_logicals.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    PatchedImage disk(image);
    Walk walk(disk);
    ASSERT_EQ(walk.Count(), kMaxListedPartitions);
    EXPECT_EQ(walk.ItemTexts().back(), "Partition - 26 ( FAT16 )");
    EXPECT_EQ(walk.Spans()[25], "FAT16 106496-108544");
    // No partition of the master boot record is listed: the first logical one is the default.
    EXPECT_EQ(walk.run.defaultPartitionItem, walk.List().partitions[0].treeItem);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionTableTest, AChainOfDistinctEmptyRecordsIsBounded) {
    SparseDisk disk(1'000'000);
    PutEntry(disk.At(0), 0, 0x05, 1000, 900'000);
    for (std::uint32_t i = 0; i < 5000; ++i) {
        PutEntry(disk.At(1000 + i), 1, 0x0F, i + 1, 1);
    }
    Walk walk(disk);
    EXPECT_EQ(walk.Count(), 0u);
    EXPECT_LE(disk.readCalls_, 1030u);
    EXPECT_EQ(disk.readsOutside_, 0u);
}

TEST_F(PartitionTableTest, DisksAboveTwoToTheThirtyOneSectorsAreNotCalledDamaged) {
    for (const std::uint64_t total : {std::uint64_t{3} << 31, (std::uint64_t{1} << 32) + 100}) {
        SparseDisk disk(total);
        PutEntry(disk.At(0), 0, 0x07, 2048, 409600);
        PutEntry(disk.At(0), 1, 0x0C, 0xFFFF0000u, 0xFFFFu);
        Walk walk(disk);
        EXPECT_EQ(walk.Spans(), (Spans{"NTFS 2048-411648", "FAT32 4294901760-4294967295"}))
            << total;
        EXPECT_EQ(walk.notices, 0) << total;
    }
}

// Each row: the entries of the master boot record and of one extended record at 2048, what is
// listed, and how many notices the walk gave.
TEST_F(PartitionTableTest, EntriesPastTheDiskEndGiveTheNoticeAndTheWalkGoesOn) {
    struct Entry {
        std::uint8_t type;
        std::uint32_t first;
        std::uint32_t count;
    };
    struct Case {
        const char* name;
        std::uint64_t diskSectors;
        std::vector<Entry> master;
        std::vector<Entry> extended;
        Spans listed;
        int notices;
    };
    const std::vector<Case> cases = {
        {"a bad entry before good ones hides nothing",
         100'000,
         {{0x06, 0xFFFFFFFFu, 100}, {0x0C, 4096, 8192}, {0x07, 20000, 0xFFFFFFFFu}},
         {},
         {"FAT32 4096-12288", "NTFS 20000-4294987295"},
         2},
        {"an extended partition running past the end is still walked",
         100'000,
         {{0x0F, 2048, 0xFFFFFFFFu}, {0x06, 0xFFFFFFFFu, 0xFFFFFFFFu}},
         {{0x06, 4096, 100}},
         {"FAT16 6144-6244"},
         2},
        {"a logical partition past the end is not listed; a link past it reads nothing",
         100'000,
         {{0x0F, 2048, 90'000}},
         {{0x06, 0xF0000000u, 0xFFFFFFFFu}, {0x05, 0x7FFFFFFFu, 1}},
         {},
         2},
        {"a logical start beyond 32 bits is held on a disk that has it",
         std::uint64_t{1} << 33,
         {{0x0F, 2048, 0xFFFFFFFFu}},
         {{0x07, 0xFFFFF000u, 100}},
         {"NTFS 4294965248-4294965348"},
         0},
        {"a disk of unknown size holds no entry", 0, {{0x0C, 2048, 100}}, {}, {}, 1},
    };
    for (const Case& c : cases) {
        SparseDisk disk(std::max<std::uint64_t>(c.diskSectors, 100'000), c.diskSectors);
        for (std::size_t i = 0; i < c.master.size(); ++i) {
            PutEntry(disk.At(0), static_cast<int>(i), c.master[i].type, c.master[i].first,
                     c.master[i].count);
        }
        for (std::size_t i = 0; i < c.extended.size(); ++i) {
            PutEntry(disk.At(2048), static_cast<int>(i), c.extended[i].type, c.extended[i].first,
                     c.extended[i].count);
        }
        Walk walk(disk);
        EXPECT_EQ(walk.Spans(), c.listed) << c.name;
        EXPECT_EQ(walk.notices, c.notices) << c.name;
        EXPECT_EQ(disk.readsOutside_, 0u) << c.name;
    }
}

TEST_F(PartitionTableTest, FillsTheListWithoutATreeAndRewritesItOnTheNextWalk) {
    const std::string layout = Shared("mbr_layout.img");
    const std::string demo = Shared("demo.img");
    ASSERT_FALSE(layout.empty());
    ASSERT_FALSE(demo.empty());
    PatchedImage layoutDisk(layout);
    Walk walk(layoutDisk, false);
    EXPECT_EQ(walk.Count(), 5u);
    EXPECT_EQ(walk.List().partitions[4].treeItem, kNoItem);
    EXPECT_TRUE(walk.run.partitionsListed);

    PatchedImage demoDisk(demo);
    walk.run.diskPartitionLists[1].partitions.resize(7);
    ListPartitions(walk.run, demoDisk, 0, kNoItem, {});
    EXPECT_EQ(walk.Count(), 3u);
    EXPECT_EQ(walk.run.diskPartitionLists[1].Count(), 7u);
}

TEST_F(PartitionTableTest, ListedStartsAndEndsAgreeWithMmls) {
    if (!testing::ToolInstalled("mmls")) {
        GTEST_SKIP() << "mmls (The Sleuth Kit) is not installed";
    }
    struct Case {
        std::string image;
        std::size_t listed;
    };
    const std::vector<Case> cases = {{Shared("mbr_layout.img"), 5},
                                     {Shared("demo.img"), 3},
                                     {Own("odd_types.img"), 3},
                                     {Own("near_end.img"), 3},
                                     {Own("many_logicals.img"), 26}};
    for (const Case& c : cases) {
        ASSERT_FALSE(c.image.empty());
        ImageGuard guard(c.image);
        const auto rows =
            testing::RunMmls(c.image, (fs::path(LUMAREST_FIXTURE_DIR) / "partitions_test" /
                                       (fs::path(c.image).filename().string() + ".mmls.txt"))
                                          .string());
        ASSERT_FALSE(rows.empty()) << c.image;
        PatchedImage disk(c.image);
        Walk walk(disk);
        EXPECT_EQ(static_cast<std::size_t>(walk.Count()), c.listed) << c.image;
        testing::ExpectListedAsMmlsShows(walk, rows);
        EXPECT_TRUE(guard.Unchanged()) << c.image;
    }
}

}  // namespace
}  // namespace lumarest

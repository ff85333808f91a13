#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "partitions/partition_table.h"
#include "partitions/partition_table_sector.h"
#include "partitions/partition_test_disks.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::MmlsRow;
using testing::PatchedImage;
using testing::Walk;

struct RealTable {
    const char* image;
    const char* listing;
    std::size_t listed;  // what the rules give, counted by hand from the listing
    int notices;         // entries that start or end past the end of the image
};

// "FAT16 128-16512" for each partition of the listing whose type byte the walk lists.
std::vector<std::string> ListablePartitions(const std::vector<MmlsRow>& rows) {
    std::vector<std::string> spans;
    for (const MmlsRow& row : rows) {
        const bool primary = row.slot.rfind("000:", 0) == 0;
        const auto fileSystem = ListedFileSystem(static_cast<std::uint8_t>(row.type),
                                                 primary ? TableKind::Master : TableKind::Extended);
        if (fileSystem) {
            spans.push_back(std::string(FileSystemName(*fileSystem)) + " " +
                            std::to_string(row.start) + "-" + std::to_string(row.last + 1));
        }
    }
    std::sort(spans.begin(), spans.end());
    return spans;
}

// Tables made by other people, small disks among them: the walk lists exactly the FAT and
// NTFS partitions their listings show, and gives the notice only for entries past the end.
TEST(RealPartitionTables, ListExactlyTheFatAndNtfsPartitionsOfTheirListings) {
    const std::vector<RealTable> tables = {
        {"ntfs_index.raw", "ntfs_index.raw.mmls.txt", 1, 0},
        {"mbr-win-512.raw", "mbr-win-512.raw.mmls.txt", 7, 0},
        {"fat64.raw", "fat64.raw.mmls.txt", 1, 0},
        {"mbr-512-p1e2.bin", "mbr-512-p1e2.bin.mmls.txt", 0, 0},
        {"tsk_volume_system.raw", "tsk_volume_system.raw.mmls.txt", 0, 0},
        {"mbr.raw", "mbr.raw.mmls.txt", 0, 0},
        {"gpt-512-3p.raw", "gpt-512-3p.raw.mmls-dos.txt", 0, 0},
        {"mbr-512-p4.bin", "mbr-512-p4.bin.mmls.txt", 0, 4},
    };
    int seen = 0;
    for (const RealTable& table : tables) {
        const std::string image = testing::RealImage(table.image);
        if (image.empty()) {
            continue;
        }
        ++seen;
        SCOPED_TRACE(table.image);
        ImageGuard guard(image);
        const auto rows = testing::ParseMmls(
            testing::ReadText(std::string(LUMAREST_REALDATA_DIR) + "/listings/" + table.listing));
        PatchedImage disk(image);
        Walk walk(disk);

        EXPECT_EQ(walk.Count(), table.listed);
        EXPECT_EQ(disk.readsOutside_, 0u);
        EXPECT_EQ(walk.notices, table.notices);
        std::vector<std::string> spans = walk.Spans();
        std::sort(spans.begin(), spans.end());
        EXPECT_EQ(spans, ListablePartitions(rows));
        if (walk.Count() != 0) {
            EXPECT_EQ(walk.run.defaultPartitionItem, walk.List().partitions[0].treeItem);
        }
        EXPECT_TRUE(guard.Unchanged());
    }
    if (seen == 0) {
        GTEST_SKIP() << "the shared real images are not there";
    }
}

}  // namespace
}  // namespace lumarest

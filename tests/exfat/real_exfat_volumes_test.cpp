#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/memory_disk.h"
#include "core/reporter.h"
#include "exfat/boot_region.h"
#include "exfat/exfat_tree.h"
#include "exfat/exfat_volume_reader.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Empty volumes as mkfs.exfat writes them, on their own and in a partition: the boot region's
// checksum, the bitmap's entry and the root as the tool made them.
TEST(RealExFatVolumes, ReadsTheRegionsMkfsWrote) {
    if (!testing::ToolInstalled("mkfs.exfat")) {
        GTEST_SKIP() << "mkfs.exfat (exfatprogs) is not installed";
    }
    struct Row {
        const char* image;
        std::uint64_t start;
    };
    constexpr std::uint64_t kVolumeSectors = 65536;
    for (const Row& row : {Row{"bare.img", 0}, Row{"mbr.img", 2048}}) {
        const std::string path =
            testing::MadeImage("tests/partitions/make_exfat_images.sh", "exfat_test", row.image);
        ASSERT_FALSE(path.empty()) << row.image;
        const testing::ImageGuard guard(path);
        MemoryDisk disk(FileBytes(path));

        const BootRegionReading reading = ReadExFatBootRegion(disk, row.start);
        ASSERT_TRUE(reading.layout) << row.image << ": " << reading.problem;
        const ExFatLayout layout = *reading.layout;
        EXPECT_FALSE(reading.fromBackup) << row.image;
        EXPECT_EQ(layout.volumeStart, row.start) << row.image;
        EXPECT_EQ(layout.volumeSectors, kVolumeSectors) << row.image;
        EXPECT_GE(layout.fatStart, row.start + 24) << row.image;
        EXPECT_GE(layout.heapStart, layout.fatStart + layout.fatSectors) << row.image;
        EXPECT_LE(layout.heapStart + std::uint64_t{layout.clusterCount} * layout.sectorsPerCluster,
                  row.start + kVolumeSectors)
            << row.image;

        ExFatVolumeReader reader(disk, layout);
        EXPECT_EQ(reader.ClusterInUse(layout.rootCluster), true) << row.image;
        EXPECT_EQ(reader.ClusterInUse(layout.clusterCount + 1), false) << row.image;

        NullReporter reporter;
        const ExFatTree tree = WalkExFatVolume(disk, layout, reporter, {});
        EXPECT_TRUE(tree.folders.empty()) << row.image;
        EXPECT_TRUE(tree.files.empty()) << row.image;
        EXPECT_TRUE(tree.problem.empty()) << row.image << ": " << tree.problem;

        // A byte of the main region changed: its checksum fails and the backup gives the same.
        disk.Bytes()[row.start * kSectorSize + 200] ^= 0xFF;
        const BootRegionReading backup = ReadExFatBootRegion(disk, row.start);
        ASSERT_TRUE(backup.layout) << row.image;
        EXPECT_TRUE(backup.fromBackup) << row.image;
        EXPECT_EQ(backup.layout->heapStart, layout.heapStart) << row.image;
        EXPECT_EQ(backup.layout->clusterCount, layout.clusterCount) << row.image;
        EXPECT_TRUE(guard.Unchanged()) << row.image;
    }
}

}  // namespace
}  // namespace lumarest

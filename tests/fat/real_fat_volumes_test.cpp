#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/fat_chain.h"
#include "fat/fat_test_volumes.h"
#include "partitions/volume_params.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;

// FAT volumes made by other people, with where each one lies on its image.
struct RealVolume {
    std::string image;
    std::string fsName;
    std::uint64_t start = 0;
    std::uint64_t sectors = 0;
};

const std::vector<RealVolume> kRealVolumes{
    {"fat16.raw", "FAT16", 0, 24576},
    {"fat_deleted_dir_2.raw", "FAT16", 0, 32768},
    {"fat_deleted_dir.raw", "FAT32", 0, 131072},
    {"fat32_loop.raw", "FAT32", 0, 131072},
    {"fat_lfn_test.raw", "FAT32", 0, 131072},
    {"fat64.raw", "FAT32", 2048, 129024},
};

void PrintTo(const RealVolume& volume, std::ostream* out) {
    *out << volume.image;
}

// Chains walked per volume: every cluster of the first FAT up to this many.
constexpr std::uint32_t kClustersWalked = 200000;

class RealFatVolumeTest : public ::testing::TestWithParam<RealVolume> {};

TEST_P(RealFatVolumeTest, ValidatesWalksEveryChainAndCalculatesWithoutHanging) {
    const RealVolume& volume = GetParam();
    const std::string path = testing::RealImage(volume.image);
    if (path.empty()) {
        GTEST_SKIP() << volume.image << " is not in the shared image set";
    }
    ImageGuard guard(path);
    PatchedImage disk(path);
    RecoveryRun run;
    SetPartitionFileSystem(run.selectedPartition, volume.fsName);
    run.selectedPartition.startSector = static_cast<std::int64_t>(volume.start);
    run.selectedPartition.endSector = static_cast<std::int64_t>(volume.start + volume.sectors - 1);
    NullReporter reporter;

    ASSERT_EQ(ValidatePartition(run, disk, reporter), 1);
    const VolumeParams valid = run.volumeParams;
    if (testing::ToolInstalled("fsstat") && volume.start == 0) {
        const auto fat = testing::RunFsstat(path, volume.start);
        ASSERT_TRUE(fat.has_value());
        EXPECT_EQ(valid.firstFat, fat->firstFat);
        EXPECT_EQ(valid.sectorsPerFat, fat->sectorsPerFat);
        EXPECT_EQ(valid.cluster0Start, fat->clusterArea - 2 * fat->sectorsPerCluster);
    }

    const ActiveVolume active = SnapshotVolume(valid, volume.fsName);
    FatTable table(active, disk);
    const auto last =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(FatEntryCount(active), kClustersWalked));
    std::uint64_t longest = 0;
    for (std::uint32_t cluster = kFirstDataCluster; cluster < last; ++cluster) {
        longest = std::max<std::uint64_t>(longest, table.BuildClusterChain(cluster).size());
    }
    EXPECT_LE(longest, FatEntryCount(active));
    if (volume.image == "fat_lfn_test.raw") {
        EXPECT_EQ(table.BuildClusterChain(active.rootStart), (std::vector<std::uint32_t>{2, 18}));
    }

    disk.ZeroSector(volume.start);
    if (volume.fsName == "FAT32") {
        disk.ZeroSector(volume.start + 6);
    }
    EXPECT_EQ(ValidatePartition(run, disk, reporter), 0);
    if (CalculateVolumeParams(run, disk, reporter, run.scanStop.get_token()) == 1) {
        EXPECT_EQ(run.volumeParams.sectorsPerCluster, valid.sectorsPerCluster);
        EXPECT_EQ(run.volumeParams.cluster0Start, valid.cluster0Start);
    }
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(SharedImages, RealFatVolumeTest, ::testing::ValuesIn(kRealVolumes),
                         [](const auto& info) {
                             std::string name = info.param.image;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory_disk.h"
#include "fat/fat_chain.h"
#include "fat/fragmented_directory_images.h"
#include "fat/lost_directory_recovery.h"
#include "partitions/partition_test_disks.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::FragmentedVolume;
using testing::ImageGuard;
using testing::PatchedImage;

// Old Trip's folders whose entries lie beyond its first cluster: fls, which reads a deleted
// folder's first cluster only, finds them as orphans under their short names.
const testing::FlsPaths& FoldersPastOldTripsFirstCluster() {
    static const testing::FlsPaths paths{
        {"Old Trip/Beach Day Photos", true},
        {"Old Trip/Mountain walk", true},
        {"Old Trip/Mountain walk/Summit at sunrise", true},
    };
    return paths;
}

class FragmentedDirectoryTest : public ::testing::TestWithParam<FragmentedVolume> {
  protected:
    void SetUp() override { ASSERT_TRUE(testing::MakeFragmentedImages()); }
};

TEST_P(FragmentedDirectoryTest, FolderNamesAndDeletedMarksMatchFlsAcrossClustersAndDeletedFolders) {
    ImageGuard guard(testing::FragmentedImage(GetParam()));
    const auto fls = testing::FlsListing(guard.Path(), true);
    if (!fls) {
        GTEST_SKIP() << "fls is not installed";
    }
    const testing::SplitFls split = testing::SplitOrphans(*fls);
    testing::FlsPaths expected = split.reached;
    expected.insert(FoldersPastOldTripsFirstCluster().begin(),
                    FoldersPastOldTripsFirstCluster().end());
    // The two folders right in Old Trip are the orphans fls shows.
    EXPECT_EQ(split.orphans, 2);

    PatchedImage disk(guard.Path());
    const auto recovery = testing::Recover(disk, GetParam().fsName, 0, GetParam().sectors);
    EXPECT_EQ(recovery->paths, expected);
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_P(FragmentedDirectoryTest,
       ALiveDirectoryIsItsChainAndADeletedOneGoesOnWhileItsClustersAreFree) {
    ImageGuard guard(testing::FragmentedImage(GetParam()));
    PatchedImage disk(guard.Path());
    const auto recovery = testing::Recover(disk, GetParam().fsName, 0, GetParam().sectors);
    RecoveryRun& run = recovery->run;
    FatTable fat(run.activeVolume, disk);
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        if (node.selfId == kOrphanFolderId) {
            continue;
        }
        const std::vector<std::uint32_t> clusters =
            DirectoryClusters(run.activeVolume, disk, fat, node.selfId);
        if (node.name == "Scattered Folder") {
            EXPECT_EQ(clusters, fat.BuildClusterChain(node.selfId));
            EXPECT_GT(clusters.size(), 2u);
            EXPECT_NE(clusters[1], clusters[0] + 1) << "the folder was meant to lie apart";
        }
        if (node.name == "Old Trip") {
            // "." and "..", the empty pages of three entries each, then 3 + 2 + 4 + 1 entries
            // for the two folders and two files.
            const std::size_t entries = 2 + 3 * GetParam().emptyPages + 10;
            const std::size_t perCluster = run.activeVolume.sectorsPerCluster * kEntriesPerSector;
            EXPECT_EQ(clusters.size(), (entries + perCluster - 1) / perCluster);
            for (std::size_t i = 1; i < clusters.size(); ++i) {
                EXPECT_EQ(clusters[i], clusters[i - 1] + 1);
            }
            // A free cluster that begins another folder ends it there.
            ASSERT_GE(clusters.size(), 2u);
            const std::uint64_t second =
                ClusterToSector(run.activeVolume, clusters[1], 0) * kSectorSize;
            const std::string dots = ".          ..         ";
            for (std::size_t i = 0; i < 11; ++i) {
                disk.Patch(second + i, static_cast<std::uint8_t>(dots[i]));
                disk.Patch(second + 32 + i, static_cast<std::uint8_t>(dots[11 + i]));
            }
            FatTable fresh(run.activeVolume, disk);
            EXPECT_EQ(DirectoryClusters(run.activeVolume, disk, fresh, node.selfId).size(), 1u);
        }
    }
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(MadeByMkfsFat, FragmentedDirectoryTest,
                         ::testing::ValuesIn(testing::FragmentedVolumes()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace lumarest

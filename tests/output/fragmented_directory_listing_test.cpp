#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fat/fat_file_rows.h"
#include "fat/fragmented_directory_images.h"
#include "fat/lost_directory_recovery.h"
#include "partitions/partition_test_disks.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::FlsPaths;
using testing::FragmentedVolume;
using testing::ImageGuard;
using testing::PatchedImage;

// The files of Old Trip, all deleted with it; fls lists only those of its first cluster.
FlsPaths OldTripFiles(int emptyPages) {
    FlsPaths files{
        {"Old Trip/Travel notes from the trip.txt", true},
        {"Old Trip/_ICKET.TXT", true},
        {"Old Trip/Beach Day Photos/Sand castle.txt", true},
        {"Old Trip/Mountain walk/Summit at sunrise/View.txt", true},
    };
    for (int page = 1; page <= emptyPages; ++page) {
        char name[64];
        std::snprintf(name, sizeof name, "Old Trip/Empty page %02d.txt", page);
        files[name] = true;
    }
    return files;
}

class FragmentedDirectoryListingTest : public ::testing::TestWithParam<FragmentedVolume> {
  protected:
    void SetUp() override { ASSERT_TRUE(testing::MakeFragmentedImages()); }
};

TEST_P(FragmentedDirectoryListingTest, EveryFolderListsTheFilesFlsNamesAndADeletedFolderAllOfIts) {
    ImageGuard guard(testing::FragmentedImage(GetParam()));
    const auto fls = testing::FlsListing(guard.Path(), false);
    if (!fls) {
        GTEST_SKIP() << "fls is not installed";
    }
    const testing::SplitFls split = testing::SplitOrphans(*fls);
    FlsPaths expected = split.reached;
    int pastFirstCluster = 0;
    for (const auto& [path, deleted] : OldTripFiles(GetParam().emptyPages)) {
        const bool rightInOldTrip = path.find('/', sizeof "Old Trip") == std::string::npos;
        pastFirstCluster += rightInOldTrip && !expected.contains(path) ? 1 : 0;
        expected[path] = deleted;
    }
    // What fls cannot reach through Old Trip it shows as orphans, one for one.
    EXPECT_EQ(split.orphans, pastFirstCluster);

    PatchedImage disk(guard.Path());
    auto recovery = testing::Recover(disk, GetParam().fsName, 0, GetParam().sectors);
    RecoveryRun& run = recovery->run;
    FlsPaths listed;
    const auto listFolder = [&](std::uint32_t folderId, const std::string& prefix) {
        ForEachFatFile(run, disk, folderId, [&](const FatFileFacts& facts, FileTypeWording) {
            listed[prefix + facts.name] = facts.deleted;
        });
    };
    listFolder(0, "");
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        if (node.selfId != kOrphanFolderId) {
            listFolder(node.selfId, testing::PathOf(run.folderNodes, node) + "/");
        }
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(MadeByMkfsFat, FragmentedDirectoryListingTest,
                         ::testing::ValuesIn(testing::FragmentedVolumes()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace lumarest

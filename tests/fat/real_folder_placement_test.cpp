#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fat/fat_file_rows.h"
#include "fat/lost_directory_recovery.h"
#include "partitions/partition_test_disks.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;

struct RealVolume {
    std::string image;
    std::string fsName;
    std::uint64_t sectors = 0;
    // Folders fls reaches only through a hand-made loop: "test_dir/4" is the directory that
    // its ".." and a live entry of "n40" both put at "test_dir/n40/4"; "T1" lies past the
    // entry that ends that directory.
    std::set<std::string> throughLoop;
};

void PrintTo(const RealVolume& volume, std::ostream* out) {
    *out << volume.image;
}

std::string TestName(const ::testing::TestParamInfo<RealVolume>& info) {
    std::string name = info.param.image;
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
}

// The shared image of the parameter with what fls lists of it; the test is skipped when either
// is missing.
class RealVolumeTest : public ::testing::TestWithParam<RealVolume> {
  protected:
    void SetUp() override {
        path_ = testing::RealImage(GetParam().image);
        if (path_.empty()) {
            GTEST_SKIP() << GetParam().image << " is not in the shared image set";
        }
        listed_ = testing::FlsEntries(path_);
        if (listed_.empty()) {
            GTEST_SKIP() << "fls is not installed";
        }
        guard_.emplace(path_);
        disk_.emplace(path_);
    }
    void TearDown() override {
        if (guard_) {
            EXPECT_TRUE(guard_->Unchanged());
        }
    }

    std::string path_;
    std::vector<testing::FlsEntry> listed_;
    std::optional<ImageGuard> guard_;
    std::optional<PatchedImage> disk_;
};

class RealFolderPlacementTest : public RealVolumeTest {};

// Every folder fls lists stands at its own path with its own deleted mark, none of them under
// the orphan folder.
TEST_P(RealFolderPlacementTest, FoldersStandWhereTheirParentsNameThem) {
    const RealVolume& volume = GetParam();
    PatchedImage& disk = *disk_;
    const std::vector<testing::FlsEntry>& listed = listed_;
    const auto recovery = testing::Recover(disk, volume.fsName, 0, volume.sectors);
    std::size_t folders = 0;
    for (const testing::FlsEntry& entry : listed) {
        if (entry.kind != 'd' || volume.throughLoop.count(entry.path) != 0) {
            continue;
        }
        ++folders;
        const auto found = recovery->paths.find(entry.path);
        ASSERT_NE(found, recovery->paths.end()) << entry.path;
        EXPECT_EQ(found->second, entry.deleted) << entry.path;
    }
    EXPECT_GT(folders, 0u);
}

INSTANTIATE_TEST_SUITE_P(SharedImages, RealFolderPlacementTest,
                         ::testing::Values(RealVolume{"fat32_loop.raw",
                                                      "FAT32",
                                                      131072,
                                                      {"test_dir/4", "test_dir/n40/4/T1",
                                                       "test_dir/n40/4/T1/4"}},
                                           RealVolume{"fat_lfn_test.raw", "FAT32", 131072, {}},
                                           RealVolume{"fat_deleted_dir.raw", "FAT32", 131072, {}}),
                         TestName);

// The name of every file in the rebuilt tree, with how often it occurs.
std::map<std::string, std::size_t> TreeFileNames(testing::Recovery& recovery, SectorSource& disk) {
    std::map<std::string, std::size_t> names;
    std::set<std::uint32_t> folders{kFatRootId};
    for (const FolderNode& node : recovery.run.folderNodes.Nodes()) {
        // The orphan folder has no directory of its own.
        if (node.selfId != kOrphanFolderId) {
            folders.insert(node.selfId);
        }
    }
    for (const std::uint32_t folder : folders) {
        ForEachFatFile(recovery.run, disk, folder,
                       [&](const FatFileFacts& facts, FileTypeWording) { ++names[facts.name]; });
    }
    return names;
}

class RealFileListingTest : public RealVolumeTest {};

// Files fls can only list as orphans, their directory's first cluster and chain lost, are
// still in the tree, each as often as fls lists its name.
TEST_P(RealFileListingTest, EveryFileFlsListsIsInTheTree) {
    const RealVolume& volume = GetParam();
    PatchedImage& disk = *disk_;
    const std::vector<testing::FlsEntry>& listed = listed_;
    auto recovery = testing::Recover(disk, volume.fsName, 0, volume.sectors);
    std::map<std::string, std::size_t> expected;
    for (const testing::FlsEntry& entry : listed) {
        if (entry.kind != 'd') {
            ++expected[entry.path.substr(entry.path.rfind('/') + 1)];
        }
    }
    const std::map<std::string, std::size_t> found = TreeFileNames(*recovery, disk);
    std::vector<std::string> missing;
    for (const auto& [name, count] : expected) {
        const auto have = found.find(name);
        if (have == found.end() || have->second < count) {
            missing.push_back(name);
        }
    }
    EXPECT_TRUE(missing.empty()) << ::testing::PrintToString(missing);
    EXPECT_EQ(disk.readsOutside_, 0u);
}

INSTANTIATE_TEST_SUITE_P(SharedImages, RealFileListingTest,
                         ::testing::Values(RealVolume{"fat_deleted_dir_2.raw", "FAT16", 32768, {}},
                                           RealVolume{"fat_deleted_dir.raw", "FAT32", 131072, {}},
                                           RealVolume{"fat32_loop.raw", "FAT32", 131072, {}}),
                         TestName);

}  // namespace
}  // namespace lumarest

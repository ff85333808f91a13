#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fat/fat_file_rows.h"
#include "fat/lost_directory_recovery.h"
#include "fat/name_children.h"
#include "partitions/partition_test_disks.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

using testing::FolderPaths;
using testing::ImageGuard;
using testing::PatchedImage;
using FileNames = std::set<std::pair<std::string, bool>>;

// One directory read: each entry is (deleted?) for one cluster; which entry names the folder
// and the deleted mark it is left with.
TEST(FolderNamePassTest, ALiveEntryNamesItsFolderWhereverItStands) {
    struct Case {
        const char* what;
        bool deletedBefore;
        std::vector<bool> entriesDeleted;
        std::size_t namingEntry;
        bool deletedAfter;
    };
    const std::vector<Case> cases{
        {"live alone", false, {false}, 0, false},
        {"deleted alone", false, {true}, 0, true},
        {"deleted then live", false, {true, false}, 1, false},
        {"live then deleted", false, {false, true}, 0, false},
        {"two deleted: the last", false, {true, true}, 1, true},
        {"two live: the last", false, {false, false}, 1, false},
        {"deleted, live, deleted", false, {true, false, true}, 1, false},
        {"a folder deleted before keeps its mark", true, {true, false}, 1, true},
    };
    constexpr std::uint32_t kCluster = 9;
    for (const Case& c : cases) {
        FolderNamePass pass;
        bool deleted = c.deletedBefore;
        std::optional<std::size_t> naming;
        for (std::size_t i = 0; i < c.entriesDeleted.size(); ++i) {
            if (const auto mark = pass.Deleted(kCluster, c.entriesDeleted[i], deleted)) {
                deleted = *mark;
                naming = i;
            }
        }
        EXPECT_EQ(naming, c.namingEntry) << c.what;
        EXPECT_EQ(deleted, c.deletedAfter) << c.what;
    }
    // Another cluster of the same read is chosen on its own.
    FolderNamePass pass;
    EXPECT_EQ(pass.Deleted(1, false, false), false);
    EXPECT_EQ(pass.Deleted(2, true, false), true);
}

// ---- Volumes made by mkfs.fat and mtools, compared with fls ----

struct NameCaseVolume {
    std::string name;
    std::string fsName;
    std::uint64_t sectors = 0;
};

void PrintTo(const NameCaseVolume& volume, std::ostream* out) {
    *out << volume.name;
}

class NameCaseTest : public ::testing::TestWithParam<NameCaseVolume> {
  protected:
    void SetUp() override {
        image_ = testing::MadeImage("tests/fat/make_name_case_images.sh", "name_case_images",
                                    GetParam().name + ".img");
        ASSERT_FALSE(image_.empty());
        guard_ = std::make_unique<ImageGuard>(image_);
        disk_ = std::make_unique<PatchedImage>(image_);
        recovery_ = testing::Recover(*disk_, GetParam().fsName, 0, GetParam().sectors);
    }
    void TearDown() override {
        if (guard_) {
            EXPECT_TRUE(guard_->Unchanged());
        }
    }
    // (name, deleted) of each file the folder lists; 0 is the root.
    FileNames Files(std::uint32_t folderId) {
        FileNames files;
        ForEachFatFile(recovery_->run, *disk_, folderId,
                       [&](const FatFileFacts& facts, FileTypeWording) {
                           files.emplace(facts.name, facts.deleted);
                       });
        return files;
    }
    std::uint32_t FolderId(const std::string& name) {
        for (const FolderNode& node : recovery_->run.folderNodes.Nodes()) {
            if (node.name == name) {
                return node.selfId;
            }
        }
        ADD_FAILURE() << "no folder " << name;
        return 0;
    }

    std::string image_;
    std::unique_ptr<ImageGuard> guard_;
    std::unique_ptr<PatchedImage> disk_;
    std::unique_ptr<testing::Recovery> recovery_;
};

TEST_P(NameCaseTest, FoldersShowTheirLiveNamesInTheirCaseAndAreNotDeleted) {
    const FolderPaths expected{{"dir1", false},      {"dir2", false},  {"dir1/sub1", false},
                               {"dir1/sub2", false}, {"Mixed", false}, {"_one", true}};
    EXPECT_EQ(recovery_->paths, expected);
    for (const FolderNode& node : recovery_->run.folderNodes.Nodes()) {
        EXPECT_EQ(recovery_->run.folderTree->Text(node.treeItem), node.name);
    }
    // fls shows the deleted "New Folder" entries as folders of their own; the live folders and
    // the deleted one with no live entry are the same.
    const std::set<std::string> fls = testing::FlsFolders(image_);
    if (fls.empty()) {
        GTEST_SKIP() << "fls is not installed";
    }
    for (const auto& [path, deleted] : recovery_->paths) {
        EXPECT_TRUE(fls.contains(path)) << path;
    }
    for (const std::string& path : fls) {
        EXPECT_TRUE(path.ends_with("New Folder") || recovery_->paths.contains(path)) << path;
    }
}

TEST_P(NameCaseTest, FilesShowTheirNamesAsFlsDoes) {
    const FileNames root = Files(0);
    EXPECT_EQ(root, (FileNames{{"notes.txt", false},
                               {"README.txt", false},
                               {"photo.JPG", false},
                               {"hand.TXT", false},
                               {"_rased.txt", true}}));
    EXPECT_EQ(Files(FolderId("dir1")), (FileNames{{"inner.txt", false}}));
    const auto fls = testing::FlsUserFiles(image_);
    if (fls.empty()) {
        GTEST_SKIP() << "fls is not installed";
    }
    FileNames flsRoot;
    for (const auto& [path, deleted] : fls) {
        if (path.find('/') == std::string::npos) {
            flsRoot.emplace(path, deleted);
        }
    }
    EXPECT_EQ(root, flsRoot);
    EXPECT_TRUE(fls.contains({"dir1/inner.txt", false}));
}

INSTANTIATE_TEST_SUITE_P(MadeByMtools, NameCaseTest,
                         ::testing::Values(NameCaseVolume{"f16", "FAT16", 32768},
                                           NameCaseVolume{"f32", "FAT32", 81920}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace lumarest

#include "tree/folder_counts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/entry_rows.h"
#include "core/folder_nodes.h"
#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "disk/device_sector_source.h"
#include "disk/sector_reader.h"
#include "partitions/volume_params.h"
#include "search/standard_search.h"
#include "support/image_guard.h"
#include "tree/folder_browse.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::FixtureImage;
using testing::ImageGuard;

// What the image's maker wrote: "live|deleted <TAB> dir|file" per line, after the partition.
FolderCounts ManifestCounts(const fs::path& manifest) {
    FolderCounts counts;
    std::ifstream in(manifest);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string first, state, kind;
        std::getline(fields, first, '\t');
        std::getline(fields, state, '\t');
        std::getline(fields, kind, '\t');
        // Bare volumes have no partition column.
        if (first == "live" || first == "deleted") {
            kind = state;
            state = first;
        }
        const bool deleted = state == "deleted";
        if (kind == "dir") {
            ++counts.folders;
            counts.deletedFolders += deleted ? 1 : 0;
        } else if (kind == "file") {
            ++counts.files;
            counts.deletedFiles += deleted ? 1 : 0;
        }
    }
    return counts;
}

struct CountCase {
    const char* image;
    const char* fsName;
    bool ownFiles;  // the file system keeps files of its own that the list shows
};

class FolderCountsOfVolume : public ::testing::TestWithParam<CountCase> {};

// A searched volume counts exactly the folders and files its maker wrote, deleted ones apart.
TEST_P(FolderCountsOfVolume, MatchWhatTheVolumeHolds) {
    const std::string image = FixtureImage(GetParam().image);
    if (image.empty()) {
        GTEST_SKIP() << "the fixture images were not made";
    }
    const fs::path manifest = fs::path(image).replace_extension(".manifest");
    if (!fs::exists(manifest)) {
        GTEST_SKIP() << "no manifest beside " << image;
    }
    const ImageGuard guard(image);
    RecoveryRun run;
    DeviceSectorSource disk(ReaderContextFor(run), image, fs::file_size(image) / kSectorSize);
    run.searchMode = SearchMode::Standard;
    SetPartitionFileSystem(run.selectedPartition, GetParam().fsName);
    run.selectedPartition.startSector = 0;
    run.selectedPartition.endSector = static_cast<std::int64_t>(disk.TotalSectors()) - 1;
    NullReporter reporter;
    const bool valid = ValidatePartition(run, disk, reporter) == 1;
    RunStandardSearch(run, disk, reporter, valid);

    const FolderCounts expected = ManifestCounts(manifest);
    ASSERT_GT(expected.deletedFolders + expected.deletedFiles, 0u) << "nothing deleted to count";
    const FolderCounts counts = CountFolderContents(run, disk);
    EXPECT_EQ(counts.deletedFolders, expected.deletedFolders);
    EXPECT_EQ(counts.deletedFiles, expected.deletedFiles);
    if (GetParam().ownFiles) {
        // NTFS lists its own metadata files and folders beside what the maker wrote.
        EXPECT_GT(counts.folders, expected.folders);
        EXPECT_GT(counts.files, expected.files);
    } else {
        EXPECT_EQ(counts.folders, expected.folders);
        EXPECT_EQ(counts.files, expected.files);
    }
}

INSTANTIATE_TEST_SUITE_P(FixtureVolumes, FolderCountsOfVolume,
                         ::testing::Values(CountCase{"fat16.img", "FAT16", false},
                                           CountCase{"fat32.img", "FAT32", false},
                                           CountCase{"ntfs.img", "NTFS", true}),
                         [](const auto& info) { return std::string(info.param.fsName); });

// A folder inside a deleted folder is deleted even when its own entry was left alone; the
// orphan folder and Root are not folders of the volume.
TEST(FolderCounts, DeletedFolderMarksWhatLiesInside) {
    RecoveryRun run;
    run.folderTree = std::make_unique<TreeModel>();
    TreeModel& tree = *run.folderTree;
    const TreeItem root = tree.InsertItem(kNoItem, "Root", 0, 0);
    const auto add = [&](TreeItem parent, const char* name, std::uint32_t self, bool deleted) {
        const TreeItem item = tree.InsertItem(parent, name, 0, 0);
        FolderNode node;
        node.name = name;
        node.treeItem = item;
        node.selfId = self;
        node.deleted = deleted;
        run.folderNodes.Append(node);
        return item;
    };
    const TreeItem gone = add(root, "Gone", 10, true);
    const TreeItem inside = add(gone, "Inside", 11, false);
    const TreeItem live = add(root, "Live", 12, false);
    const TreeItem orphans = add(root, "LMR_Miscellaneous", kOrphanFolderId, false);
    add(orphans, "Lost", 13, false);

    struct {
        TreeItem item;
        bool deleted;
    } const cases[] = {
        {root, false}, {gone, true}, {inside, true}, {live, false}, {orphans, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(FolderItemDeleted(run, c.item), c.deleted) << tree.Text(c.item);
    }
    // No file system is chosen, so no files are read; every found folder is counted.
    MemoryDisk disk{std::vector<std::uint8_t>(kSectorSize)};
    const FolderCounts counts = CountFolderContents(run, disk);
    EXPECT_EQ(counts.folders, 4u);
    EXPECT_EQ(counts.deletedFolders, 2u);
    EXPECT_EQ(counts.files, 0u);
}

}  // namespace
}  // namespace lumarest

// The Standard search from boot sector to folder tree, on the fixture volumes and on copies of
// them with their boot sectors damaged.

#include "search/standard_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/entry_rows.h"
#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/ntfs_layout.h"
#include "partitions/volume_params.h"
#include "support/image_guard.h"
#include "support/recording_reporter.h"
#include "tree/folder_browse.h"
#include "tree/folder_tree_events.h"

namespace lumarest {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kFat32BackupSector = 6;

// Folder path -> deleted, as the rebuilt tree shows it.
using FolderPaths = std::map<std::string, bool>;

// The common tree of every fixture volume, and the orphan folder every search adds.
const FolderPaths kCommonFolders = {
    {"Documents", false},     {"Documents\\Old Letters", false}, {"LMR_Miscellaneous", false},
    {"Old Holiday", true},    {"Old Holiday\\Day 2", true},      {"Photos", false},
    {"Photos\\2009", false},  {"Photos\\2009\\Summer", false},   {"Photos\\2009\\Winter", false},
    {"Photos\\Scans", false},
};

std::vector<std::uint8_t> ReadImage(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::max<std::streamoff>(file.tellg(), 0)));
    file.seekg(0);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void ZeroSector(std::vector<std::uint8_t>& bytes, std::size_t sector) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(sector * kSector), kSector, 0);
}

struct Search {
    RecoveryRun run;
    testing::RecordingReporter reporter;
    StandardSearchResult result;
    int validated = 0;
};

// Validates the bare volume and runs the search over it, as Next and the worker do.
void RunSearch(Search& search, SectorSource& disk, const std::string& fsName) {
    RecoveryRun& run = search.run;
    SetPartitionFileSystem(run.selectedPartition, fsName);
    run.selectedPartition.startSector = 0;
    run.selectedPartition.endSector = static_cast<std::int64_t>(disk.TotalSectors()) - 1;
    search.validated = ValidatePartition(run, disk, search.reporter);
    const bool bootSectorValid = search.validated == 1 && fsName != "NTFS";
    search.result =
        RunStandardSearch(run, disk, search.reporter, bootSectorValid, run.scanStop.get_token());
}

FolderPaths TreePaths(RecoveryRun& run) {
    FolderPaths paths;
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        paths[ItemPath(*run.folderTree, node.treeItem)] = node.deleted;
    }
    return paths;
}

class FixtureVolumes : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureVolumes, RebuildsTheCommonTreeFromAValidBootSector) {
    const std::string fsName = GetParam();
    const std::string name = fsName == "NTFS"    ? "ntfs.img"
                             : fsName == "FAT16" ? "fat16.img"
                                                 : "fat32.img";
    const std::string image = testing::FixtureImage(name);
    ASSERT_FALSE(image.empty()) << name << " was not made: run the fixtures.make_images test";
    const testing::ImageGuard guard(image);
    MemoryDisk disk(ReadImage(image), image);
    Search search;
    RunSearch(search, disk, fsName);
    EXPECT_EQ(search.validated, 1);
    EXPECT_FALSE(search.result.stopped);
    EXPECT_TRUE(search.result.foundFolderRows);
    EXPECT_TRUE(search.run.resultsFound);
    EXPECT_EQ(search.run.activeVolume.fsName, fsName);
    EXPECT_EQ(search.run.folderTree->Text(search.run.folderTree->TopItem()), "Root");
    FolderPaths paths = TreePaths(search.run);
    // NTFS shows its own system folder beside the user's.
    paths.erase("$Extend");
    EXPECT_EQ(paths, kCommonFolders);
    // The tree holds everything; the table it was built from is emptied.
    EXPECT_TRUE(search.run.folderTable.Empty());
    EXPECT_TRUE(search.reporter.Messages().empty());
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(StandardSearch, FixtureVolumes,
                         ::testing::Values("FAT16", "FAT32", "NTFS"));

// Without a boot sector the layout is worked out from the directories, and the tree is the
// same; a FAT32 volume whose first boot sector is gone reads its backup.
TEST(StandardSearchDamaged, BootSectorsLostStillGiveTheWholeTree) {
    struct Case {
        const char* fsName;
        const char* image;
        std::vector<std::size_t> zeroed;
        int validated;
    };
    const Case cases[] = {
        {"FAT32", "fat32.img", {0}, 1},
        {"FAT32", "fat32.img", {0, kFat32BackupSector}, 0},
        {"FAT16", "fat16.img", {0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.image) + " zeroed sectors " + std::to_string(c.zeroed.size()));
        const std::string image = testing::FixtureImage(c.image);
        ASSERT_FALSE(image.empty());
        std::vector<std::uint8_t> bytes = ReadImage(image);
        for (const std::size_t sector : c.zeroed) {
            ZeroSector(bytes, sector);
        }
        MemoryDisk disk(std::move(bytes));
        Search search;
        RunSearch(search, disk, c.fsName);
        EXPECT_EQ(search.validated, c.validated);
        EXPECT_EQ(TreePaths(search.run), kCommonFolders);
        EXPECT_TRUE(search.reporter.Messages().empty());
    }
}

TEST(StandardSearchDamaged, NothingToCalculateFromIsSaidAndStillGivesATree) {
    MemoryDisk disk(std::vector<std::uint8_t>(2048 * kSector, 0));
    Search search;
    RunSearch(search, disk, "FAT32");
    EXPECT_EQ(search.validated, 0);
    const std::vector<std::string> messages = search.reporter.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.front().find(kUnableToCalculateMessage), std::string::npos);
    ASSERT_TRUE(search.run.folderTree);
    EXPECT_EQ(search.run.folderTree->Text(search.run.folderTree->TopItem()), "Root");
    EXPECT_FALSE(search.result.foundFolderRows);
}

// The root folder's record damaged (its attributes gone, its header whole) on a volume made on
// Windows: the subfolders of "$Extend", now the lowest-numbered folder, stay under it instead
// of going to the orphan folder.
TEST(StandardSearchDamaged, NtfsRootRecordDamagedKeepsSubfoldersOfTheLowestFolder) {
    const std::string image = testing::RealImage("ntfs_index.raw");
    if (image.empty()) {
        GTEST_SKIP() << "the real images are not here";
    }
    constexpr std::uint64_t kPartitionStart = 128;
    constexpr std::uint64_t kPartitionSectors = 59392;
    MemoryDisk disk(ReadImage(image));
    Search search;
    RecoveryRun& run = search.run;
    SetPartitionFileSystem(run.selectedPartition, "NTFS");
    run.selectedPartition.startSector = kPartitionStart;
    run.selectedPartition.endSector = kPartitionStart + kPartitionSectors - 1;
    ASSERT_EQ(ValidatePartition(run, disk, search.reporter), 1);
    MftRunTable table;
    ASSERT_TRUE(BuildMftRunTable(disk, NtfsLayoutOf(run.volumeParams), table));
    const std::uint64_t root = MftRecordSector(table, kNtfsRootId);
    ASSERT_NE(root, 0u);
    // The attributes of the record's first sector, short of the fix-up's last two bytes.
    std::uint8_t* record = disk.Bytes().data() + root * kSector;
    const std::size_t firstAttribute = record[20] | (record[21] << 8);
    ASSERT_LT(firstAttribute, kSector - 2);
    std::fill(record + firstAttribute, record + kSector - 2, 0);

    search.result = RunStandardSearch(run, disk, search.reporter, false, run.scanStop.get_token());
    const FolderPaths paths = TreePaths(run);
    EXPECT_EQ(paths.count("$Extend\\$RmMetadata"), 1u);
    for (const auto& [path, deleted] : paths) {
        EXPECT_NE(path.rfind("LMR_Miscellaneous\\", 0), 0u) << path;
    }
}

// Records of 3072 bytes, which only a damaged boot sector names, are refused with the size.
TEST(StandardSearchDamaged, NtfsRecordsOf3072BytesAreRefused) {
    MemoryDisk disk(std::vector<std::uint8_t>(64 * kSector, 0));
    Search search;
    SetPartitionFileSystem(search.run.selectedPartition, "NTFS");
    search.run.volumeParams.mftRecordSectors = 6;
    RunStandardSearch(search.run, disk, search.reporter, true, search.run.scanStop.get_token());
    const std::vector<std::string> messages = search.reporter.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages.front().find("3072 bytes long"), std::string::npos) << messages.front();
    EXPECT_EQ(search.run.fileTable.RowCount(), 0u);
}

// A stop before the scan reads anything still ends with a browsable tree: "Root" and the
// orphan folder.
TEST(StandardSearchStop, StoppedSearchKeepsABrowsableTree) {
    for (const char* fsName : {"FAT32", "NTFS"}) {
        SCOPED_TRACE(fsName);
        const std::string image =
            testing::FixtureImage(std::string(fsName) == "NTFS" ? "ntfs.img" : "fat32.img");
        ASSERT_FALSE(image.empty());
        MemoryDisk disk(ReadImage(image));
        Search search;
        search.run.scanStop.request_stop();
        RunSearch(search, disk, fsName);
        EXPECT_TRUE(search.result.stopped);
        EXPECT_FALSE(search.result.foundFolderRows);
        EXPECT_EQ(TreePaths(search.run), (FolderPaths{{"LMR_Miscellaneous", false}}));
        EXPECT_TRUE(search.reporter.Messages().empty());
    }
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "ntfs/mft_scan_volumes.h"
#include "ntfs/ntfs_file_rows.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "tree/folder_tree_build.h"
#include "tree/named_folder_tree.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::ImageGuard;

std::string ShellQuoted(const std::string& text) {
    return "'" + text + "'";
}

// Volumes written through ntfs-3g at test time by the two image scripts.
class MadeVolumeTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        for (const char* script : {"make_mft_scan_image.sh", "make_ntfs_images.sh"}) {
            const std::string command =
                "bash " + ShellQuoted(std::string(LUMAREST_SOURCE_DIR) + "/tests/ntfs/" + script) +
                " " + ShellQuoted(Folder().string()) + " >/dev/null 2>&1";
            const int status = std::system(command.c_str());
            if (status_ == 0 || status_ == -1) {
                status_ = status;
            }
        }
    }

    void SetUp() override {
        if (WIFEXITED(status_) && WEXITSTATUS(status_) == 77) {
            GTEST_SKIP() << "the ntfs-3g FUSE mount does not work here";
        }
        ASSERT_EQ(status_, 0) << "an NTFS image script failed";
    }

    static fs::path Folder() { return fs::path(LUMAREST_FIXTURE_DIR) / "ntfs_test"; }
    static std::string Image(const std::string& name) { return (Folder() / name).string(); }

    // "number<TAB>path" of every file the scan script made, deleted ones included.
    static std::map<std::string, std::uint32_t> MadeRecords() {
        std::map<std::string, std::uint32_t> records;
        std::ifstream file(Folder() / "scan.records");
        std::string line;
        while (std::getline(file, line)) {
            const auto tab = line.find('\t');
            records[line.substr(tab + 1)] = static_cast<std::uint32_t>(std::stoul(line));
        }
        return records;
    }

    static inline int status_ = -1;
};

// Nested folders, long names, names in Greek, Japanese and emoji, a long name beside its DOS
// name, deleted files and a deleted tree: every entry The Sleuth Kit lists, live or deleted,
// is a row with the same record number, path, deletion and size, and there is no other.
TEST_F(MadeVolumeTest, ScanListsWhatFlsListsWithSizes) {
    if (!testing::ToolInstalled("fls")) {
        GTEST_SKIP() << "fls is not installed";
    }
    for (const std::string name : {"scan.img", "names.img"}) {
        const std::string image = Image(name);
        const ImageGuard guard(image);
        MemoryDisk disk = testing::LoadDisk(image);
        RecoveryRun run;
        testing::ScanVolume(run, disk, 0);
        const std::set<std::string> expected =
            testing::FlsLines(testing::FlsOutput(image, "-r -p -l"), true);
        EXPECT_GT(expected.size(), 10u) << name;
        EXPECT_EQ(testing::ScannedLines(run, true), expected) << name;
        EXPECT_TRUE(guard.Unchanged()) << name;
    }
}

// The record numbers the mount gave each file and folder, deleted ones too, are the rows'
// numbers; no row carries a DOS name where a long name exists.
TEST_F(MadeVolumeTest, RowsCarryTheNumbersTheMountGave) {
    const ImageGuard guard(Image("scan.img"));
    MemoryDisk disk = testing::LoadDisk(Image("scan.img"));
    RecoveryRun run;
    testing::ScanVolume(run, disk, 0);
    const auto rows = testing::RowsBySelf(run);
    const auto made = MadeRecords();
    ASSERT_GT(made.size(), 20u);
    for (const auto& [path, number] : made) {
        ASSERT_EQ(rows.count(number), 1u) << path;
        EXPECT_EQ(testing::RowPath(rows, number), path);
    }
    EXPECT_EQ(rows.at(made.at("Old Trip")).deleted, true);
    EXPECT_EQ(rows.at(made.at("Old Trip/Sub/day2.jpg")).deleted, true);
    EXPECT_EQ(rows.at(made.at("Documents")).deleted, false);
    EXPECT_EQ(rows.at(made.at("big.bin")).size, "5000000");
    EXPECT_EQ(rows.at(made.at("resident300.txt")).size, "300");
    for (const auto& [self, row] : rows) {
        EXPECT_NE(row.name, "LONGNA~1.TXT");
    }
    EXPECT_TRUE(guard.Unchanged());
}

// A slot overwritten with garbage in the middle of the table is left out, and the records
// after it keep their numbers.
TEST_F(MadeVolumeTest, AGarbageSlotLeavesLaterNumbersAlone) {
    const ImageGuard guard(Image("scan.img"));
    MemoryDisk disk = testing::LoadDisk(Image("scan.img"));
    RecoveryRun before;
    const MftRunTable table = testing::ScanVolume(before, disk, 0);
    const auto made = MadeRecords();
    const std::uint32_t garbage = made.at("garbage_me.txt");
    const std::uint64_t sector = MftRecordSector(table, garbage);
    ASSERT_NE(sector, 0u);
    std::fill_n(disk.Bytes().begin() + static_cast<std::ptrdiff_t>(sector * kSectorSize),
                kMftRecordBytes, 0xA5);

    RecoveryRun after;
    testing::ScanVolume(after, disk, 0);
    auto expected = testing::RowsBySelf(before);
    ASSERT_EQ(expected.erase(garbage), 1u);
    const auto rows = testing::RowsBySelf(after);
    ASSERT_EQ(rows.size(), expected.size());
    for (const auto& [self, row] : expected) {
        ASSERT_EQ(rows.count(self), 1u) << row.name;
        EXPECT_EQ(rows.at(self).name, row.name);
    }
    EXPECT_EQ(testing::RowPath(rows, made.at("after_garbage.txt")), "after_garbage.txt");
    EXPECT_GT(made.at("after_garbage.txt"), garbage);
    EXPECT_TRUE(guard.Unchanged());
}

// "Root/Photos/2009" for every folder of the built tree.
std::set<std::string> TreePaths(const RecoveryRun& run) {
    std::set<std::string> paths;
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        std::string path;
        for (TreeItem item = node.treeItem; item != kNoItem; item = run.folderTree->Parent(item)) {
            path =
                path.empty() ? run.folderTree->Text(item) : run.folderTree->Text(item) + "/" + path;
        }
        paths.insert(path + (node.deleted ? " (deleted)" : ""));
    }
    return paths;
}

// "name size type self" of the file list.
std::vector<std::string> ListedFiles(RecoveryRun& run, std::uint32_t folderId) {
    run.fileList.Clear();
    AddNtfsFileRows(run, 0, folderId);
    std::vector<std::string> files;
    for (std::size_t row = 0; row < run.fileList.RowCount(); ++row) {
        const auto& cells = run.fileList.Row(row);
        files.push_back(cells[0] + " " + cells[2] + " " + cells[1] + " " + cells[7]);
    }
    return files;
}

// The scan's rows become the folder tree and the file lists as a Standard search shows them;
// with the "2009" folder's record overwritten, its subfolders hang under the orphan folder
// with their own subfolders still inside them.
TEST_F(MadeVolumeTest, ScannedRowsBuildTheFolderTreeAndFileLists) {
    const ImageGuard guard(Image("scan.img"));
    MemoryDisk disk = testing::LoadDisk(Image("scan.img"));
    const auto made = MadeRecords();
    const auto build = [&](RecoveryRun& run) {
        testing::ScanVolume(run, disk, 0);
        NullReporter reporter;
        run.folderTable.SortByColumn(kEntrySelf);
        ReattachOrphans(run.folderTable, reporter, ProgressBar::MainScan, kNtfsRootId, 1);
        run.folderTable.SortByColumn(kEntryParent);
        EXPECT_EQ(BuildNamedFolderTree(run, run.folderTable, reporter, ProgressBar::MainScan,
                                       kNtfsRootId),
                  1);
    };
    RecoveryRun run;
    build(run);
    EXPECT_TRUE(run.resultsFound);
    EXPECT_EQ(TreePaths(run),
              (std::set<std::string>{"Root/$Extend", "Root/Documents", "Root/LMR_Miscellaneous",
                                     "Root/Old Trip (deleted)", "Root/Old Trip/Sub (deleted)",
                                     "Root/Photos", "Root/Photos/2009", "Root/Photos/2009/Summer",
                                     "Root/Photos/2009/Summer/Beach", "Root/Photos/2009/Winter",
                                     "Root/Ελληνικά", "Root/日本語", "Root/🎉 party"}));
    const std::string beach = std::to_string(made.at("Photos/2009/Summer/Beach/IMG_0001.JPG"));
    const std::string beach2 = std::to_string(made.at("Photos/2009/Summer/Beach/IMG_0002.JPG"));
    EXPECT_EQ(ListedFiles(run, made.at("Photos/2009/Summer/Beach")),
              (std::vector<std::string>{"IMG_0001.JPG 10 Image File " + beach,
                                        "IMG_0002.JPG 27 Image File " + beach2}));
    EXPECT_EQ(ListedFiles(run, made.at("Old Trip/Sub")),
              (std::vector<std::string>{"day2.jpg 8 Image File " +
                                        std::to_string(made.at("Old Trip/Sub/day2.jpg"))}));
    const std::vector<std::string> root = ListedFiles(run, kNtfsRootId);
    for (const std::string name :
         {"README.TXT 8 Text file", "big.bin 5000000 File", "resident300.txt 300 Text file",
          "garbage_me.txt 27 Text file"}) {
        EXPECT_EQ(std::count_if(root.begin(), root.end(),
                                [&](const std::string& row) { return row.rfind(name, 0) == 0; }),
                  1)
            << name;
    }

    const std::uint64_t sector =
        MftRecordSector(testing::ScanVolume(run, disk, 0), made.at("Photos/2009"));
    std::fill_n(disk.Bytes().begin() + static_cast<std::ptrdiff_t>(sector * kSectorSize),
                kMftRecordBytes, 0);
    RecoveryRun damaged;
    build(damaged);
    const std::set<std::string> paths = TreePaths(damaged);
    EXPECT_EQ(paths.count("Root/LMR_Miscellaneous/Summer/Beach"), 1u);
    EXPECT_EQ(paths.count("Root/LMR_Miscellaneous/Winter"), 1u);
    EXPECT_EQ(paths.count("Root/Photos/2009"), 0u);
    EXPECT_EQ(paths.count("Root/Photos"), 1u);
    EXPECT_TRUE(guard.Unchanged());
}

struct RealVolume {
    const char* image;
    std::uint64_t firstSector;
    const char* listing;
};

std::uint32_t LineNumber(const std::string& line) {
    return static_cast<std::uint32_t>(std::stoul(line));
}

// Volumes made by others, Windows' and the older record layout among them: every entry of
// their listings is a row at its record number, under one of the paths listed for that
// record (a file with a hundred hard links is listed once), and there is no other row.
TEST(MftScanRealVolumes, ScanListsWhatTheListingsList) {
    const std::vector<RealVolume> volumes = {
        {"ntfs3.raw", 0, "ntfs3.raw.fls.txt"},
        {"ntfs3_attrlist.raw", 0, "ntfs3_attrlist.raw.fls.txt"},
        {"ntfs_index.raw", 128, "ntfs_index.raw.o128.fls.txt"},
    };
    for (const RealVolume& real : volumes) {
        const std::string image = testing::RealImage(real.image);
        if (image.empty()) {
            GTEST_SKIP() << "the shared images are not here";
        }
        const ImageGuard guard(image);
        MemoryDisk disk = testing::LoadDisk(image);
        RecoveryRun run;
        testing::ScanVolume(run, disk, real.firstSector);
        const std::set<std::string> listed =
            testing::FlsLines(testing::StoredFlsListing(real.listing), false);
        const std::set<std::string> scanned = testing::ScannedLines(run, false);
        EXPECT_GT(listed.size(), 3u) << real.image;
        std::set<std::uint32_t> listedNumbers;
        std::set<std::uint32_t> scannedNumbers;
        for (const std::string& line : listed) {
            listedNumbers.insert(LineNumber(line));
        }
        for (const std::string& line : scanned) {
            scannedNumbers.insert(LineNumber(line));
            EXPECT_EQ(listed.count(line), 1u) << real.image << ": " << line;
        }
        EXPECT_EQ(scannedNumbers, listedNumbers) << real.image;
        EXPECT_TRUE(guard.Unchanged()) << image;
    }
}

}  // namespace
}  // namespace lumarest

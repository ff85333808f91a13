#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ntfs/mft_scan_volumes.h"
#include "support/image_guard.h"

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
    if (!testing::HaveFls()) {
        GTEST_SKIP() << "fls is not installed";
    }
    for (const std::string name : {"scan.img", "names.img"}) {
        const std::string image = Image(name);
        const ImageGuard guard(image);
        MemoryDisk disk = testing::LoadDisk(image);
        RecoveryRun run;
        testing::ScanVolume(run, disk, 0);
        const std::set<std::string> expected = testing::FlsLines(
            testing::CommandOutput("fls -r -p -l " + ShellQuoted(image) + " 2>/dev/null"), true);
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

struct RealVolume {
    const char* image;
    std::uint64_t firstSector;
    const char* listing;
};

std::string StoredListing(const std::string& name) {
    std::ifstream file(fs::path(LUMAREST_REALDATA_DIR) / "listings" / name);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

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
        const std::set<std::string> listed = testing::FlsLines(StoredListing(real.listing), false);
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

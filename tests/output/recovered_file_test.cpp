#include "output/recovered_file.h"
#include "fat/fat_file_data.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "core/text_number.h"
#include "fat/fat_chain.h"
#include "ntfs/ntfs_test_volumes.h"
#include "output/listing_volumes.h"
#include "support/image_guard.h"
#include "support/volume_files.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::ImageGuard;
using testing::ListingVolume;
using testing::LoadedVolume;

// A folder of its own under the build's fixtures, emptied for each test.
fs::path ScratchFolder(const std::string& name) {
    const fs::path folder = fs::path(LUMAREST_FIXTURE_DIR) / "recovered_file_scratch" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

TEST(TempFileName, KeepsTheTextAfterTheFirstDot) {
    EXPECT_EQ(TempFileName(0, "photo.jpg"), "LMRC0.jpg");
    EXPECT_EQ(TempFileName(1, "backup.tar.gz"), "LMRC1.tar.gz");
    EXPECT_EQ(TempFileName(3, "README"), "LMRC3.README");
    EXPECT_EQ(TempFilePath("/tmp/work", "LMRC0.jpg"), "/tmp/work/LMRC0.jpg");
    EXPECT_EQ(TempFilePath("/tmp/work/", "LMRC0.jpg"), "/tmp/work/LMRC0.jpg");
}

// A name from a damaged disk never leads out of the working folder nor past a file name's
// length, and a long name keeps its real extension.
TEST(TempFileName, StaysOneFileNameInTheFolder) {
    EXPECT_EQ(TempFileName(2, "a./../../etc/passwd"), "LMRC2._.._.._etc_passwd");
    const std::string longName = "x." + std::string(300, 'y') + "写真.jpg";
    const std::string temp = TempFileName(7, longName);
    EXPECT_LE(temp.size(), 255u);
    EXPECT_EQ(temp.substr(temp.size() - 10), "写真.jpg");
    EXPECT_EQ(TempFilePath("", "LMRC0.jpg"), "LMRC0.jpg");
}

TEST(CreateFolderPath, CreatesEveryMissingFolder) {
    const fs::path scratch = ScratchFolder("folders");
    const std::string nested = (scratch / "a" / "b" / "c").string();
    EXPECT_TRUE(CreateFolderPath(nested));
    EXPECT_TRUE(fs::is_directory(nested));
    EXPECT_TRUE(CreateFolderPath(nested + "/"));
    std::ofstream(scratch / "file") << "x";
    EXPECT_FALSE(CreateFolderPath((scratch / "file" / "sub").string()));
    EXPECT_FALSE(CreateFolderPath(""));
}

// A FAT16 volume in memory: one sector per cluster, cluster c at sector 10 + c, one FAT
// sector (256 clusters) at sector 1; cluster c holds the byte c throughout.
struct SmallFat16 {
    SmallFat16() : disk(std::vector<std::uint8_t>(300 * kSectorSize)) {
        SetVolumeFileSystem(volume, "FAT16");
        volume.sectorsPerCluster = 1;
        volume.sectorsPerFat = 1;
        volume.firstFat = 1;
        volume.cluster0Start = 10;
        for (std::uint32_t c = 2; c < 290; ++c) {
            std::fill_n(&disk.Bytes()[(10 + c) * kSectorSize], kSectorSize,
                        static_cast<std::uint8_t>(c));
        }
    }
    void Link(std::uint16_t from, std::uint16_t to) {
        disk.Bytes()[kSectorSize + from * 2] = static_cast<std::uint8_t>(to);
        disk.Bytes()[kSectorSize + from * 2 + 1] = static_cast<std::uint8_t>(to >> 8);
    }
    RecoveredFileStatus Write(std::uint32_t first, std::uint64_t size, bool deleted) {
        std::ostringstream out;
        const RecoveredFileStatus status =
            WriteFatFileData(volume, disk, first, size, deleted, out);
        bytes = out.str();
        return status;
    }
    ActiveVolume volume;
    MemoryDisk disk;
    std::string bytes;
};

// The clusters c, c+1, ... as the file's bytes, cut to `size`.
std::string Clusters(std::initializer_list<std::uint8_t> clusters, std::size_t size) {
    std::string bytes;
    for (const std::uint8_t c : clusters) {
        bytes += std::string(kSectorSize, static_cast<char>(c));
    }
    return bytes.substr(0, size);
}

// A live file is its chain; a deleted one goes on after a freed chain only through clusters
// the FAT marks free; loops, marks and the volume's end stop both, whatever the size says.
TEST(WriteFatFileData, ReadsNoMoreThanTheChainAndTheFreeClustersAfterIt) {
    struct Case {
        const char* row;
        std::uint32_t first;
        std::uint64_t size;
        bool deleted;
        RecoveredFileStatus status;
        std::string bytes;
    };
    const std::vector<Case> cases{
        {"live chain", 5, 1000, false, RecoveredFileStatus::Written, Clusters({5, 9}, 1000)},
        {"live chain, size past it", 5, 0xFFFFFFFF, false, RecoveredFileStatus::Incomplete,
         Clusters({5, 9}, 1024)},
        {"live, freed chain", 20, 1300, false, RecoveredFileStatus::Incomplete,
         Clusters({20}, 512)},
        {"deleted, freed chain", 20, 1300, true, RecoveredFileStatus::Written,
         Clusters({20, 21, 22}, 1300)},
        {"deleted, up to a used cluster", 20, 0xFFFFFFFF, true, RecoveredFileStatus::Incomplete,
         Clusters({20, 21, 22, 23}, 2048)},
        {"deleted, up to a bad cluster", 40, 0xFFFFFFFF, true, RecoveredFileStatus::Incomplete,
         Clusters({40, 41}, 1024)},
        {"deleted, chain ends in a mark", 5, 0xFFFFFFFF, true, RecoveredFileStatus::Incomplete,
         Clusters({5, 9}, 1024)},
        {"deleted, looping chain", 30, 4000, true, RecoveredFileStatus::Incomplete,
         Clusters({30, 31}, 1024)},
        {"deleted, volume end", 250, 0xFFFFFFFF, true, RecoveredFileStatus::Incomplete,
         Clusters({250, 251, 252, 253, 254, 255}, 3072)},
        {"empty", 0, 0, false, RecoveredFileStatus::Written, ""},
        {"cluster 0", 0, 10, true, RecoveredFileStatus::NoData, ""},
        {"past the volume", 300, 10, true, RecoveredFileStatus::NoData, ""},
    };
    SmallFat16 fat;
    fat.Link(5, 9);
    fat.Link(9, 0xFFFF);
    fat.Link(24, 0xFFFF);
    fat.Link(30, 31);
    fat.Link(31, 30);
    fat.Link(42, 0xFFF7);
    for (const Case& c : cases) {
        EXPECT_EQ(fat.Write(c.first, c.size, c.deleted), c.status) << c.row;
        EXPECT_TRUE(fat.bytes == c.bytes) << c.row << ": " << fat.bytes.size() << " bytes";
    }
    fat.volume.sectorsPerCluster = 0x80000000;
    EXPECT_EQ(fat.Write(5, 10, false), RecoveredFileStatus::NoData);
}

// Every file of the root, Docs and Docs/写真 comes back as written: long names, a fragmented
// file, and the deleted IMAGE.JPG whose clusters were freed.
class RecoveredFatFile : public ::testing::TestWithParam<ListingVolume> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::MakeListingImages());
        guard_.emplace(testing::ListingImage(GetParam()));
    }
    void TearDown() override {
        if (guard_) {
            EXPECT_TRUE(guard_->Unchanged());
        }
    }
    std::optional<ImageGuard> guard_;
};

TEST_P(RecoveredFatFile, ListedFilesReadBackAsWritten) {
    const std::string image = testing::ListingImage(GetParam());
    LoadedVolume volume(GetParam());
    const std::map<std::string, std::string> sources{
        {"PHOTO.JPG", "photo.jpg"},
        {"ARCHIVE.ZIP", "archive.zip"},
        {"Holiday photo 2009.jpg", "holiday.jpg"},
        {"写真の説明.txt", "japanese.txt"},
        {"Party \xF0\x9F\x8E\x89", "emoji"},
        {"F07.TXT", "short.txt"},
        {"_MAGE.JPG", "image.jpg"},
        {"HOLE3.TXT", "hole.txt"},
        {"fragmented.bin", "fragmented.bin"},
        {"海の日.txt", "nested.txt"},
    };
    const std::uint32_t docs = volume.ClusterOf(0, "Docs");
    const std::uint32_t fragmented = volume.ClusterOf(docs, "fragmented.bin");
    const std::vector<std::uint32_t> chain =
        BuildClusterChain(volume.run.activeVolume, volume.disk, fragmented);
    ASSERT_GT(chain.size(), 2u);
    const auto jump = std::adjacent_find(
        chain.begin(), chain.end(), [](std::uint32_t a, std::uint32_t b) { return b != a + 1; });
    EXPECT_NE(jump, chain.end()) << "fragmented.bin should not lie in one piece";

    const fs::path scratch = ScratchFolder(GetParam().name);
    auto files = testing::VolumeFiles(volume.run, volume.disk, 0);
    for (const std::uint32_t folder : {docs, volume.ClusterOf(docs, "写真")}) {
        const auto more = testing::VolumeFiles(volume.run, volume.disk, folder);
        files.insert(files.end(), more.begin(), more.end());
    }
    std::size_t checked = 0;
    for (std::size_t row = 0; row < files.size(); ++row) {
        const auto& [cells, file] = files[row];
        const auto source = sources.find(cells.name);
        if (source == sources.end()) {
            continue;
        }
        const std::string name = TempFileName(static_cast<std::uint32_t>(row), cells.name);
        const std::string path = TempFilePath(scratch.string(), name);
        EXPECT_EQ(WriteListedCopy(volume.run, volume.disk, file, scratch.string(), name),
                  RecoveredFileStatus::Written)
            << cells.name;
        EXPECT_TRUE(testing::FileText(path) == testing::WrittenBytes(source->second)) << cells.name;
        ++checked;
    }
    EXPECT_EQ(checked, sources.size());
}

// An older copy under the temporary name is replaced, not written through: a link left
// there does not lead the bytes into another file.
TEST_P(RecoveredFatFile, OlderCopyIsReplacedNotWrittenThrough) {
    LoadedVolume volume(GetParam());
    const fs::path scratch = ScratchFolder(GetParam().name + "_old");
    const fs::path other = scratch / "other.txt";
    std::ofstream(other) << "someone else's file";
    const fs::path target = scratch / "LMRC0.JPG";
    fs::create_symlink(other, target);
    FileRef row;
    row.size = 3000;
    row.firstCluster = volume.ClusterOf(0, "PHOTO.JPG");
    EXPECT_EQ(WriteListedCopy(volume.run, volume.disk, row, scratch.string(), "LMRC0.JPG"),
              RecoveredFileStatus::Written);
    EXPECT_EQ(testing::FileText(other), "someone else's file");
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_TRUE(testing::FileText(target) == testing::WrittenBytes("photo.jpg"));
    EXPECT_EQ(WriteListedCopy(volume.run, volume.disk, row, (scratch / "no").string(), "x"),
              RecoveredFileStatus::WriteFailed);
    // Only the copy and the other file: nothing half-written is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch), fs::directory_iterator()), 2);
}

INSTANTIATE_TEST_SUITE_P(Volumes, RecoveredFatFile, ::testing::ValuesIn(testing::ListingVolumes()),
                         [](const auto& info) { return info.param.name; });

// An NTFS file is found by its record's sector, or by its number when the sector holds no
// record, and written whole: a fragmented and a large file.
TEST(RecoveredNtfsFile, ListedFileReadsBackAsWritten) {
    const fs::path folder = fs::path(LUMAREST_FIXTURE_DIR) / "ntfs_test";
    const int status =
        std::system(("bash '" + std::string(LUMAREST_SOURCE_DIR) +
                     "/tests/ntfs/make_ntfs_images.sh' '" + folder.string() + "' >/dev/null 2>&1")
                        .c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "the ntfs-3g FUSE mount does not work here";
    }
    ASSERT_EQ(status, 0);
    const std::string image = (folder / "names.img").string();
    const ImageGuard guard(image);
    MemoryDisk disk = testing::LoadDisk(image);
    RecoveryRun run;
    const NtfsLayout layout = testing::LayoutFromBootSector(disk, 0);
    SetVolumeFileSystem(run.activeVolume, "NTFS");
    run.activeVolume.cluster0Start = static_cast<std::uint32_t>(layout.cluster0Start);
    run.activeVolume.sectorsPerCluster = layout.sectorsPerCluster;
    run.activeVolume.mftSector = static_cast<std::uint32_t>(layout.mftSector);
    MftRunTable table;
    ASSERT_TRUE(BuildMftRunTable(disk, layout, table));
    const auto records = testing::WalkVolume(disk, layout, table);
    const fs::path scratch = ScratchFolder("ntfs");
    // A link left under the name of the copy must not lead the bytes into another file.
    std::ofstream(scratch / "other.txt") << "someone else's file";
    fs::create_symlink(scratch / "other.txt", scratch / "big.bin");
    for (const std::string name : {"fragmented.bin", "big.bin"}) {
        const auto record = std::find_if(records.begin(), records.end(),
                                         [&](const auto& r) { return r.second.name.name == name; });
        ASSERT_NE(record, records.end()) << name;
        const std::uint64_t sector = MftRecordSector(table, record->first);
        const std::string expected = testing::FileBytes((folder / "files" / name).string());
        for (const auto& [sectorCell, recordCell] :
             {std::pair<std::uint64_t, std::uint32_t>{sector, 0xFFFFFFFF},
              std::pair<std::uint64_t, std::uint32_t>{0, record->first}}) {
            const std::string path = (scratch / name).string();
            FileRef row;
            row.size = expected.size();
            row.recordSector = sectorCell;
            row.recordNumber = recordCell;
            EXPECT_EQ(WriteListedCopy(run, disk, row, scratch.string(), name),
                      RecoveredFileStatus::Written)
                << name << " " << sectorCell;
            EXPECT_TRUE(testing::FileText(path) == expected) << name << " " << sectorCell;
        }
    }
    EXPECT_EQ(testing::FileText(scratch / "other.txt"), "someone else's file");
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "ntfs/ntfs_test_volumes.h"
#include "partitions/volume_params.h"
#include "support/command_output.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::CommandOutput;
using testing::ImageGuard;
using testing::WalkedRecord;

struct Volume {
    MemoryDisk disk;
    NtfsLayout layout;
    MftRunTable table;
    std::map<std::uint32_t, WalkedRecord> records;
};

Volume OpenVolume(const std::string& path, std::uint64_t firstSector) {
    Volume volume{testing::LoadDisk(path), {}, {}, {}};
    volume.layout = testing::LayoutFromBootSector(volume.disk, firstSector);
    EXPECT_TRUE(BuildMftRunTable(volume.disk, volume.layout, volume.table)) << path;
    volume.records = testing::WalkVolume(volume.disk, volume.layout, volume.table);
    return volume;
}

// "live dir Documents/Old Letters 0" per named record below the root, system files left out.
std::set<std::string> ListedTree(const Volume& volume) {
    std::set<std::string> lines;
    for (const auto& [number, record] : volume.records) {
        if (number < 24 || record.name.name.rfind('$', 0) == 0) {
            continue;
        }
        const bool directory = (record.flags & kRecordIsDirectory) != 0;
        const bool live = (record.flags & kRecordInUse) != 0;
        lines.insert(std::string(live ? "live" : "deleted") + "\t" + (directory ? "dir" : "file") +
                     "\t" + testing::PathOf(volume.records, number) + "\t" +
                     std::to_string(directory ? 0 : record.size.value_or(0)));
    }
    return lines;
}

std::set<std::string> ManifestTree(const std::string& manifest, const std::string& volumeNumber) {
    std::set<std::string> lines;
    std::ifstream file(manifest);
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind(volumeNumber + "\t", 0) == 0) {
            lines.insert(line.substr(volumeNumber.size() + 1));
        }
    }
    return lines;
}

// The fixture volumes: every folder and file of the manifest, live or deleted, is found under
// its path with its size, and nothing else is.
TEST(NtfsVolumes, FixtureVolumesListTheirManifests) {
    const std::string ntfs = testing::FixtureImage("ntfs.img");
    const std::string demo = testing::FixtureImage("demo.img");
    ASSERT_FALSE(ntfs.empty());
    ASSERT_FALSE(demo.empty());
    const ImageGuard ntfsGuard(ntfs);
    const ImageGuard demoGuard(demo);
    const fs::path folder = fs::path(ntfs).parent_path();
    EXPECT_EQ(ListedTree(OpenVolume(ntfs, 0)),
              ManifestTree((folder / "ntfs.manifest").string(), "0"));
    EXPECT_EQ(ListedTree(OpenVolume(demo, 104448)),
              ManifestTree((folder / "demo.manifest").string(), "3"));
    EXPECT_TRUE(ntfsGuard.Unchanged());
    EXPECT_TRUE(demoGuard.Unchanged());
}

// The layout a validated NTFS partition leaves in the run places the master file table
// where the boot sector says.
TEST(NtfsVolumes, ValidatedPartitionGivesTheLayout) {
    const std::string demo = testing::FixtureImage("demo.img");
    ASSERT_FALSE(demo.empty());
    const ImageGuard guard(demo);
    MemoryDisk disk = testing::LoadDisk(demo);
    RecoveryRun run;
    SetPartitionFileSystem(run.selectedPartition, "NTFS");
    run.selectedPartition.startSector = 104448;
    run.selectedPartition.endSector = 104448 + 32768 - 1;
    NullReporter reporter;
    ASSERT_EQ(ValidatePartition(run, disk, reporter), 1);
    const NtfsLayout layout = NtfsLayoutOf(run.volumeParams);
    const NtfsLayout expected = testing::LayoutFromBootSector(disk, 104448);
    EXPECT_EQ(layout.cluster0Start, expected.cluster0Start);
    EXPECT_EQ(layout.sectorsPerCluster, expected.sectorsPerCluster);
    EXPECT_EQ(layout.mftSector, expected.mftSector);
    MftRunTable table;
    EXPECT_TRUE(BuildMftRunTable(disk, layout, table));
    EXPECT_TRUE(guard.Unchanged());
}

// Every file of the fixture volume, deleted ones included, reads back as The Sleuth Kit's
// icat gives it, and the small ones as the fixture builder wrote them.
TEST(NtfsVolumes, FixtureFilesReadBackWhole) {
    const std::string ntfs = testing::FixtureImage("ntfs.img");
    ASSERT_FALSE(ntfs.empty());
    const ImageGuard guard(ntfs);
    Volume volume = OpenVolume(ntfs, 0);
    const bool icat = lumarest::testing::ToolInstalled("icat");
    std::map<std::string, std::string> texts;
    for (const auto& [number, record] : volume.records) {
        if (number < 24 || (record.flags & kRecordIsDirectory) != 0 ||
            record.name.name.rfind('$', 0) == 0) {
            continue;
        }
        std::ostringstream data;
        EXPECT_EQ(WriteFileData(volume.disk, volume.layout, volume.table, number, data),
                  FileDataStatus::Written)
            << record.name.name;
        EXPECT_EQ(data.str().size(), record.size.value_or(0)) << record.name.name;
        texts[record.name.name] = data.str();
        if (icat) {
            const std::string expected = CommandOutput("icat -f ntfs '" + ntfs + "' " +
                                                       std::to_string(number) + " 2>/dev/null");
            EXPECT_TRUE(data.str() == expected) << record.name.name;
        }
    }
    EXPECT_EQ(texts["notes.txt"], "Buy film for the summer trip.\n");
    EXPECT_EQ(texts["Deleted Draft.txt"], "This draft was deleted.\n");
    EXPECT_EQ(texts["trip notes.txt"], "Day one: we walked to the lake.\n");
    const std::string& report = texts["Annual Report 2009.txt"];
    EXPECT_EQ(report.substr(0, 23), "Annual report line 001\n");
    EXPECT_EQ(report.substr(report.size() - 23), "Annual report line 200\n");
    EXPECT_EQ(texts["old_scan.bmp"].substr(0, 2), "BM");
    EXPECT_EQ(texts["Beach Day.jpg"].substr(0, 3), "\xFF\xD8\xFF");
    EXPECT_TRUE(guard.Unchanged());
}

// The live entries of a stored fls listing, without attribute streams and the orphans' virtual
// folder, whose address names no attribute.
std::vector<testing::FlsEntry> FlsEntries(const std::string& listing) {
    std::vector<testing::FlsEntry> entries =
        testing::ParseFlsListing(testing::StoredFlsListing(listing));
    std::erase_if(entries, [](const testing::FlsEntry& entry) {
        const bool virtualEntry = entry.address.find('-') == std::string::npos;
        return entry.deleted || entry.reallocated || virtualEntry ||
               entry.path.find(':') != std::string::npos;
    });
    return entries;
}

// True when one of the record's long names puts it at `path`.
bool NamedAt(const Volume& volume, const WalkedRecord& record, const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash);
    for (const FileNameInfo& name : record.allNames) {
        if (name.nameSpace != NameSpace::Dos && name.name == base &&
            testing::PathOf(volume.records, name.parent) == folder) {
            return true;
        }
    }
    return false;
}

struct RealVolume {
    const char* image;
    std::uint64_t firstSector;
    const char* listing;
};

// Volumes made by others, the older record layout and Windows' among them: every live entry
// The Sleuth Kit lists is found at its record number under the same path.
TEST(NtfsVolumes, RealVolumesNameEveryEntryOfTheirListings) {
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
        const Volume volume = OpenVolume(image, real.firstSector);
        const std::vector<testing::FlsEntry> entries = FlsEntries(real.listing);
        EXPECT_GT(entries.size(), 10u) << real.listing;
        for (const testing::FlsEntry& entry : entries) {
            const auto found = volume.records.find(static_cast<std::uint32_t>(entry.inode));
            ASSERT_NE(found, volume.records.end()) << real.image << " " << entry.path;
            EXPECT_TRUE(NamedAt(volume, found->second, entry.path))
                << real.image << " " << entry.inode << " " << entry.path << " named "
                << found->second.name.name;
        }
        EXPECT_TRUE(guard.Unchanged()) << image;
    }
}

// A file with 100 hard links whose names fill more than five extension records reached
// through a non-resident attribute list: all 100 names are found, each under the root.
TEST(NtfsVolumes, HundredHardLinksAreFoundOverExtensionRecords) {
    const std::string image = testing::RealImage("ntfs3_attrlist.raw");
    if (image.empty()) {
        GTEST_SKIP() << "the shared images are not here";
    }
    const ImageGuard guard(image);
    Volume volume = OpenVolume(image, 0);
    const WalkedRecord& links = volume.records.at(27);
    std::set<std::string> names;
    for (const FileNameInfo& name : links.allNames) {
        EXPECT_EQ(name.parent, 5u);
        names.insert(name.name);
    }
    std::set<std::string> expected;
    for (int i = 1; i <= 100; ++i) {
        expected.insert(std::to_string(i) + ".txt");
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(links.size, 4u);

    std::ostringstream data;
    EXPECT_EQ(WriteFileData(volume.disk, volume.layout, volume.table, 27, data),
              FileDataStatus::Written);
    EXPECT_EQ(data.str().size(), 4u);
    EXPECT_TRUE(guard.Unchanged());
}

class NamesVolumeTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string command = "bash '" + std::string(LUMAREST_SOURCE_DIR) +
                                    "/tests/ntfs/make_ntfs_images.sh' '" + Folder().string() +
                                    "' >/dev/null 2>&1";
        status_ = std::system(command.c_str());
    }

    void SetUp() override {
        if (WIFEXITED(status_) && WEXITSTATUS(status_) == 77) {
            GTEST_SKIP() << "the ntfs-3g FUSE mount does not work here";
        }
        ASSERT_EQ(status_, 0) << "make_ntfs_images.sh failed";
    }

    static fs::path Folder() { return fs::path(LUMAREST_FIXTURE_DIR) / "ntfs_test"; }
    static std::string Image() { return (Folder() / "names.img").string(); }

    static const WalkedRecord* Find(const Volume& volume, const std::string& path) {
        for (const auto& [number, record] : volume.records) {
            if (testing::PathOf(volume.records, number) == path) {
                return &record;
            }
        }
        return nullptr;
    }

    static inline int status_ = -1;
};

// Names in several scripts, a surrogate pair among them, come back exactly as written.
TEST_F(NamesVolumeTest, NamesInEveryScriptAreDecodedExactly) {
    const ImageGuard guard(Image());
    Volume volume = OpenVolume(Image(), 0);
    for (const std::string path : {"Fotos Año 2009/Playa Málaga.txt", "Φωτογραφίες/Παραλία.txt",
                                   "写真/海の日.txt", "📷 Camera 🏖.txt"}) {
        const WalkedRecord* record = Find(volume, path);
        ASSERT_NE(record, nullptr) << path;
        EXPECT_EQ(record->size, 15u) << path;
    }
    EXPECT_TRUE(guard.Unchanged());
}

// The bytes read back equal the files written: resident, non-resident, sparse, fragmented.
TEST_F(NamesVolumeTest, FileDataEqualsTheFilesWritten) {
    const ImageGuard guard(Image());
    Volume volume = OpenVolume(Image(), 0);
    for (const std::string name :
         {"small.txt", "resident300.txt", "big.bin", "sparse.bin", "fragmented.bin"}) {
        const std::string expected = testing::FileBytes((Folder() / "files" / name).string());
        const WalkedRecord* record =
            Find(volume, name == "small.txt" ? "Fotos Año 2009/Playa Málaga.txt" : name);
        ASSERT_NE(record, nullptr) << name;
        EXPECT_EQ(record->size, expected.size()) << name;
        std::ostringstream data;
        EXPECT_EQ(WriteFileData(volume.disk, volume.layout, volume.table, record->number, data),
                  FileDataStatus::Written)
            << name;
        EXPECT_TRUE(data.str() == expected) << name;
    }
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

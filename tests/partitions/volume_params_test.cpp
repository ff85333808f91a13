#include "partitions/volume_params.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/recovery_run.h"
#include "fat/fat_test_volumes.h"
#include "partitions/boot_sector.h"
#include "partitions/partition_test_disks.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;
using testing::RecordingReporter;
using testing::SparseDisk;
using testing::TestVolume;

void SelectPartition(RecoveryRun& run, const std::string& fsName, std::uint64_t start,
                     std::uint64_t last) {
    SetPartitionFileSystem(run.selectedPartition, fsName);
    run.selectedPartition.startSector = static_cast<std::int64_t>(start);
    run.selectedPartition.endSector = static_cast<std::int64_t>(last);
}

void SelectVolume(RecoveryRun& run, const TestVolume& volume) {
    SelectPartition(run, volume.fsName, volume.start, volume.start + volume.sectors - 1);
}

// The layout fsstat reads from the same volume, where fsstat is installed.
void ExpectLayoutAsFsstatShows(const VolumeParams& params, const TestVolume& volume) {
    if (!testing::ToolInstalled("fsstat")) {
        return;
    }
    const auto fat = testing::RunFsstat(testing::VolumeImage(volume), volume.start);
    ASSERT_TRUE(fat.has_value()) << "fsstat refused " << volume.name;
    EXPECT_EQ(params.firstFat, fat->firstFat);
    EXPECT_EQ(params.secondFat, fat->secondFat);
    EXPECT_EQ(params.sectorsPerFat, fat->sectorsPerFat);
    EXPECT_EQ(params.sectorsPerCluster, fat->sectorsPerCluster);
    EXPECT_EQ(params.cluster0Start, fat->clusterArea - 2 * fat->sectorsPerCluster);
    if (volume.fsName == "FAT16") {
        EXPECT_EQ(params.rootStart, fat->rootStart);
        EXPECT_EQ(params.rootSectors, fat->rootSectors);
    } else {
        EXPECT_EQ(params.rootStart, 2u);
        EXPECT_EQ(params.rootSectors, 0u);
    }
}

class VolumeParamsTest : public ::testing::TestWithParam<TestVolume> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::MakeVolumeImages()) << "make_volume_images.sh failed";
    }
};

TEST_P(VolumeParamsTest, ValidatesTheBootSectorAsFsstatReadsIt) {
    const TestVolume& volume = GetParam();
    ImageGuard guard(testing::VolumeImage(volume));
    PatchedImage disk(guard.Path());
    RecoveryRun run;
    run.folderTable.SetColumns({"self"});
    run.folderTable.AppendRow({"7"});
    SelectVolume(run, volume);
    RecordingReporter reporter;

    ASSERT_EQ(ValidatePartition(run, disk, reporter), 1);
    EXPECT_EQ(run.volumeParams.sectorsPerCluster, volume.sectorsPerCluster);
    EXPECT_EQ(run.volumeParams.firstFat, volume.start + run.volumeParams.reservedSectors);
    ExpectLayoutAsFsstatShows(run.volumeParams, volume);
    EXPECT_TRUE(run.folderTable.Empty());
    EXPECT_EQ(reporter.Calls().front(), "phase: Validating Partition ...");
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_P(VolumeParamsTest, CalculatesTheLayoutWhenTheBootSectorIsZeroed) {
    const TestVolume& volume = GetParam();
    ImageGuard guard(testing::VolumeImage(volume));
    PatchedImage disk(guard.Path());
    RecoveryRun run;
    SelectVolume(run, volume);
    RecordingReporter reporter;
    ASSERT_EQ(ValidatePartition(run, disk, reporter), 1);
    const VolumeParams valid = run.volumeParams;

    disk.ZeroSector(volume.start);
    if (volume.fsName == "FAT32") {
        disk.ZeroSector(volume.start + 6);
    }
    run.volumeParams = VolumeParams{};
    EXPECT_EQ(ValidatePartition(run, disk, reporter), 0);
    ASSERT_EQ(CalculateVolumeParams(run, disk, reporter, run.scanStop.get_token()), 1);
    const VolumeParams& found = run.volumeParams;
    EXPECT_EQ(found.sectorsPerCluster, valid.sectorsPerCluster);
    EXPECT_EQ(found.cluster0Start, valid.cluster0Start);
    EXPECT_EQ(found.rootSectors, volume.fsName == "FAT16" ? 32u : 0u);
    // The search for the first FAT looks only so far past the boot sector; a volume whose FAT
    // lies further on is taken to have the usual reserved area.
    if (valid.reservedSectors <= (volume.fsName == "FAT16" ? 9u : 59u)) {
        EXPECT_EQ(found.reservedSectors, valid.reservedSectors);
        EXPECT_EQ(found.firstFat, valid.firstFat);
        EXPECT_EQ(found.secondFat, valid.secondFat);
        EXPECT_EQ(found.sectorsPerFat, valid.sectorsPerFat);
        EXPECT_EQ(found.rootStart, valid.rootStart);
    }
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(MadeByMkfsFat, VolumeParamsTest,
                         ::testing::ValuesIn(testing::TestVolumes()),
                         [](const auto& info) { return info.param.name; });

class VolumeDamageTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(testing::MakeVolumeImages()); }
    static const TestVolume& Volume(const std::string& name) {
        for (const TestVolume& volume : testing::TestVolumes()) {
            if (volume.name == name) {
                return volume;
            }
        }
        throw std::runtime_error("no test volume " + name);
    }
};

TEST_F(VolumeDamageTest, Fat32ValidatesFromItsBackupBootSector) {
    const TestVolume& volume = Volume("part_f32");
    ImageGuard guard(testing::VolumeImage(volume));
    PatchedImage disk(guard.Path());
    RecoveryRun run;
    SelectVolume(run, volume);
    RecordingReporter reporter;
    ASSERT_EQ(ValidatePartition(run, disk, reporter), 1);
    const VolumeParams valid = run.volumeParams;

    disk.Patch(volume.start * 512 + 511, 0);  // signature broken
    run.volumeParams = VolumeParams{};
    ASSERT_EQ(ValidatePartition(run, disk, reporter), 1);
    EXPECT_EQ(run.volumeParams.cluster0Start, valid.cluster0Start);
    EXPECT_EQ(run.volumeParams.secondFat, valid.secondFat);

    disk.ZeroSector(volume.start);  // wholly gone: its FAT test fails, the backup serves
    run.volumeParams = VolumeParams{};
    ASSERT_EQ(ValidatePartition(run, disk, reporter), 1);
    EXPECT_EQ(run.volumeParams.sectorsPerFat, valid.sectorsPerFat);

    disk.ZeroSector(volume.start + 6);
    EXPECT_EQ(ValidatePartition(run, disk, reporter), 0);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(VolumeDamageTest, RefusesAFat16WhoseSecondFatIsNotAFatOrWhoseClustersHaveNoSectors) {
    const TestVolume& volume = Volume("f16_s4");
    ImageGuard guard(testing::VolumeImage(volume));
    RecoveryRun run;
    SelectVolume(run, volume);
    RecordingReporter reporter;
    {
        PatchedImage disk(guard.Path());
        ASSERT_EQ(ValidatePartition(run, disk, reporter), 1);
        disk.Patch((run.volumeParams.secondFat) * 512, 0xF0);
        EXPECT_EQ(ValidatePartition(run, disk, reporter), 0);
    }
    {
        PatchedImage disk(guard.Path());
        disk.Patch(13, 0);
        EXPECT_EQ(ValidatePartition(run, disk, reporter), 0);
    }
    {
        PatchedImage disk(guard.Path());
        SelectPartition(run, "FAT12", volume.start, volume.sectors - 1);
        EXPECT_EQ(ValidatePartition(run, disk, reporter), 0);
        EXPECT_EQ(CalculateVolumeParams(run, disk, reporter, run.scanStop.get_token()), 0);
    }
    EXPECT_TRUE(reporter.Messages().empty());
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(VolumeDamageTest, CalculationStopsWhenTheScanIsStopped) {
    const TestVolume& volume = Volume("f32_s1");
    ImageGuard guard(testing::VolumeImage(volume));
    PatchedImage disk(guard.Path());
    disk.ZeroSector(0);
    disk.ZeroSector(6);
    RecoveryRun run;
    SelectVolume(run, volume);
    run.scanStop.request_stop();
    RecordingReporter reporter;
    EXPECT_EQ(CalculateVolumeParams(run, disk, reporter, run.scanStop.get_token()), 0);
    EXPECT_LE(disk.readCalls_, 31u) << "only the reserved-area search may run";
    EXPECT_TRUE(guard.Unchanged());
}

// Directory heads on an otherwise empty disk: a "." entry then a ".." entry.
void PutDirectoryHead(SparseDisk& disk, std::uint64_t sector, std::uint32_t cluster) {
    testing::SectorBytes& bytes = disk.At(sector);
    bytes.fill(0);
    for (std::size_t i = 0; i < 11; ++i) {
        bytes[i] = ' ';
        bytes[32 + i] = ' ';
    }
    bytes[0] = '.';
    bytes[32] = '.';
    bytes[33] = '.';
    bytes[26] = static_cast<std::uint8_t>(cluster);
    bytes[27] = static_cast<std::uint8_t>(cluster >> 8);
    bytes[20] = static_cast<std::uint8_t>(cluster >> 16);
    bytes[21] = static_cast<std::uint8_t>(cluster >> 24);
}

TEST(VolumeCalculationTest, TwoDirectoriesGiveClusterSizeAndClusterZero) {
    SparseDisk disk(20000);
    PutDirectoryHead(disk, 9000, 1);  // not an anchor: clusters start at 2
    PutDirectoryHead(disk, 10000, 100);
    PutDirectoryHead(disk, 10032, 100);  // same cluster: no pair
    PutDirectoryHead(disk, 10064, 108);
    RecoveryRun run;
    SelectPartition(run, "FAT16", 0, 19999);
    RecordingReporter reporter;

    ASSERT_EQ(CalculateVolumeParams(run, disk, reporter, run.scanStop.get_token()), 1);
    EXPECT_EQ(run.volumeParams.sectorsPerCluster, 8u);
    EXPECT_EQ(run.volumeParams.cluster0Start, 9200u);
    EXPECT_EQ(run.volumeParams.reservedSectors, 1u);
    EXPECT_EQ(run.volumeParams.sectorsPerFat, (10000u - 1 - 32 - 98 * 8) / 2);
    EXPECT_EQ(run.volumeParams.rootStart, 1 + 2 * run.volumeParams.sectorsPerFat);
    EXPECT_EQ(reporter.Calls().front(), "phase: Calculating Partition Params...");
}

TEST(VolumeCalculationTest, RefusesAPairWhoseLayoutWouldStartBeforeThePartition) {
    // Clusters 50 and 51 eight sectors apart would put cluster 2 below sector 0.
    SparseDisk disk(4000);
    PutDirectoryHead(disk, 100, 50);
    PutDirectoryHead(disk, 108, 51);
    RecoveryRun run;
    SelectPartition(run, "FAT32", 0, 3999);
    RecordingReporter reporter;
    EXPECT_EQ(CalculateVolumeParams(run, disk, reporter, run.scanStop.get_token()), 0);
    EXPECT_EQ(run.volumeParams.sectorsPerCluster, 0u);
    EXPECT_EQ(run.volumeParams.rootStart, 2u);
    EXPECT_EQ(run.volumeParams.reservedSectors, 32u);
}

}  // namespace
}  // namespace lumarest

namespace lumarest {
namespace {

// The shared NTFS volume, with its layout as fsstat reads it: 4 KiB clusters, the MFT at
// cluster 4 and its mirror at cluster 2047, 1 KiB records, 4 KiB index records.
class NtfsValidationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        image_ = testing::FixtureImage("ntfs.img");
        ASSERT_FALSE(image_.empty()) << "ntfs.img was not made: run the fixtures.make_images test";
        guard_ = std::make_unique<ImageGuard>(image_);
        disk_ = std::make_unique<PatchedImage>(image_);
        SelectPartition(run_, "NTFS", 0, disk_->TotalSectors() - 1);
    }
    void TearDown() override {
        if (guard_) {
            EXPECT_TRUE(guard_->Unchanged());
        }
    }
    void ExpectFsstatLayout(std::uint32_t mftSector, std::uint32_t mirrSector) {
        const VolumeParams& params = run_.volumeParams;
        EXPECT_EQ(params.sectorsPerCluster, 8u);
        EXPECT_EQ(params.cluster0Start, 0u);
        EXPECT_EQ(params.mftSector, mftSector);
        EXPECT_EQ(params.mftMirrSector, mirrSector);
        EXPECT_EQ(params.mftRecordSectors, 2u);  // 0xF6, not 8 × 246
        EXPECT_EQ(params.indexRecordSectors, 8u);
    }

    std::string image_;
    std::unique_ptr<ImageGuard> guard_;
    std::unique_ptr<PatchedImage> disk_;
    RecoveryRun run_;
    RecordingReporter reporter_;
};

TEST_F(NtfsValidationTest, TakesTheLayoutFromThePrimaryBootSector) {
    ASSERT_EQ(ValidatePartition(run_, *disk_, reporter_), 1);
    ExpectFsstatLayout(4 * 8, 2047 * 8);
    EXPECT_EQ(CalculateVolumeParams(run_, *disk_, reporter_, run_.scanStop.get_token()), 0);
}

TEST_F(NtfsValidationTest, FallsBackOnTheBackupAtTheLastSector) {
    disk_->ZeroSector(0);
    ASSERT_EQ(ValidatePartition(run_, *disk_, reporter_), 1);
    ExpectFsstatLayout(4 * 8, 2047 * 8);

    disk_ = std::make_unique<PatchedImage>(image_);
    disk_->Patch(13, 3);  // no power of two: the backup serves
    run_.volumeParams = VolumeParams{};
    ASSERT_EQ(ValidatePartition(run_, *disk_, reporter_), 1);
    ExpectFsstatLayout(4 * 8, 2047 * 8);

    disk_->ZeroSector(disk_->TotalSectors() - 1);
    EXPECT_EQ(ValidatePartition(run_, *disk_, reporter_), 0);
}

TEST_F(NtfsValidationTest, AMissingMftLeavesItsSectorZeroAndBothMissingIsInvalid) {
    disk_->Patch(32 * 512, 'X');
    ASSERT_EQ(ValidatePartition(run_, *disk_, reporter_), 1);
    ExpectFsstatLayout(0, 2047 * 8);
    disk_->Patch(2047 * 8 * 512, 'X');
    EXPECT_EQ(ValidatePartition(run_, *disk_, reporter_), 0);
}

TEST_F(NtfsValidationTest, ClusterZeroIsThePartitionsFirstSector) {
    const std::string demo = testing::FixtureImage("demo.img");
    ASSERT_FALSE(demo.empty());
    ImageGuard guard(demo);
    PatchedImage disk(demo);
    std::istringstream layout(testing::ReadText(demo.substr(0, demo.size() - 4) + ".layout"));
    std::uint64_t number = 0, start = 0, sectors = 0;
    std::string type, fs;
    bool found = false;
    while (layout >> number >> start >> sectors >> type >> fs) {
        if (fs == "NTFS") {
            found = true;
            SelectPartition(run_, "NTFS", start, start + sectors - 1);
            disk.ZeroSector(start);
            ASSERT_EQ(ValidatePartition(run_, disk, reporter_), 1);
            EXPECT_EQ(run_.volumeParams.cluster0Start, start);
            EXPECT_NE(run_.volumeParams.mftSector, 0u);
        }
    }
    EXPECT_TRUE(found);
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

namespace lumarest {
namespace {

TEST(NtfsRecordSize, ANegativeSizeByteCountsBytes) {
    struct Case {
        std::uint32_t sizeByte;
        std::uint32_t sectorsPerCluster;  // engine sectors
        std::uint64_t sectors;
    };
    const Case cases[] =
        {
            {0xF6, 8, 2}, {0xF4, 1, 8},      {0xF5, 64, 4}, {0xF7, 8, 1},
            {0x80, 8, 0}, {0xE0, 8, 0},      {1, 8, 8},     {2, 2, 4},
            {0, 8, 0},    {0x1F6, 1, 0x1F6},  // not one byte: read as clusters, left to the check
        };
    for (const Case& c : cases) {
        EXPECT_EQ(NtfsRecordSectors(c.sizeByte, c.sectorsPerCluster), c.sectors)
            << std::hex << c.sizeByte;
        EXPECT_EQ(NtfsIndexSectors(c.sizeByte, c.sectorsPerCluster), c.sectors)
            << std::hex << c.sizeByte;
    }
}

// An NTFS volume of 4096-byte sectors at sector 2048 (mkntfs -s 4096): clusters of one such
// sector, the MFT at cluster 4 and its mirror at cluster 8191, records of 4096 bytes; its
// backup boot sector fills the last eight engine sectors of the partition.
TEST(LargeSectorNtfsValidation, CountsInEngineSectorsFromEitherBootSector) {
    constexpr std::uint64_t kStart = 2048;
    constexpr std::uint64_t kLast = kStart + 131072 - 1;
    const std::string image = testing::MadeImage("tests/support/make_large_sector_images.sh",
                                                 "large_sectors", "ntfs_4k.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    struct Case {
        const char* name;
        std::function<void(PatchedImage&)> damage;
        int valid;
        bool warned;
    };
    const Case cases[] = {
        {"intact", [](PatchedImage&) {}, 1, false},
        {"primary gone", [](PatchedImage& d) { d.ZeroSector(kStart); }, 1, false},
        {"primary of 3000-byte sectors",
         [](PatchedImage& d) {
             d.Patch(kStart * 512 + 11, 0xB8);
             d.Patch(kStart * 512 + 12, 0x0B);
         },
         1, false},
        {"both of 0-byte sectors",
         [](PatchedImage& d) {
             for (const std::uint64_t sector : {kStart, kLast - 7}) {
                 d.Patch(sector * 512 + 11, 0);
                 d.Patch(sector * 512 + 12, 0);
             }
         },
         0, true},
    };
    for (const Case& c : cases) {
        PatchedImage disk(image);
        c.damage(disk);
        RecoveryRun run;
        SelectPartition(run, "NTFS", kStart, kLast);
        RecordingReporter reporter;
        ASSERT_EQ(ValidatePartition(run, disk, reporter), c.valid) << c.name;
        bool warned = false;
        for (const std::string& call : reporter.Calls()) {
            warned = warned || call.find("0 bytes per sector") != std::string::npos;
        }
        EXPECT_EQ(warned, c.warned) << c.name;
        if (c.valid == 1) {
            const VolumeParams& params = run.volumeParams;
            EXPECT_EQ(params.sectorsPerCluster, 8u) << c.name;
            EXPECT_EQ(params.mftSector, kStart + 4 * 8) << c.name;
            EXPECT_EQ(params.mftMirrSector, kStart + 8191 * 8) << c.name;
            EXPECT_EQ(params.mftRecordSectors, 8u) << c.name;
            EXPECT_EQ(params.indexRecordSectors, 8u) << c.name;
        }
        EXPECT_EQ(disk.readsOutside_, 0u) << c.name;
    }
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

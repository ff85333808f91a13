#include "fat/fat_chain_found_volume.h"

#include <gtest/gtest.h>

#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "fat/fat_test_volumes.h"
#include "partitions/volume_params.h"
#include "support/image_guard.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;
using testing::RecordingReporter;
using testing::TestVolume;

// A row of the found-volume table as the Advance search leaves it, FAT positions unknown.
std::size_t AddFoundRow(RecoveryRun& run, const TestVolume& volume, const VolumeParams& params) {
    return run.fileSystemTable.AppendRow(
        {std::to_string(volume.start), "0", std::to_string(params.sectorsPerCluster), "0", "0",
         std::to_string(params.reservedSectors), std::to_string(params.cluster0Start), "0", "0",
         std::to_string(volume.sectors), volume.fsName});
}

class FoundVolumeTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override { ASSERT_TRUE(testing::MakeVolumeImages()); }
};

TEST_P(FoundVolumeTest, LocatesBothFatsAndLoadsTheVolumeAsItsBootSectorDescribesIt) {
    TestVolume volume;
    for (const TestVolume& v : testing::TestVolumes()) {
        volume = v.name == GetParam() ? v : volume;
    }
    ImageGuard guard(testing::VolumeImage(volume));
    PatchedImage disk(guard.Path());
    RecoveryRun run;
    SetPartitionFileSystem(run.selectedPartition, volume.fsName);
    run.selectedPartition.startSector = static_cast<std::int64_t>(volume.start);
    run.selectedPartition.endSector = static_cast<std::int64_t>(volume.start + volume.sectors - 1);
    RecordingReporter reporter;
    ASSERT_EQ(ValidatePartition(run, disk, reporter), 1);
    const VolumeParams valid = run.volumeParams;
    const std::size_t row = AddFoundRow(run, volume, valid);

    ASSERT_TRUE(LoadFoundVolume(run, disk, reporter, row));
    const ActiveVolume& active = run.activeVolume;
    EXPECT_EQ(active.fsName, volume.fsName);
    EXPECT_EQ(active.firstFat, valid.firstFat);
    EXPECT_EQ(active.secondFat, valid.secondFat);
    EXPECT_EQ(active.sectorsPerFat, valid.sectorsPerFat);
    EXPECT_EQ(active.rootStart, valid.rootStart);
    EXPECT_EQ(active.rootSectors, valid.rootSectors == 0 ? 0u : 32u);
    EXPECT_EQ(active.cluster0Start, valid.cluster0Start);
    EXPECT_EQ(run.fileSystemTable.Cell(row, 7), std::to_string(valid.firstFat));
    EXPECT_EQ(run.fileSystemTable.Cell(row, 8), std::to_string(valid.secondFat));
    EXPECT_NE(reporter.Calls().back().find("Completed "), std::string::npos)
        << reporter.Calls().back();
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(Partitioned, FoundVolumeTest, ::testing::Values("part_f16", "part_f32"));

// Cluster 0 at 500 lies closer to the disk's start than the search distance: the FATs are
// looked for from sector 1, so a volume at the start of a card without a table has its FATs
// found too. With nothing found the row keeps its values.
TEST(FoundVolumeSearchTest, LooksFromSectorOneBelowTheSearchDistance) {
    struct Case {
        const char* name;
        std::vector<std::uint64_t> fats;  // sectors starting F8 FF FF
        int found;
        const char* spf;
        const char* rootStart;
    };
    const Case cases[] = {
        {"bare volume's FATs at 1 and 9", {1, 9}, 2, "8", "17"},
        {"one FAT only", {40}, 1, "9", "0"},
        {"nothing", {}, 0, "9", "0"},
    };
    for (const Case& c : cases) {
        MemoryDisk disk(std::vector<std::uint8_t>(600 * 512));
        for (const std::uint64_t sector : c.fats) {
            disk.Bytes()[sector * 512] = 0xF8;
            disk.Bytes()[sector * 512 + 1] = 0xFF;
            disk.Bytes()[sector * 512 + 2] = 0xFF;
        }
        RecoveryRun run;
        run.fileSystemTable.AppendRow(
            {"0", "9", "4", "0", "0", "1", "500", "0", "0", "600", "FAT16"});
        RecordingReporter reporter;
        EXPECT_EQ(LocateFats(run, disk, reporter, 0), c.found) << c.name;
        EXPECT_EQ(run.fileSystemTable.Cell(0, 1), c.spf) << c.name;
        EXPECT_EQ(run.fileSystemTable.Cell(0, 4), c.rootStart) << c.name;
    }
}

TEST(FoundVolumeSearchTest, LoadsTheUsualRootWhenTheRowKnowsNone) {
    MemoryDisk disk(std::vector<std::uint8_t>(600 * 512));
    RecoveryRun run;
    run.fileSystemTable.AppendRow({"0", "9", "4", "0", "0", "1", "500", "0", "0", "600", "FAT16"});
    RecordingReporter reporter;
    EXPECT_FALSE(LoadFoundVolume(run, disk, reporter, 1));
    ASSERT_TRUE(LoadFoundVolume(run, disk, reporter, 0));
    EXPECT_EQ(run.activeVolume.rootSectors, 32u);  // 0 becomes the usual fixed root
    EXPECT_EQ(run.activeVolume.rootStart, 2u);
    EXPECT_EQ(run.activeVolume.firstFat, 0u);
}

}  // namespace
}  // namespace lumarest

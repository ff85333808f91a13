#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "partitions/partition_test_disks.h"
#include "search/advance_search.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;

// A volume as its fsstat listing places it: its boot sector (0 when it is inferred), sectors
// per cluster and where cluster 0 would lie (the cluster area's start less two clusters).
struct ListedVolume {
    std::uint32_t sector;
    std::uint32_t spc;
    std::uint32_t cluster0Start;
};

struct RealDisk {
    const char* image;
    const char* fsName;
    std::vector<ListedVolume> volumes;
};

void PrintTo(const RealDisk& disk, std::ostream* out) {
    *out << disk.image;
}

class RealAdvanceFatTest : public ::testing::TestWithParam<RealDisk> {};

TEST_P(RealAdvanceFatTest, FindsTheListedVolumesWithoutHarm) {
    const RealDisk& c = GetParam();
    const std::string path = testing::RealImage(c.image);
    if (path.empty()) {
        GTEST_SKIP() << c.image << " is not in the shared image set";
    }
    ImageGuard guard(path);
    PatchedImage disk(path);
    RecoveryRun run;
    run.selectedPartition.fsName = c.fsName;
    run.selectedPartition.endSector = static_cast<std::int64_t>(disk.TotalSectors()) - 1;
    NullReporter reporter;
    RunAdvanceSearch(run, disk, reporter, run.scanStop.get_token());
    const TextTable& t = run.fileSystemTable;
    ASSERT_EQ(t.RowCount(), c.volumes.size());
    for (std::size_t v = 0; v < c.volumes.size(); ++v) {
        EXPECT_EQ(t.CellU32(v, kVolumeSector), c.volumes[v].sector) << "volume " << v;
        EXPECT_EQ(t.CellU32(v, kVolumeSpc), c.volumes[v].spc) << "volume " << v;
        EXPECT_EQ(t.CellU32(v, kVolumeCluster0Start), c.volumes[v].cluster0Start) << "volume " << v;
        // Rebuilding it reads only the disk, and ends.
        EXPECT_TRUE(RebuildFoundVolume(run, disk, reporter, v));
    }
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(
    SharedImages, RealAdvanceFatTest,
    ::testing::Values(
        // Small FAT16 volumes give their size in the 16-bit field only, so the boot sector
        // claims no directory and the volume is inferred from its directories.
        RealDisk{"fat16.raw", "FAT16", {{0, 4, 76}}},
        RealDisk{"fat_deleted_dir_2.raw", "FAT16", {{0, 4, 92}}},
        RealDisk{"fat_deleted_dir.raw", "FAT32", {{0, 1, 2048}}},
        RealDisk{"fat32_loop.raw", "FAT32", {{0, 1, 2048}}},
        RealDisk{"fat_lfn_test.raw", "FAT32", {{0, 1, 2048}}}, RealDisk{"fat64.raw", "FAT32", {}},
        RealDisk{"daylight.dd", "FAT16", {}}),
    [](const auto& info) {
        std::string name = info.param.image;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

}  // namespace
}  // namespace lumarest

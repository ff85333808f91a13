#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "core/recovery_run.h"
#include "disk/device_sector_source.h"
#include "disk/disk_inventory.h"
#include "disk/sector_reader.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

std::vector<std::uint8_t> FileStart(const std::string& path, std::size_t bytes) {
    std::vector<std::uint8_t> data(bytes);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(bytes));
    data.resize(static_cast<std::size_t>(in.gcount()));
    return data;
}

class RealImageTest : public ::testing::TestWithParam<std::pair<const char*, std::uint64_t>> {};

TEST_P(RealImageTest, AttachedImageReadsLikeTheFile) {
    const auto [name, sectors] = GetParam();
    const std::string path = testing::RealImage(name);
    if (path.empty()) {
        GTEST_SKIP() << name << " is not in the shared image set";
    }
    testing::ImageGuard guard(path);
    RecoveryRun run;
    ASSERT_FALSE(AttachImage(run, path));

    SystemDiskEnumerator system("/nonexistent/sys/block", "/nonexistent/udev", "/nonexistent/fd0");
    const auto disks = system.ListDisks(run);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disks[0].totalSectors, sectors);

    int notices = 0;
    SectorReaderContext context = ReaderContextFor(run);
    context.readFailureNotice = [&notices] { ++notices; };
    DeviceSectorSource source(context, disks[0].devicePath, disks[0].totalSectors);
    std::vector<std::uint8_t> buffer(2 * kSectorSize, 0xEE);
    EXPECT_EQ(source.ReadSectors(0, 2, buffer.data()), 1);
    EXPECT_EQ(buffer, FileStart(path, 2 * kSectorSize));
    // The last sector reads; one past it does not.
    EXPECT_EQ(source.ReadSectors(sectors - 1, 1, buffer.data()), 1);
    EXPECT_EQ(source.ReadSectors(sectors, 1, buffer.data()), 0);
    EXPECT_EQ(notices, 1);
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(SharedSet, RealImageTest,
                         ::testing::Values(std::make_pair("mbr-512-p4.bin", 2ULL),
                                           std::make_pair("fat16.raw", 24576ULL),
                                           std::make_pair("daylight.dd", 2880ULL)));

}  // namespace
}  // namespace lumarest

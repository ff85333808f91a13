#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "core/recovery_run.h"
#include "disk/disk_inventory.h"
#include "disk/disk_test_files.h"
#include "disk/sector_reader.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::TempFolder;

bool Mentions(const std::optional<std::string>& message, const std::string& part) {
    return message && message->find(part) != std::string::npos;
}

class AttachImageTest : public ::testing::Test {
  protected:
    TempFolder folder{"attach"};
    RecoveryRun run;

    std::string Image(const std::string& name, std::size_t bytes) {
        const std::string path = folder.File(name);
        testing::WriteBytes(path, std::vector<std::uint8_t>(bytes, 0x11));
        return path;
    }
};

TEST_F(AttachImageTest, UnusableImagesAreRefusedWithAReason) {
    const std::string missing = folder.File("missing.img");
    EXPECT_TRUE(Mentions(AttachImage(run, missing), "does not exist"));
    EXPECT_TRUE(Mentions(AttachImage(run, missing), missing));
    EXPECT_TRUE(Mentions(AttachImage(run, folder.Path().string()), "is a folder"));
    EXPECT_TRUE(Mentions(AttachImage(run, Image("empty.img", 0)), "is empty"));
    EXPECT_TRUE(AttachImage(run, ""));
    EXPECT_TRUE(run.attachedImages.empty());
}

TEST_F(AttachImageTest, AnImageTheUserMayNotReadIsRefused) {
    const std::string locked = Image("locked.img", 1024);
    ASSERT_EQ(::chmod(locked.c_str(), 0600), 0);
    testing::UnprivilegedScope asOtherUser;
    if (!asOtherUser.Active()) {
        GTEST_SKIP() << "cannot take away this test's read rights";
    }
    RecoveryRun other;
    const auto message = AttachImage(other, locked);
    EXPECT_TRUE(Mentions(message, "may not read"));
    EXPECT_TRUE(other.attachedImages.empty());
}

TEST_F(AttachImageTest, ImagesTakeTheNextFreeSlotsUntilTenAreUsed) {
    run.physicalDriveTable[0] = "/dev/sda";
    run.physicalDriveTable[1] = "/dev/sdb";
    std::vector<std::string> images;
    for (int i = 0; i < 8; ++i) {
        images.push_back(Image("disk" + std::to_string(i) + ".bin", 512));
        ASSERT_FALSE(AttachImage(run, images.back())) << i;
        EXPECT_EQ(run.physicalDriveTable[2 + i], images.back());
    }
    EXPECT_FALSE(AttachImage(run, images[3]));  // attached already: nothing changes
    EXPECT_EQ(run.attachedImages.size(), 8u);
    EXPECT_TRUE(Mentions(AttachImage(run, Image("eleventh.raw", 512)), "ten disks"));
    EXPECT_EQ(run.attachedImages, images);
}

TEST_F(AttachImageTest, RelativePathsAreKeptAbsolute) {
    const std::string path = Image("relative.img", 512);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    const auto message = AttachImage(run, "./relative.img");
    std::filesystem::current_path(previous);
    ASSERT_FALSE(message);
    EXPECT_EQ(run.attachedImages, std::vector<std::string>{path});
}

TEST_F(AttachImageTest, AnOddSizedImageReadsItsLastSectorPadded) {
    const std::string path = Image("odd.bin", 1000);
    testing::ImageGuard guard(path);
    ASSERT_FALSE(AttachImage(run, path));
    SectorReaderContext context = ReaderContextFor(run);
    std::vector<std::uint8_t> buffer(1024, 0xEE);
    EXPECT_EQ(ReadSectors(context, run.physicalDriveTable[0], 0, 2, buffer.data()), 1);
    EXPECT_EQ(buffer[999], 0x11);
    EXPECT_EQ(buffer[1000], 0);
    EXPECT_EQ(buffer[1023], 0);
    EXPECT_TRUE(guard.Unchanged());
}

TEST(CheckDeviceReadable, NamesTheDeviceAndTheWaysOut) {
    TempFolder folder("readable");
    const std::string device = folder.File("fake-disk");
    testing::WriteText(device, "disk");
    EXPECT_FALSE(CheckDeviceReadable(device));
    EXPECT_TRUE(Mentions(CheckDeviceReadable(folder.File("gone")), "removed"));

    ASSERT_EQ(::chmod(device.c_str(), 0600), 0);
    testing::UnprivilegedScope asOtherUser;
    if (!asOtherUser.Active()) {
        GTEST_SKIP() << "cannot take away this test's read rights";
    }
    const auto message = CheckDeviceReadable(device);
    ASSERT_TRUE(message);
    for (const char* part : {device.c_str(), "root", "\"disk\" group", "ddrescue", "--image",
                             "\"Add Disk Image...\""}) {
        EXPECT_NE(message->find(part), std::string::npos) << part;
    }
}

}  // namespace
}  // namespace lumarest

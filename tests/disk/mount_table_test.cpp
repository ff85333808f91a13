#include "disk/mount_table.h"

#include <gtest/gtest.h>

#include <string>

namespace lumarest {
namespace {

// Lines as the kernel writes them, with optional fields and escaped blanks; each row is the
// one mount its line describes.
TEST(MountTable, ReadsEachLineOfTheKernelsMountList) {
    struct Row {
        const char* name;
        const char* line;
        unsigned major, minor;
        const char* mountPoint;
        const char* type;
        const char* source;
    };
    const Row rows[] = {
        {"ext4 root", "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard", 254, 0, "/",
         "ext4", "/dev/vda"},
        {"ntfs-3g on an image", "45 27 0:40 / /mnt/a rw - fuse /tmp/a.img rw,user_id=0", 0, 40,
         "/mnt/a", "fuse", "/tmp/a.img"},
        {"ntfs-3g on a loop partition",
         "46 27 259:0 / /mnt/b rw master:3 shared:7 - fuseblk /dev/loop0p1 rw,blksize=4096", 259, 0,
         "/mnt/b", "fuseblk", "/dev/loop0p1"},
        {"escaped blanks",
         "47 27 0:41 / /media/My\\040Card\\011x rw - fuse /home/u/disk\\040copy\\134.img rw", 0, 41,
         "/media/My Card\tx", "fuse", "/home/u/disk copy\\.img"},
        {"devtmpfs", "24 27 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,mode=755", 0, 6, "/dev",
         "devtmpfs", "devtmpfs"},
        {"no source", "22 27 0:21 / /proc rw - proc", 0, 21, "/proc", "proc", ""},
    };
    for (const Row& row : rows) {
        const MountTable mounts = ParseMountInfo(row.line);
        ASSERT_EQ(mounts.size(), 1u) << row.name;
        EXPECT_EQ(mounts[0].major, row.major) << row.name;
        EXPECT_EQ(mounts[0].minor, row.minor) << row.name;
        EXPECT_EQ(mounts[0].mountPoint, row.mountPoint) << row.name;
        EXPECT_EQ(mounts[0].fileSystemType, row.type) << row.name;
        EXPECT_EQ(mounts[0].source, row.source) << row.name;
    }
}

TEST(MountTable, LeavesOutLinesItCannotReadAndFindsAMountByDevice) {
    const MountTable mounts = ParseMountInfo(
        "garbage\n"
        "1 2 x:y / /a rw - ext4 /dev/a rw\n"
        "3 4 8:1 / /b rw no-separator ext4 /dev/b\n"
        "5 6 8:2 / /c rw -\n"
        "7 8 8:17 / /data rw - ext4 /dev/sdb1 rw\n"
        "9 8 8:17 /sub /data/bound rw - ext4 /dev/sdb1 rw\n"
        "10 1 0:6 / /dev rw - devtmpfs devtmpfs rw");
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(MountOfDevice(mounts, 8, 17)->source, "/dev/sdb1");
    EXPECT_EQ(MountOfDevice(mounts, 0, 6)->fileSystemType, "devtmpfs");
    EXPECT_FALSE(MountOfDevice(mounts, 8, 1).has_value());
    // A backslash not followed by three octal digits is kept as it is.
    EXPECT_EQ(UnescapeMountField("a\\09b\\"), "a\\09b\\");
}

}  // namespace
}  // namespace lumarest

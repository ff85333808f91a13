#include "carving/folder_storage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace lumarest {
namespace {

namespace fs = std::filesystem;

// The kernel's way of writing a blank in a mount list field.
std::string Escaped(const std::string& path) {
    std::string text;
    for (const char c : path) {
        text += c == ' ' ? std::string("\\040") : std::string(1, c);
    }
    return text;
}

dev_t DeviceOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

// Two real image files, a made-up block device tree with loop devices over them, device nodes
// for those devices, and a mount list naming them: loop0 (7:0, partitions loop0p1 259:0 and
// loop0p2 259:1) and loop1 (7:1) over the searched image, loop2 (7:2) over another image, sdb
// (8:16) with sdb1 (8:17), loop3 (7:3) over sdb1, and a node for the disk the images lie on.
class RecordedSystem {
  public:
    RecordedSystem()
        : root_(fs::temp_directory_path() / ("lumarest storage " + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(root_);
        std::ofstream(Image()) << std::string(4096, '\0');
        std::ofstream(OtherImage()) << std::string(4096, '\0');
        Device("devices/virtual/block/loop0", "7:0", kDisk, Image());
        Device("devices/virtual/block/loop0/loop0p1", "259:0", kPartition);
        Device("devices/virtual/block/loop0/loop0p2", "259:1", kPartition);
        Device("devices/virtual/block/loop1", "7:1", kDisk, Image());
        Device("devices/virtual/block/loop2", "7:2", kDisk, OtherImage());
        Device("devices/virtual/block/loop3", "7:3", kDisk, NodePath("sdb1"));
        Device("devices/pci/block/sdb", "8:16", kDisk);
        Device("devices/pci/block/sdb/sdb1", "8:17", kPartition);
        nodesMade_ = Node("loop0", 7, 0) && Node("loop0p1", 259, 0) && Node("loop1", 7, 1) &&
                     Node("loop3", 7, 3) && Node("sdb", 8, 16) && Node("sdb1", 8, 17) &&
                     Node("image disk", major(DeviceOf(Image())), minor(DeviceOf(Image())));
        view_.sysfsRoot = (root_ / "sys").string();
        view_.mounts = ParseMountInfo(
            "22 27 0:21 / /proc rw,relatime shared:12 - proc proc rw\n"
            "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
            "24 27 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,size=4096k,mode=755\n"
            "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
            "45 27 0:40 / /mnt/image\\040mount rw - fuse " +
            Escaped(Image()) +
            " rw,user_id=0\n"
            "46 27 0:41 / /mnt/loop rw - fuse " +
            Escaped(NodePath("loop0")) +
            " rw\n"
            "47 27 259:0 / /mnt/p1 rw - fuseblk " +
            Escaped(NodePath("loop0p1")) +
            " rw\n"
            "48 27 259:1 / /mnt/p2 rw - ext4 /dev/loop0p2 rw\n"
            "49 27 7:1 / /mnt/loop1 rw - ext4 /dev/loop1 rw\n"
            "50 27 7:2 / /mnt/loop2 rw - ext4 /dev/loop2 rw\n"
            "51 27 0:43 / /mnt/sdb1 rw - fuse " +
            Escaped(NodePath("sdb1")) +
            " rw\n"
            "52 27 0:44 / /mnt/remote rw - fuse.sshfs user@host:/ rw\n");
    }
    ~RecordedSystem() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    RecordedSystem(const RecordedSystem&) = delete;
    RecordedSystem& operator=(const RecordedSystem&) = delete;

    std::string Image() const { return (root_ / "my disk.img").string(); }
    std::string OtherImage() const { return (root_ / "other.img").string(); }
    std::string NodePath(const std::string& name) const { return (root_ / "dev" / name).string(); }
    const SystemView& View() const { return view_; }
    bool NodesMade() const { return nodesMade_; }

  private:
    // A device folder with its number (a partition's folder sits in its disk's), the file a
    // loop device reads, and its /sys/dev/block link.
    static constexpr bool kDisk = false;
    static constexpr bool kPartition = true;
    void Device(const std::string& folder, const std::string& number, bool partition,
                const std::string& backing = "") {
        const fs::path path = root_ / "sys" / folder;
        fs::create_directories(path);
        std::ofstream(path / "dev") << number << "\n";
        if (partition) {
            std::ofstream(path / "partition") << "1\n";
        }
        if (!backing.empty()) {
            fs::create_directories(path / "loop");
            std::ofstream(path / "loop" / "backing_file") << backing << "\n";
        }
        fs::create_directories(root_ / "sys" / "dev" / "block");
        fs::create_directory_symlink(path, root_ / "sys" / "dev" / "block" / number);
    }
    bool Node(const std::string& name, unsigned major, unsigned minor) {
        fs::create_directories(root_ / "dev");
        return ::mknod(NodePath(name).c_str(), S_IFBLK | 0600, makedev(major, minor)) == 0;
    }

    fs::path root_;
    SystemView view_;
    bool nodesMade_ = false;
};

// Each row: a folder on one of the recorded mounts, a searched source, and whether saving
// there would write onto that source.
TEST(FolderStorage, RefusesEveryWayTheSearchedImageCanBeMounted) {
    RecordedSystem system;
    struct Row {
        const char* name;
        unsigned major, minor;  // the folder's device
        std::string source;
        bool needsNodes;
        bool onSource;
    };
    const Row rows[] = {
        {"FUSE mount of the image by path", 0, 40, system.Image(), false, true},
        {"FUSE mount of another image", 0, 40, system.OtherImage(), false, false},
        {"FUSE mount of /dev/loop0 over the image", 0, 41, system.Image(), true, true},
        {"fuseblk on /dev/loop0p1", 259, 0, system.Image(), true, true},
        {"kernel mount of /dev/loop0p2", 259, 1, system.Image(), false, true},
        {"kernel mount of loop0p2, searching loop1 over the same file", 259, 1,
         system.NodePath("loop1"), true, true},
        {"loop1, searching loop0 over the same file", 7, 1, system.NodePath("loop0"), true, true},
        {"FUSE of the image path, searching loop0", 0, 40, system.NodePath("loop0"), true, true},
        {"loop2 over another image", 7, 2, system.Image(), false, false},
        {"loop2, searching loop0", 7, 2, system.NodePath("loop0"), true, false},
        {"FUSE on /dev/sdb1, searching sdb", 0, 43, system.NodePath("sdb"), true, true},
        {"FUSE on /dev/sdb1, searching the image", 0, 43, system.Image(), true, false},
        {"sdb1 mounted by the kernel, searching sdb", 8, 17, system.NodePath("sdb"), true, true},
        {"loop3 over /dev/sdb1, searching sdb", 7, 3, system.NodePath("sdb"), true, true},
        {"sdb1 mounted by the kernel, searching loop3 over it", 8, 17, system.NodePath("loop3"),
         true, true},
        {"FUSE of the image path, searching the disk holding the image", 0, 40,
         system.NodePath("image disk"), true, true},
        {"loop0p2, searching the disk holding the image", 259, 1, system.NodePath("image disk"),
         true, true},
        {"loop2, searching the disk holding its image", 7, 2, system.NodePath("image disk"), true,
         true},
        {"ordinary ext4 folder beside the image", 254, 0, system.Image(), false, false},
        {"sshfs folder", 0, 44, system.Image(), false, false},
        {"source that does not exist", 0, 40, "/nonexistent/disk.img", false, false},
    };
    int skipped = 0;
    for (const Row& row : rows) {
        if (row.needsNodes && !system.NodesMade()) {
            ++skipped;
            continue;
        }
        EXPECT_EQ(FolderLiesOnSource(makedev(row.major, row.minor), row.source, system.View()),
                  row.onSource)
            << row.name;
    }
    if (skipped > 0) {
        GTEST_SKIP() << skipped << " rows need block device nodes, which only root can make";
    }
}

TEST(FolderStorage, NamesTheFileSystemTypeOfDeviceAndKernelFolders) {
    RecordedSystem system;
    struct Row {
        unsigned major, minor;
        const char* type;
        bool system;
    };
    const Row rows[] = {{0, 6, "devtmpfs", true}, {0, 21, "proc", true},  {0, 22, "sysfs", true},
                        {254, 0, "ext4", false},  {0, 40, "fuse", false}, {9, 9, "", false}};
    for (const Row& row : rows) {
        const std::string type = FileSystemTypeOf(makedev(row.major, row.minor), system.View());
        EXPECT_EQ(type, row.type) << row.major << ":" << row.minor;
        EXPECT_EQ(IsSystemFileSystem(type), row.system) << type;
    }
}

}  // namespace
}  // namespace lumarest

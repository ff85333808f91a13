#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "carving/carved_file_saver.h"
#include "support/command_output.h"
#include "support/image_guard.h"
#include "support/loop_mount.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::ShellQuoted;

bool Succeeds(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Copies of images and their mount folders in the build tree. Only files and empty folders
// are removed afterwards: a mount left behind by a failed unmount is never walked into.
class ScratchFolder {
  public:
    ScratchFolder()
        : path_(fs::path(LUMAREST_FIXTURE_DIR).parent_path() /
                ("loop-mounts-" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(path_, ignored)) {
            fs::remove(entry.path(), ignored);
        }
        fs::remove(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

// A copy of a fixture image, so no mount ever touches the fixture itself.
std::string CopyOf(const std::string& image, const ScratchFolder& scratch,
                   const std::string& name) {
    const std::string copy = scratch.File(name);
    return Succeeds("cp --sparse=always " + ShellQuoted(image) + " " + ShellQuoted(copy)) ? copy
                                                                                          : "";
}

bool LiesOnSearchedDisk(const std::string& folder, const std::string& source) {
    const std::optional<std::string> refusal = CheckDestinationFolder(folder, source);
    return refusal && refusal->find("lies on the disk being searched") != std::string::npos;
}

// The image being searched, mounted by the kernel through a loop partition and by ntfs-3g
// through the image path, a loop device and a loop partition: every folder in those mounts is
// refused, while a folder beside the image stays allowed.
TEST(LoopMountRefusal, RefusesFoldersInEveryMountOfTheSearchedImage) {
    if (!testing::CanMakeLoopDevices() || !testing::ToolInstalled("mkfs.ext4")) {
        GTEST_SKIP() << "making loop devices needs root, losetup and mount; the volume mkfs.ext4";
    }
    const std::string demo = testing::FixtureImage("demo.img");
    const std::string ntfs = testing::FixtureImage("ntfs.img");
    ASSERT_FALSE(demo.empty() || ntfs.empty()) << "run the fixtures.make_images test first";
    const testing::ImageGuard demoGuard(demo);
    const testing::ImageGuard ntfsGuard(ntfs);
    const bool haveFuse = testing::ToolInstalled("ntfs-3g") && fs::exists("/dev/fuse");

    ScratchFolder scratch;
    // An ext4 volume in the second partition of an image made here.
    const std::string extImage = scratch.File("ext.img");
    ASSERT_TRUE(Succeeds("truncate -s 24M " + ShellQuoted(extImage) +
                         " && printf 'label: dos\\n2048,8192,83\\n,,83\\n' | sfdisk -q " +
                         ShellQuoted(extImage)));
    const std::string demoCopy = CopyOf(demo, scratch, "demo copy.img");
    const std::string ntfsCopy = CopyOf(ntfs, scratch, "ntfs.img");
    ASSERT_FALSE(demoCopy.empty() || ntfsCopy.empty());

    const testing::LoopDevice extLoop(extImage);
    if (!extLoop.Attached()) {
        GTEST_SKIP() << "losetup could not attach an image here";
    }
    const std::string extPartition = extLoop.Partition(2);
    ASSERT_FALSE(extPartition.empty()) << "no partition device for " << extLoop.Path();
    ASSERT_TRUE(Succeeds("mkfs.ext4 -q -F " + ShellQuoted(extPartition)));
    const testing::MountedFolder extMount("mount " + ShellQuoted(extPartition),
                                          scratch.File("ext mount"));
    if (!extMount.Mounted()) {
        GTEST_SKIP() << "this kernel cannot mount ext4 from " << extPartition;
    }
    // A second loop device over the same file: searching it is searching the image.
    const testing::LoopDevice sameFile(extImage);
    ASSERT_TRUE(sameFile.Attached());

    struct Row {
        std::string name;
        std::string folder;
        std::string source;
        bool refused;
    };
    std::vector<Row> rows = {
        {"kernel mount of loop partition 2, searching the image", extMount.Folder(), extImage,
         true},
        {"kernel mount, searching the loop device", extMount.Folder(), extLoop.Path(), true},
        {"kernel mount, searching another loop over the same file", extMount.Folder(),
         sameFile.Path(), true},
        {"kernel mount, searching another image", extMount.Folder(), demoCopy, false},
        {"folder beside the image", scratch.File(""), extImage, false},
    };

    std::optional<testing::MountedFolder> imageMount;
    std::optional<testing::LoopDevice> demoLoop;
    std::optional<testing::MountedFolder> partitionMount;
    if (haveFuse) {
        imageMount.emplace("ntfs-3g " + ShellQuoted(ntfsCopy), scratch.File("ntfs mount"));
        demoLoop.emplace(demoCopy);
        const std::string ntfsPartition = demoLoop->Partition(3);
        if (!ntfsPartition.empty()) {
            partitionMount.emplace("ntfs-3g " + ShellQuoted(ntfsPartition),
                                   scratch.File("demo mount"));
        }
    }
    if (imageMount && imageMount->Mounted()) {
        rows.push_back({"ntfs-3g on the image path", imageMount->Folder(), ntfsCopy, true});
        rows.push_back({"ntfs-3g on the image path, searching another image", imageMount->Folder(),
                        extImage, false});
    }
    if (partitionMount && partitionMount->Mounted()) {
        rows.push_back({"ntfs-3g on a loop partition, searching the image",
                        partitionMount->Folder(), demoCopy, true});
        rows.push_back({"ntfs-3g on a loop partition, searching the loop device",
                        partitionMount->Folder(), demoLoop->Path(), true});
    }
    for (const Row& row : rows) {
        EXPECT_EQ(LiesOnSearchedDisk(row.folder, row.source), row.refused) << row.name;
    }
    EXPECT_TRUE(demoGuard.Unchanged());
    EXPECT_TRUE(ntfsGuard.Unchanged());
    if (!(partitionMount && partitionMount->Mounted()) || !imageMount->Mounted()) {
        GTEST_SKIP() << "the ntfs-3g FUSE mounts do not work here; only the kernel mount ran";
    }
}

// The searched image known by what the loop device and the FUSE daemon hold open, not by the
// name they were given: an image renamed after ntfs-3g mounted it, and a loop device whose
// file's name was removed while a hard link to it stays and is searched.
TEST(LoopMountRefusal, KnowsTheImageByWhatIsHeldOpenNotByItsName) {
    if (!testing::CanMakeLoopDevices() || !testing::ToolInstalled("mkfs.ext4")) {
        GTEST_SKIP() << "making loop devices needs root, losetup and mount; the volume mkfs.ext4";
    }
    const std::string ntfs = testing::FixtureImage("ntfs.img");
    ASSERT_FALSE(ntfs.empty()) << "run the fixtures.make_images test first";
    const testing::ImageGuard ntfsGuard(ntfs);
    ScratchFolder scratch;

    const std::string unlinked = scratch.File("unlinked.img");
    const std::string hardLink = scratch.File("hard link.img");
    ASSERT_TRUE(Succeeds("truncate -s 8M " + ShellQuoted(unlinked) + " && mkfs.ext4 -q -F " +
                         ShellQuoted(unlinked) + " && ln " + ShellQuoted(unlinked) + " " +
                         ShellQuoted(hardLink)));
    const testing::LoopDevice loop(unlinked);
    if (!loop.Attached()) {
        GTEST_SKIP() << "losetup could not attach an image here";
    }
    const testing::MountedFolder loopMount("mount " + ShellQuoted(loop.Path()),
                                           scratch.File("loop mount"));
    ASSERT_TRUE(loopMount.Mounted());
    ASSERT_EQ(::unlink(unlinked.c_str()), 0);

    struct Row {
        std::string name;
        std::string folder;
        std::string source;
        bool refused;
    };
    std::vector<Row> rows = {
        {"loop over a removed name, searching its hard link", loopMount.Folder(), hardLink, true},
        {"loop over a removed name, searching another image", loopMount.Folder(), ntfs, false},
    };
    std::optional<testing::MountedFolder> fuseMount;
    const std::string renamed = scratch.File("renamed ntfs.img");
    if (testing::ToolInstalled("ntfs-3g") && fs::exists("/dev/fuse")) {
        const std::string copy = CopyOf(ntfs, scratch, "mounted ntfs.img");
        ASSERT_FALSE(copy.empty());
        fuseMount.emplace("ntfs-3g " + ShellQuoted(copy), scratch.File("fuse mount"));
        if (fuseMount->Mounted()) {
            fs::rename(copy, renamed);
            rows.push_back(
                {"ntfs-3g over an image renamed since", fuseMount->Folder(), renamed, true});
            rows.push_back({"ntfs-3g over a renamed image, searching another image",
                            fuseMount->Folder(), hardLink, false});
        }
    }
    for (const Row& row : rows) {
        EXPECT_EQ(LiesOnSearchedDisk(row.folder, row.source), row.refused) << row.name;
    }
    EXPECT_TRUE(ntfsGuard.Unchanged());
    if (!fuseMount || !fuseMount->Mounted()) {
        GTEST_SKIP() << "ntfs-3g cannot mount here; only the loop device rows ran";
    }
}

}  // namespace
}  // namespace lumarest

#pragma once

#include <string>

namespace lumarest::testing {

// True when this test may make loop devices: it runs as root and losetup and mount are there.
bool CanMakeLoopDevices();

// A loop device over an image file with its partitions (/dev/loopNp1 ...), detached again when
// the test ends, whatever happened.
class LoopDevice {
  public:
    explicit LoopDevice(const std::string& image);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    bool Attached() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    // "/dev/loopNpK"; empty when the kernel made no such partition.
    std::string Partition(int number) const;

  private:
    std::string path_;
};

// A file system mounted on `folder` by `mountCommand` (mount, ntfs-3g ...), unmounted again
// when the test ends, whatever happened.
class MountedFolder {
  public:
    MountedFolder(const std::string& mountCommand, std::string folder);
    ~MountedFolder();
    MountedFolder(const MountedFolder&) = delete;
    MountedFolder& operator=(const MountedFolder&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Folder() const { return folder_; }

  private:
    std::string folder_;
    bool mounted_ = false;
};

}  // namespace lumarest::testing

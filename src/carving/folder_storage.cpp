#include "carving/folder_storage.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>

#include "carving/whole_disk.h"

namespace lumarest {
namespace {

constexpr const char* kLiveSysfsRoot = "/sys";
// A loop device over a file on another loop device ends long before this.
constexpr int kMostBackingDepth = 8;

std::string DeviceNumber(unsigned major, unsigned minor) {
    return std::to_string(major) + ":" + std::to_string(minor);
}

// The file a loop device reads, from its loop/backing_file; empty for any other disk.
std::string LoopBackingFile(const std::string& wholeDisk, const std::string& sysfsRoot) {
    std::ifstream file(sysfsRoot + "/dev/block/" + wholeDisk + "/loop/backing_file");
    std::string path;
    std::getline(file, path);
    return path;
}

// Collects what a file system or a searched disk is stored on. On the folder's side the disks
// holding a backing file count too, since writing into that file writes to them; on the
// source's side they do not: saving beside an image leaves the image alone.
class StorageWalk {
  public:
    StorageWalk(const SystemView& view, bool followFilesToDisks)
        : view_(view), followFilesToDisks_(followFilesToDisks) {}

    // A device files live on (a st_dev): its disks, and a FUSE mount's source.
    void AddFileSystemDevice(unsigned major, unsigned minor, int depth) {
        if (depth > kMostBackingDepth) {
            return;
        }
        AddBlockDevice(major, minor, depth);
        const auto mount = MountOfDevice(view_.mounts, major, minor);
        // Only an absolute path names what a FUSE file system reads; "sshfs" or "host:/share"
        // name nothing here.
        if (mount && IsFuseFileSystem(mount->fileSystemType) && mount->source.starts_with('/')) {
            AddBackingPath(mount->source, depth);
        }
    }

    // A block device: itself, the whole disks below it, and what their loop devices read.
    void AddBlockDevice(unsigned major, unsigned minor, int depth) {
        storage_.disks.insert(DeviceNumber(major, minor));
        for (const std::string& disk : WholeDisksOf(major, minor, view_.sysfsRoot)) {
            storage_.disks.insert(disk);
            const std::string backing = LoopBackingFile(disk, view_.sysfsRoot);
            if (!backing.empty()) {
                AddBackingPath(backing, depth);
            }
        }
    }

    // What a loop device or FUSE mount reads: an image file or a block device.
    void AddBackingPath(const std::string& path, int depth) {
        struct stat info {};
        if (depth >= kMostBackingDepth || ::stat(path.c_str(), &info) != 0) {
            return;
        }
        if (S_ISBLK(info.st_mode)) {
            AddBlockDevice(major(info.st_rdev), minor(info.st_rdev), depth + 1);
        } else if (S_ISREG(info.st_mode) &&
                   storage_.backingFiles.insert(FileIdentity{info.st_dev, info.st_ino}).second &&
                   followFilesToDisks_) {
            AddFileSystemDevice(major(info.st_dev), minor(info.st_dev), depth + 1);
        }
    }

    Storage Result() && { return std::move(storage_); }

  private:
    const SystemView& view_;
    bool followFilesToDisks_;
    Storage storage_;
};

bool SharesStorage(const Storage& folder, const Storage& source) {
    for (const std::string& disk : source.disks) {
        if (folder.disks.contains(disk)) {
            return true;
        }
    }
    for (const FileIdentity& file : source.backingFiles) {
        if (folder.backingFiles.contains(file)) {
            return true;
        }
    }
    return false;
}

}  // namespace

SystemView LiveSystemView() {
    return SystemView{ParseMountInfo(ReadOwnMountInfo()), kLiveSysfsRoot};
}

Storage StorageOfFolder(dev_t folderDevice, const SystemView& view) {
    StorageWalk walk(view, true);
    walk.AddFileSystemDevice(major(folderDevice), minor(folderDevice), 0);
    return std::move(walk).Result();
}

Storage StorageOfSource(const std::string& sourcePath, const SystemView& view) {
    StorageWalk walk(view, false);
    walk.AddBackingPath(sourcePath, 0);
    return std::move(walk).Result();
}

bool FolderLiesOnSource(dev_t folderDevice, const std::string& sourcePath, const SystemView& view) {
    const Storage source = StorageOfSource(sourcePath, view);
    return SharesStorage(StorageOfFolder(folderDevice, view), source);
}

std::string FileSystemTypeOf(dev_t folderDevice, const SystemView& view) {
    const auto mount = MountOfDevice(view.mounts, major(folderDevice), minor(folderDevice));
    return mount ? mount->fileSystemType : std::string();
}

}  // namespace lumarest

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

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{info.st_dev, info.st_ino};
}

// The file a loop device reads, from its loop/backing_file; empty for any other disk.
std::string LoopBackingFile(const std::string& wholeDisk, const std::string& sysfsRoot) {
    std::ifstream file(sysfsRoot + "/dev/block/" + wholeDisk + "/loop/backing_file");
    std::string path;
    std::getline(file, path);
    return path;
}

void AddDevice(unsigned major, unsigned minor, const SystemView& view, int depth, Storage& storage);

// A file backing what is written to: the disks it lies on change too.
void AddBackingFile(const std::string& path, const SystemView& view, int depth, Storage& storage) {
    const auto identity = IdentityOf(path);
    if (!identity || !storage.backingFiles.insert(*identity).second) {
        return;
    }
    AddDevice(major(identity->device), minor(identity->device), view, depth + 1, storage);
}

std::string DeviceNumber(unsigned major, unsigned minor) {
    return std::to_string(major) + ":" + std::to_string(minor);
}

void AddBlockDevice(unsigned major, unsigned minor, const SystemView& view, int depth,
                    Storage& storage) {
    storage.disks.insert(DeviceNumber(major, minor));
    for (const std::string& disk : WholeDisksOf(major, minor, view.sysfsRoot)) {
        storage.disks.insert(disk);
        const std::string backing = LoopBackingFile(disk, view.sysfsRoot);
        if (!backing.empty()) {
            AddBackingFile(backing, view, depth, storage);
        }
    }
}

// A FUSE file system reads what its source names: an image file or a block device. Only an
// absolute path names one; other sources ("sshfs", "host:/share") are left alone.
void AddFuseSource(const std::string& source, const SystemView& view, int depth, Storage& storage) {
    struct stat info {};
    if (!source.starts_with('/') || ::stat(source.c_str(), &info) != 0) {
        return;
    }
    if (S_ISBLK(info.st_mode)) {
        AddBlockDevice(major(info.st_rdev), minor(info.st_rdev), view, depth, storage);
    } else if (S_ISREG(info.st_mode)) {
        AddBackingFile(source, view, depth, storage);
    }
}

void AddDevice(unsigned major, unsigned minor, const SystemView& view, int depth,
               Storage& storage) {
    if (depth > kMostBackingDepth) {
        return;
    }
    AddBlockDevice(major, minor, view, depth, storage);
    const auto mount = MountOfDevice(view.mounts, major, minor);
    if (mount && IsFuseFileSystem(mount->fileSystemType)) {
        AddFuseSource(mount->source, view, depth, storage);
    }
}

}  // namespace

SystemView LiveSystemView() {
    return SystemView{ParseMountInfo(ReadOwnMountInfo()), kLiveSysfsRoot};
}

Storage StorageOfFolder(dev_t folderDevice, const SystemView& view) {
    Storage storage;
    AddDevice(major(folderDevice), minor(folderDevice), view, 0, storage);
    return storage;
}

Storage StorageOfSource(const std::string& sourcePath, const SystemView& view) {
    Storage storage;
    struct stat info {};
    if (sourcePath.empty() || ::stat(sourcePath.c_str(), &info) != 0) {
        return storage;
    }
    if (S_ISBLK(info.st_mode)) {
        // The disks themselves and a loop device's file, but not the disks holding that file:
        // saving beside an image leaves the image alone.
        storage.disks.insert(DeviceNumber(major(info.st_rdev), minor(info.st_rdev)));
        for (const std::string& disk :
             WholeDisksOf(major(info.st_rdev), minor(info.st_rdev), view.sysfsRoot)) {
            storage.disks.insert(disk);
            if (const auto backing = IdentityOf(LoopBackingFile(disk, view.sysfsRoot))) {
                storage.backingFiles.insert(*backing);
            }
        }
    } else if (S_ISREG(info.st_mode)) {
        storage.backingFiles.insert(FileIdentity{info.st_dev, info.st_ino});
    }
    return storage;
}

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

bool FolderLiesOnSource(dev_t folderDevice, const std::string& sourcePath, const SystemView& view) {
    const Storage source = StorageOfSource(sourcePath, view);
    return SharesStorage(StorageOfFolder(folderDevice, view), source);
}

std::string FileSystemTypeOf(dev_t folderDevice, const SystemView& view) {
    const auto mount = MountOfDevice(view.mounts, major(folderDevice), minor(folderDevice));
    return mount ? mount->fileSystemType : std::string();
}

}  // namespace lumarest

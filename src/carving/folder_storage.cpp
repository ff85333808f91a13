#include "carving/folder_storage.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "carving/whole_disk.h"

namespace lumarest {
namespace {

constexpr const char* kLiveSysfsRoot = "/sys";
constexpr const char* kLiveDevRoot = "/dev";
constexpr const char* kLiveProcRoot = "/proc";
// /dev/fuse: the misc device every FUSE daemon holds open to serve its mount.
constexpr unsigned kFuseMajor = 10;
constexpr unsigned kFuseMinor = 229;
constexpr std::string_view kFuseDeviceNode = "/dev/fuse";
constexpr std::string_view kDeviceNameKey = "DEVNAME=";
// A loop device over a file on another loop device ends long before this.
constexpr int kMostBackingDepth = 8;

std::string DeviceNumber(unsigned major, unsigned minor) {
    return std::to_string(major) + ":" + std::to_string(minor);
}

// The file a loop device reads, from its loop/backing_file; empty for any other disk. The name
// is what the file was called when attached, or it ends in " (deleted)".
std::string LoopBackingFile(const std::string& wholeDisk, const std::string& sysfsRoot) {
    std::ifstream file(sysfsRoot + "/dev/block/" + wholeDisk + "/loop/backing_file");
    std::string path;
    std::getline(file, path);
    return path;
}

// The name of a disk's node in /dev ("loop0"), from its uevent.
std::string DeviceNodeName(const std::string& wholeDisk, const std::string& sysfsRoot) {
    std::ifstream file(sysfsRoot + "/dev/block/" + wholeDisk + "/uevent");
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with(kDeviceNameKey)) {
            return line.substr(kDeviceNameKey.size());
        }
    }
    return {};
}

// The file a loop device reads, by device and inode as the loop device itself holds it: its
// name may have been removed or taken by another file since. Nothing when the device cannot
// be asked (no node, no permission) or reads no file.
std::optional<FileIdentity> LoopBackingIdentity(unsigned major, unsigned minor,
                                                const SystemView& view) {
    const std::string disk = DeviceNumber(major, minor);
    const std::string name = DeviceNodeName(disk, view.sysfsRoot);
    if (view.devRoot.empty() || name.empty() || name.find("..") != std::string::npos) {
        return std::nullopt;
    }
    const int fd = ::open((view.devRoot + "/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat node {};
    loop_info64 status{};
    const bool asked = ::fstat(fd, &node) == 0 && S_ISBLK(node.st_mode) &&
                       node.st_rdev == makedev(major, minor) &&
                       ::ioctl(fd, LOOP_GET_STATUS64, &status) == 0;
    ::close(fd);
    if (!asked || status.lo_inode == 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<dev_t>(status.lo_device), static_cast<ino_t>(status.lo_inode)};
}

// Where an open file's link in /proc points, read without following it: following the link of
// every process's every file could wait on a file system that no longer answers.
std::string LinkTarget(const std::string& link) {
    std::array<char, PATH_MAX> target{};
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
        return {};
    }
    return std::string(target.data(), static_cast<std::size_t>(length));
}

bool IsFuseDevice(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode) &&
           info.st_rdev == makedev(kFuseMajor, kFuseMinor);
}

// The paths of a process's open files that name a file (not a pipe or socket), or nothing when
// it holds no /dev/fuse.
std::vector<std::string> FilesOfFuseDaemon(const std::filesystem::path& fdFolder) {
    std::vector<std::string> files;
    bool daemon = false;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(fdFolder, error)) {
        const std::string path = entry.path().string();
        const std::string target = LinkTarget(path);
        if (!target.starts_with('/')) {
            continue;
        }
        daemon = daemon || (target == kFuseDeviceNode && IsFuseDevice(path));
        files.push_back(path);
    }
    return daemon ? files : std::vector<std::string>{};
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
        if (!mount || !IsFuseFileSystem(mount->fileSystemType)) {
            return;
        }
        // Only an absolute path names what a FUSE file system reads; "sshfs" or "host:/share"
        // name nothing here.
        if (mount->source.starts_with('/')) {
            AddBackingPath(mount->source, depth);
        }
        // The source names the file as it was called at mount time. Which daemon serves this
        // mount cannot be told, so whatever any FUSE daemon holds may lie below it.
        for (const std::string& held : view_.fuseDaemonFiles) {
            AddBackingPath(held, depth);
        }
    }

    // A block device: itself, the whole disks below it, and what their loop devices read.
    void AddBlockDevice(unsigned major, unsigned minor, int depth) {
        storage_.disks.insert(DeviceNumber(major, minor));
        for (const std::string& disk : WholeDisksOf(major, minor, view_.sysfsRoot)) {
            storage_.disks.insert(disk);
            unsigned diskMajor = 0;
            unsigned diskMinor = 0;
            if (std::sscanf(disk.c_str(), "%u:%u", &diskMajor, &diskMinor) == 2) {
                if (const auto file = LoopBackingIdentity(diskMajor, diskMinor, view_)) {
                    AddBackingFile(*file, depth);
                }
            }
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
        } else if (S_ISREG(info.st_mode)) {
            AddBackingFile(FileIdentity{info.st_dev, info.st_ino}, depth);
        }
    }

    // A file a loop device or FUSE daemon reads, and on the folder's side what it lies on.
    void AddBackingFile(const FileIdentity& file, int depth) {
        if (storage_.backingFiles.insert(file).second && followFilesToDisks_) {
            AddFileSystemDevice(major(file.device), minor(file.device), depth + 1);
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
    return SystemView{ParseMountInfo(ReadOwnMountInfo()), kLiveSysfsRoot, kLiveDevRoot,
                      FilesHeldByFuseDaemons(kLiveProcRoot)};
}

std::vector<std::string> FilesHeldByFuseDaemons(const std::string& procRoot) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator(procRoot, error)) {
        const std::string name = process.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::vector<std::string> held = FilesOfFuseDaemon(process.path() / "fd");
        files.insert(files.end(), std::make_move_iterator(held.begin()),
                     std::make_move_iterator(held.end()));
    }
    return files;
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

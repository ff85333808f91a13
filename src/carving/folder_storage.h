#pragma once

#include <sys/types.h>

#include <compare>
#include <set>
#include <string>
#include <vector>

#include "disk/mount_table.h"

namespace lumarest {

// A file by device and inode: the same file whatever path names it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// What a file system's data is stored on: block devices ("8:17") with the whole disks they lie
// on ("8:16", "7:0"), and the files behind loop devices or FUSE mounts.
struct Storage {
    std::set<std::string> disks;
    std::set<FileIdentity> backingFiles;
};

// Where the answers come from: the mount list, the root of the kernel's block device tree, the
// folder of device nodes (empty: loop devices are known by their backing file's name alone),
// and the files the FUSE daemons hold open. Tests hand in a list parsed from recorded text and
// a made-up tree.
struct SystemView {
    MountTable mounts;
    std::string sysfsRoot;
    std::string devRoot;
    // Paths that stat() resolves to each file a FUSE daemon holds ("/proc/PID/fd/N"): a file
    // a daemon reads stays known however it was renamed since it was mounted.
    std::vector<std::string> fuseDaemonFiles;
};

// The running system's view: /proc/self/mountinfo, /sys, /dev and the FUSE daemons in /proc.
SystemView LiveSystemView();

// The open files of every process under `procRoot` that holds /dev/fuse open, as paths under
// `procRoot` that stat() follows to them. Processes this one may not look into are left out.
std::vector<std::string> FilesHeldByFuseDaemons(const std::string& procRoot);

// What writing into a folder on device `folderDevice` (its st_dev) may change: the disks and
// files below its file system, down through loop devices, their partitions and FUSE sources,
// and the disks holding those files.
Storage StorageOfFolder(dev_t folderDevice, const SystemView& view);

// What is being searched: a block device (its disks, and the file behind it when it is a loop
// device) or a disk image (the image file alone). Empty when `sourcePath` cannot be read.
Storage StorageOfSource(const std::string& sourcePath, const SystemView& view);

// True when writing into a folder on `folderDevice` may overwrite the source being searched.
bool FolderLiesOnSource(dev_t folderDevice, const std::string& sourcePath, const SystemView& view);

// The type of the file system a folder on `folderDevice` is in ("devtmpfs", "ext4"); empty when
// the mount list does not know it.
std::string FileSystemTypeOf(dev_t folderDevice, const SystemView& view);

}  // namespace lumarest

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumarest {

// One line of the kernel's mount list (/proc/self/mountinfo), fields unescaped.
struct MountEntry {
    unsigned major = 0;  // the device every file of the mount reports as st_dev
    unsigned minor = 0;
    std::string mountPoint;
    std::string fileSystemType;  // "ext4", "fuseblk", "fuse.sshfs", "devtmpfs" ...
    std::string source;          // "/dev/sdb1", an image path for a FUSE mount, "proc" ...
};

using MountTable = std::vector<MountEntry>;

// The kernel writes a space, tab, newline or backslash in a field as \040, \011, \012, \134.
std::string UnescapeMountField(std::string_view field);

// Every well-formed line of mountinfo text; lines it cannot read are left out.
MountTable ParseMountInfo(std::string_view text);

// The mount that files on device major:minor belong to. Bind mounts of one file system share
// the device, type and source, so any of them answers.
std::optional<MountEntry> MountOfDevice(const MountTable& mounts, unsigned major, unsigned minor);

// File systems whose "files" are devices or kernel settings: writing there is never saving.
bool IsSystemFileSystem(std::string_view type);

// A FUSE file system, whose source names what it reads ("fuse", "fuseblk", "fuse.TYPE").
bool IsFuseFileSystem(std::string_view type);

// The text of /proc/self/mountinfo; empty when it cannot be read.
std::string ReadOwnMountInfo();

}  // namespace lumarest

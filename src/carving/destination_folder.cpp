#include "carving/destination_folder.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "carving/folder_storage.h"
#include "core/plain_name.h"

namespace lumarest {
namespace {

// Where the kernel shows devices and its settings, whatever is mounted below them (a tmpfs at
// /dev/shm, the cgroup folders under /sys).
constexpr std::string_view kSystemFolders[] = {"/dev", "/proc", "/sys"};

bool LiesBelow(const std::string& path, std::string_view folder) {
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// Device nodes and kernel settings, not a place for files: as root, saving there would write
// among devices. Told by where the open folder really lies, by the mount list's type for its
// device, and by the file system's own magic number.
std::string SystemPlaceOf(const FolderHandle& folder, const struct stat& info,
                          const SystemView& view) {
    const std::string realPath = folder.RealPath();
    for (const std::string_view system : kSystemFolders) {
        if (LiesBelow(realPath, system)) {
            return "below " + std::string(system);
        }
    }
    const std::string type = FileSystemTypeOf(info.st_dev, view);
    if (IsSystemFileSystem(type)) {
        return type;
    }
    struct statfs system {};
    if (::fstatfs(folder.Descriptor(), &system) == 0) {
        switch (system.f_type) {
            case PROC_SUPER_MAGIC:
                return "proc";
            case SYSFS_MAGIC:
                return "sysfs";
            case DEVPTS_SUPER_MAGIC:
                return "devpts";
            default:
                break;
        }
    }
    return {};
}

// Asked of the open folder itself; where the kernel cannot take an empty path, of the folder
// the descriptor names.
bool CanWriteInto(const FolderHandle& folder) {
    struct statvfs volume {};
    if (::fstatvfs(folder.Descriptor(), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0) {
        return false;
    }
    if (::faccessat(folder.Descriptor(), "", W_OK | X_OK, AT_EMPTY_PATH) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOENT) {
        return false;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(folder.Descriptor());
    return ::access(self.c_str(), W_OK | X_OK) == 0;
}

std::string OpenFailure(const std::string& path, int error) {
    if (error == ENOENT) {
        return "The destination folder " + Quoted(path) + " does not exist.";
    }
    if (error == ENOTDIR) {
        return "The destination " + Quoted(path) + " is not a folder.";
    }
    if (error == ELOOP) {
        return "The destination folder " + Quoted(path) +
               " was replaced by a link while it was opened. Please choose it again.";
    }
    return "The destination folder " + Quoted(path) +
           " cannot be opened. Please choose another folder.";
}

}  // namespace

std::optional<std::string> CheckDestinationFolder(const FolderHandle& folder,
                                                  const std::string& shownPath,
                                                  const std::string& sourceDevicePath) {
    struct stat info {};
    if (::fstat(folder.Descriptor(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return "The destination " + Quoted(shownPath) + " is not a folder.";
    }
    const SystemView view = LiveSystemView();
    if (const std::string system = SystemPlaceOf(folder, info, view); !system.empty()) {
        return "The destination folder " + Quoted(shownPath) + " is a system folder (" + system +
               ") that holds devices or kernel settings, not files. Please choose another "
               "folder.";
    }
    if (!CanWriteInto(folder)) {
        return "The destination folder " + Quoted(shownPath) +
               " cannot be written to. Please choose another folder.";
    }
    // Whatever way the folder's file system sits on the source (a partition of it, a loop
    // device or FUSE mount over the image), saving there overwrites what is being recovered.
    if (FolderLiesOnSource(info.st_dev, sourceDevicePath, view)) {
        return "The destination folder " + Quoted(shownPath) +
               " lies on the disk being searched (" + sourceDevicePath +
               "). Saving recovered files there would overwrite the files being recovered. "
               "Please choose a folder on another disk.";
    }
    return std::nullopt;
}

std::optional<FolderHandle> OpenDestinationFolder(const std::string& path,
                                                  const std::string& sourceDevicePath,
                                                  std::string& refusal) {
    if (path.empty()) {
        refusal = "Please choose a destination folder for the recovered files.";
        return std::nullopt;
    }
    int error = 0;
    std::optional<FolderHandle> folder = FolderHandle::Open(path, error);
    if (!folder) {
        refusal = OpenFailure(path, error);
        return std::nullopt;
    }
    if (auto problem = CheckDestinationFolder(*folder, path, sourceDevicePath)) {
        refusal = std::move(*problem);
        return std::nullopt;
    }
    return folder;
}

std::optional<std::string> CheckDestinationFolder(const std::string& path,
                                                  const std::string& sourceDevicePath) {
    std::string refusal;
    if (!OpenDestinationFolder(path, sourceDevicePath, refusal)) {
        return refusal;
    }
    return std::nullopt;
}

}  // namespace lumarest

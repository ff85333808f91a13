#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/plain_name.h"
#include "core/recovery_run.h"
#include "disk/disk_inventory.h"
#include "disk/disk_sources.h"

namespace lumarest {

namespace {

// Whole disks hold the slots the images do not.
std::size_t SlotsInUse(const RecoveryRun& run) {
    std::size_t wholeDisks = 0;
    for (const std::string& slot : run.physicalDriveTable) {
        const bool isImage = std::find(run.attachedImages.begin(), run.attachedImages.end(),
                                       slot) != run.attachedImages.end();
        if (!slot.empty() && !isImage) {
            ++wholeDisks;
        }
    }
    return wholeDisks + run.attachedImages.size();
}

std::optional<std::string> OpenProblem(const std::string& path) {
    const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle >= 0) {
        ::close(handle);
        return std::nullopt;
    }
    const int error = errno;
    if (error == EACCES || error == EPERM) {
        return "Lumarest may not read the disk image " + Quoted(path) +
               " (permission denied). Give your user read access to it, or run Lumarest with "
               "privileges.";
    }
    return "The disk image " + Quoted(path) + " cannot be opened: " + std::strerror(error) + ".";
}

std::optional<std::string> ImageProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return "The disk image " + Quoted(path) + " does not exist.";
        }
        return "The disk image " + Quoted(path) + " cannot be opened: " + std::strerror(error) +
               ".";
    }
    if (S_ISDIR(info.st_mode)) {
        return Quoted(path) + " is a folder, not a disk image file.";
    }
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        return Quoted(path) + " is not a disk image file.";
    }
    if (auto problem = OpenProblem(path)) {
        return problem;
    }
    const std::optional<std::uint64_t> bytes = DeviceSizeBytes(path);
    if (!bytes) {
        return "The size of the disk image " + Quoted(path) + " cannot be found.";
    }
    if (*bytes == 0) {
        return "The disk image " + Quoted(path) + " is empty: it holds no sectors to search.";
    }
    return std::nullopt;
}

// The same file or device under another name (a link, "./a.img" for "a.img") is one disk:
// attached twice, every search would list it twice.
bool SameFileOrDevice(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) {
        return false;
    }
    if (S_ISBLK(first.st_mode) && S_ISBLK(second.st_mode)) {
        return first.st_rdev == second.st_rdev;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool AttachedAlready(const RecoveryRun& run, const std::string& imagePath) {
    const auto same = [&](const std::string& attached) {
        return attached == imagePath || SameFileOrDevice(attached, imagePath);
    };
    return std::any_of(run.attachedImages.begin(), run.attachedImages.end(), same);
}

}  // namespace

std::optional<std::string> AttachImage(RecoveryRun& run, const std::string& path) {
    if (path.empty()) {
        return std::string("No disk image was given.");
    }
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    const std::string imagePath =
        (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
    if (auto problem = ImageProblem(imagePath)) {
        return problem;
    }
    if (AttachedAlready(run, imagePath)) {
        return std::nullopt;  // attached already; it keeps its disk number
    }
    if (SlotsInUse(run) >= kDriveSlots) {
        return "No free disk number for " + Quoted(imagePath) +
               ": Lumarest handles ten disks (Disk0 to Disk9) " + "and all ten are in use.";
    }
    run.attachedImages.push_back(imagePath);
    // Readable at once; the next refresh of the disk list keeps the same order.
    for (std::string& slot : run.physicalDriveTable) {
        if (slot.empty()) {
            slot = imagePath;
            break;
        }
    }
    return std::nullopt;
}

}  // namespace lumarest

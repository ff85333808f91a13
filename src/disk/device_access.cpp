#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "disk/disk_inventory.h"

namespace lumarest {

namespace {

std::string PermissionAdvice(const std::string& devicePath) {
    return "Lumarest may not read " + devicePath +
           " (permission denied). Run Lumarest with privileges, for example as root or as a member "
           "of the \"disk\" group, or image the disk first, for example with dd or ddrescue, and "
           "open the image with --image or \"Add Disk Image...\".";
}

}  // namespace

std::optional<std::string> CheckDeviceReadable(const std::string& devicePath) {
    const int handle = ::open(devicePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle >= 0) {
        ::close(handle);
        return std::nullopt;
    }
    const int error = errno;
    switch (error) {
        case EACCES:
        case EPERM:
            return PermissionAdvice(devicePath);
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return devicePath +
                   " is not there any more: the disk may have been removed. Refresh the "
                   "list of disks.";
        case ENOMEDIUM:
            return "There is no medium in " + devicePath +
                   ": insert the card or disk and refresh the "
                   "list of disks.";
        default:
            return "Lumarest cannot open " + devicePath + ": " + std::strerror(error) + ".";
    }
}

}  // namespace lumarest

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "disk/disk_inventory.h"

namespace lumarest {

std::string PermissionAdvice(const std::string& devicePath) {
    return "Lumarest may not read " + devicePath +
           " (permission denied). Run Lumarest with privileges, for example as root or as a member "
           "of the \"disk\" group, or image the disk first, for example with dd or ddrescue, and "
           "open the image with --image or \"Add Disk Image...\".";
}

namespace {

// The errno of opening the device read-only, or 0 when it opens.
int OpenError(const std::string& devicePath) {
    const int handle = ::open(devicePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle >= 0) {
        ::close(handle);
        return 0;
    }
    return errno;
}

}  // namespace

bool PermissionDenied(const std::string& devicePath) {
    const int error = OpenError(devicePath);
    return error == EACCES || error == EPERM;
}

std::optional<std::string> CheckDeviceReadable(const std::string& devicePath) {
    const int error = OpenError(devicePath);
    if (error == 0) {
        return std::nullopt;
    }
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

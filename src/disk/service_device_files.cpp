#include "disk/service_device_files.h"

#include <fcntl.h>
#include <unistd.h>

#include "disk/disk_inventory.h"

namespace lumarest {

bool IsReadOnlyDescriptor(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    return flags >= 0 && (flags & O_ACCMODE) == O_RDONLY;
}

ServiceDeviceFiles::~ServiceDeviceFiles() {
    ReleaseAll();
}

bool ServiceDeviceFiles::Hold(const std::string& path, int descriptor) {
    if (descriptor < 0) {
        return false;
    }
    if (!IsReadOnlyDescriptor(descriptor)) {
        ::close(descriptor);
        return false;
    }
    const std::lock_guard lock(mutex_);
    const auto [slot, added] = held_.try_emplace(path, descriptor);
    if (!added) {
        ::close(slot->second);
        slot->second = descriptor;
    }
    return true;
}

bool ServiceDeviceFiles::Holds(const std::string& path) const {
    const std::lock_guard lock(mutex_);
    return held_.contains(path);
}

void ServiceDeviceFiles::ReleaseAll() {
    const std::lock_guard lock(mutex_);
    for (const auto& [path, descriptor] : held_) {
        ::close(descriptor);
    }
    held_.clear();
}

// A copy of the kept descriptor, so each reader closes its own and the kept one stays; reads
// are positioned, so the shared file offset never matters.
int ServiceDeviceFiles::Open(const std::string& path) {
    {
        const std::lock_guard lock(mutex_);
        if (const auto slot = held_.find(path); slot != held_.end()) {
            return ::fcntl(slot->second, F_DUPFD_CLOEXEC, 0);
        }
    }
    return direct_.Open(path);
}

long long ServiceDeviceFiles::ReadAt(int handle, std::uint8_t* buffer, std::size_t bytes,
                                     std::uint64_t offset) {
    return direct_.ReadAt(handle, buffer, bytes, offset);
}

void ServiceDeviceFiles::Close(int handle) {
    direct_.Close(handle);
}

void ServiceDeviceFiles::WillRead(int handle, std::uint64_t offset, std::uint64_t bytes) {
    direct_.WillRead(handle, offset, bytes);
}

std::optional<std::string> OpenForReading(const std::string& devicePath, ServiceDeviceFiles& files,
                                          DiskService* service, bool alwaysAsk) {
    if (files.Holds(devicePath)) {
        return std::nullopt;
    }
    const bool ask = service != nullptr && (alwaysAsk || PermissionDenied(devicePath));
    if (!ask) {
        return CheckDeviceReadable(devicePath);
    }
    const ServiceOpening opening = service->OpenReadOnly(devicePath);
    if (opening.descriptor < 0) {
        return PermissionAdvice(devicePath) +
               "\n\nThe system's disk service gave no access: " + opening.problem;
    }
    if (!files.Hold(devicePath, opening.descriptor)) {
        return "The system's disk service handed " + devicePath +
               " over open for writing. Lumarest only ever reads a disk, so it closed the device "
               "without reading it.\n\n" +
               PermissionAdvice(devicePath);
    }
    return std::nullopt;
}

}  // namespace lumarest

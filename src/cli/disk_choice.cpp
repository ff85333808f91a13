#include "cli/disk_choice.h"

#include "cli/cli_context.h"

namespace lumarest {

int DefaultDiskNumber(CliContext& context) {
    if (context.run.attachedImages.size() != 1) {
        return -1;
    }
    for (const DiskProperties& disk : context.disks->ListDisks(context.run)) {
        if (disk.isImage && disk.devicePath == context.run.attachedImages.front()) {
            return static_cast<int>(disk.index);
        }
    }
    return -1;
}

std::optional<DiskProperties> FindDisk(CliContext& context, int diskNumber) {
    RefreshInventory(context.run, *context.disks, *context.store, *context.reporter);
    for (const DiskProperties& disk : context.disks->ListDisks(context.run)) {
        if (static_cast<int>(disk.index) == diskNumber) {
            DiskProperties found = disk;
            found.readThroughService = context.deviceFiles.Holds(disk.devicePath);
            return found;
        }
    }
    return std::nullopt;
}

std::optional<std::string> OpenDiskForReading(CliContext& context, int diskNumber) {
    for (const DiskProperties& disk : context.disks->ListDisks(context.run)) {
        if (static_cast<int>(disk.index) != diskNumber) {
            continue;
        }
        const bool ask = context.diskService != nullptr &&
                         (context.alwaysAskDiskService || PermissionDenied(disk.devicePath));
        if (ask) {
            *context.err << "lumarest-cli: asking the system's disk service to read "
                         << disk.devicePath << " read-only; it may ask for a password\n";
        }
        return OpenForReading(disk.devicePath, context.deviceFiles, context.diskService.get(),
                              context.alwaysAskDiskService);
    }
    return std::nullopt;
}

std::optional<std::string> RefuseDisk(const std::optional<DiskProperties>& disk, int diskNumber) {
    if (!disk) {
        return "there is no disk " + std::to_string(diskNumber) +
               "; 'lumarest-cli disks' lists the disk numbers";
    }
    if (disk->readThroughService) {
        return std::nullopt;
    }
    return CheckDeviceReadable(disk->devicePath);
}

}  // namespace lumarest

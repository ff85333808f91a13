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
            return disk;
        }
    }
    return std::nullopt;
}

std::optional<std::string> RefuseDisk(const std::optional<DiskProperties>& disk, int diskNumber) {
    if (!disk) {
        return "there is no disk " + std::to_string(diskNumber) +
               "; 'lumarest-cli disks' lists the disk numbers";
    }
    return CheckDeviceReadable(disk->devicePath);
}

}  // namespace lumarest

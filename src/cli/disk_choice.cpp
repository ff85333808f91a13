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

}  // namespace lumarest

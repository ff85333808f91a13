#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_reporter.h"
#include "core/recovery_run.h"
#include "disk/disk_inventory.h"
#include "disk/parameter_store.h"
#include "disk/service_device_files.h"

namespace lumarest {

// One command's world: its own run object, the disks, the store and where output goes.
struct CliContext {
    RecoveryRun run;
    std::unique_ptr<DiskEnumerator> disks;
    std::unique_ptr<ParameterStore> store;
    std::unique_ptr<CliReporter> reporter;
    // Disks read through descriptors the disk service handed over, for this command.
    std::unique_ptr<DiskService> diskService;
    bool alwaysAskDiskService = false;
    ServiceDeviceFiles deviceFiles;
    bool json = false;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;

    // Prints "lumarest-cli: error: <text>" to stderr and returns the bad-input status.
    int Fail(const std::string& text) const;
};

}  // namespace lumarest

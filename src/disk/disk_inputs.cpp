#include "disk/disk_inputs.h"

#include <utility>

#include "disk/disk_inventory.h"

namespace lumarest {

DiskInputs DiskInputsOf(const DiskProperties& disk, SectorReaderContext reader) {
    DiskInputs inputs;
    inputs.devicePath = disk.devicePath;
    inputs.totalSectors = disk.totalSectors;
    inputs.logicalSectorBytes = disk.bytesPerSector;
    inputs.reader = std::move(reader);
    return inputs;
}

DeviceSectorSource OpenDisk(DiskInputs disk) {
    return DeviceSectorSource(std::move(disk.reader), std::move(disk.devicePath), disk.totalSectors,
                              disk.logicalSectorBytes);
}

DeviceSectorSource OpenDisk(DiskInputs disk, Reporter& reporter) {
    disk.reader.reporter = &reporter;
    return OpenDisk(std::move(disk));
}

}  // namespace lumarest

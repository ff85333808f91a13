#include "disk/disk_inventory.h"

#include <algorithm>
#include <limits>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"
#include "core/tree_model.h"
#include "disk/parameter_store.h"

namespace lumarest {

namespace {

constexpr const char* kTreeTopText = "My Computer";
constexpr int kTopItemImage = 2;
constexpr int kDiskItemImage = 0;
constexpr const char* kRemovableMarker = "Removable media other than";
constexpr const char* kRemovableText = "Removable Media";
constexpr std::uint64_t kBytesPerMb = 1048576;

std::string CapacityText(const DiskProperties& disk) {
    return std::to_string(CapacityMb(disk)) + " MB";
}

// The slider works in 32 bits; a larger disk is held at the largest value it can show.
std::int32_t SliderMaximum(std::uint64_t totalSectors) {
    constexpr auto kLargest = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(std::min(totalSectors, kLargest));
}

TreeItem EnsureTopItem(RecoveryRun& run) {
    if (!run.diskTree) {
        run.diskTree = std::make_unique<TreeModel>();
    }
    TreeModel& tree = *run.diskTree;
    TreeItem top = tree.TopItem();
    if (top == kNoItem) {
        top = tree.InsertItem(kNoItem, kTreeTopText, kTopItemImage, kTopItemImage);
    }
    return top;
}

void StoreDiskValues(ParameterStore& store, const DiskProperties& disk) {
    const std::string valueName = "Disk" + std::to_string(disk.index);
    store.SetValue(kCylinderKey, valueName, std::to_string(disk.totalCylinders));
    store.SetValue(kHeadKey, valueName, std::to_string(disk.totalHeads));
    store.SetValue(kMediaTypeKey, valueName, disk.mediaType);
    store.SetValue(kModelKey, valueName, disk.model);
    store.SetValue(kSectorsPerTrackKey, valueName, std::to_string(disk.sectorsPerTrack));
    store.SetValue(kSizeKey, valueName, CapacityText(disk));
}

void KeepShownDisk(RecoveryRun& run, const DiskProperties& disk) {
    ShownDisk& shown = run.shownDisk;
    shown.diskNumber = static_cast<std::int32_t>(disk.index);
    shown.diskMaximum = SliderMaximum(disk.totalSectors);
    shown.totalSectors = disk.totalSectors;
    shown.logicalSectorBytes = disk.bytesPerSector;
    shown.totalSectorsText = std::to_string(SectorsInDiskUnit(disk));
    shown.capacityText = CapacityText(disk);
    shown.model = disk.model;
    shown.cylinders = std::to_string(disk.totalCylinders);
    shown.heads = std::to_string(disk.totalHeads);
    shown.sectorsPerTrack = std::to_string(disk.sectorsPerTrack);
}

void FillDetailsRows(TextTable& details, const DiskProperties& disk) {
    details.Clear();
    const std::pair<const char*, std::string> rows[] = {
        {"1. Model :", disk.model},
        {"2. MediaType :", disk.mediaType},
        {"3. Interface Type :", disk.interfaceType},
        {"4. Capacity(size) :", CapacityText(disk)},
        {"5. Cylinders :", std::to_string(disk.totalCylinders)},
        {"6. Heads :", std::to_string(disk.totalHeads)},
        {"7. Sectors :", std::to_string(SectorsInDiskUnit(disk))},
        {"8. Bytes per Sector :", std::to_string(disk.bytesPerSector)},
        {"9. Sector per Track :", std::to_string(disk.sectorsPerTrack)},
        {"10. Firmware Revision ID :", disk.firmwareRevision},
        {"11. PNP Device ID :", disk.pnpDeviceId},
        {"12. Serial Number :", disk.serialNumber},
        {"13. System Name :", disk.systemName},
        {"14. Physical Device ID :", disk.deviceId},
    };
    for (const auto& [caption, value] : rows) {
        details.AppendRow({caption, value});
    }
}

}  // namespace

std::uint64_t SectorsInDiskUnit(const DiskProperties& disk) {
    return disk.totalSectors / SectorsPerUnit(IsSupportedSectorSize(disk.bytesPerSector)
                                                  ? disk.bytesPerSector
                                                  : kSectorSize);
}

std::string DiskItemText(const DiskProperties& disk) {
    const std::string media = disk.mediaType.find(kRemovableMarker) != std::string::npos
                                  ? kRemovableText
                                  : disk.mediaType;
    return media + " (Disk" + std::to_string(disk.index) + ")";
}

std::int64_t CapacityMb(const DiskProperties& disk) {
    return static_cast<std::int64_t>(disk.totalSectors / (kBytesPerMb / kSectorSize));
}

void FillDriveTable(RecoveryRun& run, const std::vector<DiskProperties>& disks) {
    run.physicalDriveTable.fill({});
    for (const DiskProperties& disk : disks) {
        if (disk.index < kDriveSlots) {
            run.physicalDriveTable[disk.index] = disk.devicePath;
        }
    }
}

void RefreshInventory(RecoveryRun& run, DiskEnumerator& disks, ParameterStore& store,
                      Reporter& reporter) {
    // Linux has no BIOS disk service: sectors are always read through the device file.
    run.accessMode = 'N';
    const TreeItem top = EnsureTopItem(run);
    TreeModel& tree = *run.diskTree;
    // The list is made afresh each time, so a refresh never shows a disk twice.
    tree.RemoveChildren(top);
    store.Clear();

    const std::vector<DiskProperties> listed = disks.ListDisks(run);
    FillDriveTable(run, listed);
    for (const DiskProperties& disk : listed) {
        const TreeItem item =
            tree.InsertItem(top, DiskItemText(disk), kDiskItemImage, kDiskItemImage);
        tree.SetData(item, disk.index);
        StoreDiskValues(store, disk);
    }
    if (const std::string floppyPath = disks.FloppyPath(); !floppyPath.empty()) {
        run.floppyPath = floppyPath;
    }
    if (disks.HasFloppy()) {
        tree.InsertItem(top, kFloppyItemText, kDiskItemImage, kDiskItemImage);
    }
    tree.SortChildren(top);
    tree.Expand(top, ExpandAction::Expand);
    store.Save(reporter);
}

bool ShowDiskDetails(RecoveryRun& run, DiskEnumerator& disks, std::uint32_t index) {
    run.detailsList.Clear();
    for (const DiskProperties& disk : disks.ListDisks(run)) {
        if (disk.index == index) {
            FillDetailsRows(run.detailsList, disk);
            KeepShownDisk(run, disk);
            return true;
        }
    }
    return false;
}

}  // namespace lumarest

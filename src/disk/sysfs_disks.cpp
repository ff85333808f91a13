#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "core/recovery_run.h"
#include "disk/disk_inventory.h"
#include "disk/disk_sources.h"
#include "disk/logical_sector_size.h"

namespace lumarest {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFixedMedia = "Fixed hard disk media";
constexpr const char* kRemovableMedia = "Removable Media";
// libata fills the vendor field with this placeholder; the model says who made the disk.
constexpr const char* kPlaceholderVendor = "ATA";

// Whole disks only: partitions, loop, ram, zram, device-mapper, md and optical drives are
// not disks a user recovers from by number.
bool IsWholeDiskName(const std::string& name) {
    static const std::regex kWholeDisk("(sd|vd|hd|xvd)[a-z]+|nvme[0-9]+n[0-9]+|mmcblk[0-9]+");
    return std::regex_match(name, kWholeDisk);
}

std::string Trimmed(std::string text) {
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

// The first line of a sysfs attribute, trimmed; empty when it is not there.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return Trimmed(line);
}

std::string FirstAttribute(const fs::path& folder, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        std::string value = ReadAttribute(folder / name);
        if (!value.empty()) {
            return value;
        }
    }
    return {};
}

// The udev database entry of a block device: its E:KEY=VALUE lines.
std::map<std::string, std::string> ReadUdevProperties(const fs::path& udevDataRoot,
                                                      const std::string& majorMinor) {
    std::map<std::string, std::string> properties;
    if (majorMinor.empty()) {
        return properties;
    }
    std::ifstream in(udevDataRoot / ("b" + majorMinor));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("E:", 0) != 0) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            properties[line.substr(2, equals - 2)] = Trimmed(line.substr(equals + 1));
        }
    }
    return properties;
}

std::string UdevValue(const std::map<std::string, std::string>& udev, const char* key) {
    const auto found = udev.find(key);
    return found == udev.end() ? std::string() : found->second;
}

std::string InterfaceFromUdevBus(const std::string& bus) {
    static const std::map<std::string, std::string> kBuses = {
        {"usb", "USB"}, {"ata", "ATA"}, {"scsi", "SCSI"}, {"nvme", "NVMe"}, {"mmc", "MMC"}};
    const auto found = kBuses.find(bus);
    return found == kBuses.end() ? std::string() : found->second;
}

// Without udev the bus shows in the device's place in the sysfs tree and in its name.
std::string InterfaceFromSysfs(const fs::path& blockEntry, const std::string& name) {
    if (name.rfind("nvme", 0) == 0) {
        return "NVMe";
    }
    if (name.rfind("mmcblk", 0) == 0) {
        return "MMC";
    }
    if (name.rfind("vd", 0) == 0) {
        return "Virtio";
    }
    if (name.rfind("xvd", 0) == 0) {
        return "Xen";
    }
    if (name.rfind("hd", 0) == 0) {
        return "ATA";
    }
    std::error_code error;
    const std::string where = fs::canonical(blockEntry, error).string();
    if (where.find("/usb") != std::string::npos) {
        return "USB";
    }
    if (where.find("/ata") != std::string::npos) {
        return "ATA";
    }
    return "SCSI";
}

std::string ModelText(const fs::path& device, const std::map<std::string, std::string>& udev) {
    std::string vendor = ReadAttribute(device / "vendor");
    std::string model = FirstAttribute(device, {"model", "name"});
    if (model.empty()) {
        // udev writes spaces as underscores in these two.
        vendor = UdevValue(udev, "ID_VENDOR");
        model = UdevValue(udev, "ID_MODEL");
        std::replace(vendor.begin(), vendor.end(), '_', ' ');
        std::replace(model.begin(), model.end(), '_', ' ');
    }
    if (vendor.empty() || vendor == kPlaceholderVendor) {
        return model;
    }
    return model.empty() ? vendor : vendor + " " + model;
}

std::uint64_t SectorCount(const std::string& text) {
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

DiskProperties SysfsDiskProperties(const fs::path& blockEntry, const fs::path& udevDataRoot,
                                   const std::string& name, const std::string& systemName) {
    const fs::path device = blockEntry / "device";
    const auto udev = ReadUdevProperties(udevDataRoot, ReadAttribute(blockEntry / "dev"));

    DiskProperties disk;
    disk.mediaType = ReadAttribute(blockEntry / "removable") == "1" ? kRemovableMedia : kFixedMedia;
    disk.model = ModelText(device, udev);
    disk.interfaceType = InterfaceFromUdevBus(UdevValue(udev, "ID_BUS"));
    if (disk.interfaceType.empty()) {
        disk.interfaceType = InterfaceFromSysfs(blockEntry, name);
    }
    // sysfs counts the size in 512-byte units whatever the device's own sector size.
    disk.totalSectors = SectorCount(ReadAttribute(blockEntry / "size"));
    disk.firmwareRevision = UdevValue(udev, "ID_REVISION");
    if (disk.firmwareRevision.empty()) {
        disk.firmwareRevision = FirstAttribute(device, {"rev", "firmware_rev", "fwrev"});
    }
    disk.pnpDeviceId = UdevValue(udev, "ID_PATH");
    disk.serialNumber = UdevValue(udev, "ID_SERIAL_SHORT");
    if (disk.serialNumber.empty()) {
        disk.serialNumber = ReadAttribute(device / "serial");
    }
    disk.systemName = systemName;
    disk.deviceId = "/dev/" + name;
    disk.devicePath = disk.deviceId;
    ApplyStandardGeometry(
        disk, DeviceLogicalSectorBytes(ReadAttribute(blockEntry / "queue" / "logical_block_size")));
    return disk;
}

std::vector<std::string> WholeDiskNames(const fs::path& sysBlockRoot) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sysBlockRoot, error)) {
        std::string name = entry.path().filename().string();
        if (IsWholeDiskName(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

SystemDiskEnumerator::SystemDiskEnumerator(std::string sysBlockRoot, std::string udevDataRoot,
                                           std::string floppyPath)
    : sysBlockRoot_(std::move(sysBlockRoot)),
      udevDataRoot_(std::move(udevDataRoot)),
      floppyPath_(std::move(floppyPath)) {}

std::vector<DiskProperties> SystemDiskEnumerator::ListDisks(const RecoveryRun& run) {
    const std::string systemName = HostName();
    std::vector<DiskProperties> disks;
    for (const std::string& name : WholeDiskNames(sysBlockRoot_)) {
        if (disks.size() == kDriveSlots) {
            return disks;
        }
        DiskProperties disk =
            SysfsDiskProperties(fs::path(sysBlockRoot_) / name, udevDataRoot_, name, systemName);
        disk.index = static_cast<std::uint32_t>(disks.size());
        disks.push_back(std::move(disk));
    }
    for (const std::string& image : run.attachedImages) {
        if (disks.size() == kDriveSlots) {
            break;
        }
        disks.push_back(
            ImageDiskProperties(static_cast<std::uint32_t>(disks.size()), image, systemName));
    }
    return disks;
}

bool SystemDiskEnumerator::HasFloppy() const {
    struct stat info {};
    return ::stat(floppyPath_.c_str(), &info) == 0;
}

}  // namespace lumarest

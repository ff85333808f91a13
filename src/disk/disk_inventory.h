#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumarest {

struct RecoveryRun;
class Reporter;
class ParameterStore;

// The fourteen properties the inventory shows for a disk, plus where it is read from.
struct DiskProperties {
    std::uint32_t index = 0;  // slot: the disk number
    std::string mediaType;    // "Fixed hard disk media", "Removable Media", "Disk image file"
    std::string model;
    std::string interfaceType;  // "USB", "SCSI", "ATA", "NVMe", "MMC", "Virtio", "File"
    std::uint64_t totalCylinders = 0;
    std::uint32_t totalHeads = 0;
    std::uint64_t totalSectors = 0;  // real size in 512-byte (engine) sectors
    std::string firmwareRevision;
    std::string pnpDeviceId;
    std::string serialNumber;
    std::string systemName;
    std::string deviceId;  // /dev/NAME or the image path
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t bytesPerSector = 0;  // the disk's own logical sector size
    std::string devicePath;            // what ReadSectors opens
    bool isImage = false;
    // Read through a descriptor the system's disk service handed over, not opened directly.
    bool readThroughService = false;
};

// Where the disk list comes from: sysfs and udev for the machine's disks, then the attached
// images. Tests point it at a made-up sysfs tree.
class DiskEnumerator {
  public:
    virtual ~DiskEnumerator() = default;
    // The disks in slot order, at most ten.
    virtual std::vector<DiskProperties> ListDisks(const RecoveryRun& run) = 0;
    // True when the floppy drive exists (its item reads 1.44" Floppy).
    virtual bool HasFloppy() const = 0;
    // The floppy drive's device, or an empty text to keep the run's own.
    virtual std::string FloppyPath() const { return {}; }
};

class SystemDiskEnumerator : public DiskEnumerator {
  public:
    explicit SystemDiskEnumerator(std::string sysBlockRoot = "/sys/block",
                                  std::string udevDataRoot = "/run/udev/data",
                                  std::string floppyPath = "/dev/fd0");
    std::vector<DiskProperties> ListDisks(const RecoveryRun& run) override;
    bool HasFloppy() const override;
    std::string FloppyPath() const override { return floppyPath_; }

  private:
    std::string sysBlockRoot_;
    std::string udevDataRoot_;
    std::string floppyPath_;
};

inline constexpr const char* kFloppyItemText = "1.44\" Floppy";

// The disk's size in its own logical sectors, as the user is shown it.
std::uint64_t SectorsInDiskUnit(const DiskProperties& disk);

// "Fixed hard disk media (Disk0)"; media types containing "Removable media other than" read
// "Removable Media".
std::string DiskItemText(const DiskProperties& disk);

// Capacity in MB (1048576 bytes), truncated, from the disk's true size: a disk whose size is
// not a whole number of cylinders still shows all of it.
std::int64_t CapacityMb(const DiskProperties& disk);

// Attaches a raw image read-only as the next free disk number. Returns the message to show
// when it cannot be used (missing, a folder, empty, unreadable, no free slot).
std::optional<std::string> AttachImage(RecoveryRun& run, const std::string& path);

// Fills the drive table of the run: whole disks first, then attached images.
void FillDriveTable(RecoveryRun& run, const std::vector<DiskProperties>& disks);

// Start-up, refresh and Back to the disk page: decides the access mode, makes DiskTree if
// needed, clears and rewrites the parameter store, lists the disks under "My Computer",
// sorts them by text and expands the root.
void RefreshInventory(RecoveryRun& run, DiskEnumerator& disks, ParameterStore& store,
                      Reporter& reporter);

// Fills the details list with the fourteen rows of disk `index` and leaves its values in the
// run for the other pages. False when no disk has that index.
bool ShowDiskDetails(RecoveryRun& run, DiskEnumerator& disks, std::uint32_t index);

// The message to show when the device cannot be read by this user (naming the device and
// the ways out), or nothing when it can be opened.
std::optional<std::string> CheckDeviceReadable(const std::string& devicePath);

// Why this user may not read the device, with the ways out.
std::string PermissionAdvice(const std::string& devicePath);

// True when opening the device read-only fails for want of permission.
bool PermissionDenied(const std::string& devicePath);

}  // namespace lumarest

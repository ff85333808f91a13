#include "disk/disk_sources.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <filesystem>

#include "core/sector_source.h"
#include "disk/logical_sector_size.h"

namespace lumarest {

namespace {

constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;
constexpr const char* kImageMediaType = "Disk image file";
constexpr const char* kImageInterface = "File";

}  // namespace

void ApplyStandardGeometry(DiskProperties& disk, std::uint32_t logicalSectorBytes) {
    disk.totalHeads = kHeads;
    disk.sectorsPerTrack = kSectorsPerTrack;
    disk.bytesPerSector =
        IsSupportedSectorSize(logicalSectorBytes) ? logicalSectorBytes : kSectorSize;
    disk.totalCylinders =
        SectorsInDiskUnit(disk) / (static_cast<std::uint64_t>(kHeads) * kSectorsPerTrack);
}

std::optional<std::uint64_t> DeviceSizeBytes(const std::string& path) {
    const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        return std::nullopt;
    }
    // The end offset works for files and block devices alike, where stat gives 0 for devices.
    const off_t end = ::lseek(handle, 0, SEEK_END);
    ::close(handle);
    if (end < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(end);
}

std::uint64_t SectorsForBytes(std::uint64_t bytes) {
    return bytes / kSectorSize + (bytes % kSectorSize != 0 ? 1 : 0);
}

DiskProperties ImageDiskProperties(std::uint32_t index, const std::string& path,
                                   const std::string& systemName) {
    DiskProperties disk;
    disk.index = index;
    disk.mediaType = kImageMediaType;
    disk.model = std::filesystem::path(path).filename().string();
    disk.interfaceType = kImageInterface;
    disk.totalSectors = SectorsForBytes(DeviceSizeBytes(path).value_or(0));
    disk.systemName = systemName;
    disk.deviceId = path;
    disk.devicePath = path;
    disk.isImage = true;
    ApplyStandardGeometry(disk, ReadImageLogicalSectorBytes(path));
    return disk;
}

std::string HostName() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return std::string(name.data());
}

}  // namespace lumarest

#include "disk/logical_sector_size.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "core/sector_source.h"

namespace lumarest {

namespace {

constexpr std::string_view kGptSignature = "EFI PART";
constexpr std::size_t kLargeGptHeader = 4096;
constexpr std::size_t kBytesPerSectorOffset = 11;
constexpr std::size_t kNtfsMarkOffset = 3;
constexpr std::size_t kFat16MarkOffset = 54;
constexpr std::size_t kFat32MarkOffset = 82;
constexpr std::size_t kSignatureOffset = 510;

// Sector 0 is a volume's boot sector, not a partition table: it names its file system where a
// FAT or NTFS boot sector does.
bool IsVolumeBootSector(ByteSpan head) {
    return LoadLe16(head, kSignatureOffset).value_or(0) == 0xAA55 &&
           (SpellsAt(head, kNtfsMarkOffset, "NTFS    ") ||
            SpellsAt(head, kFat16MarkOffset, "FAT1") || SpellsAt(head, kFat32MarkOffset, "FAT32"));
}

}  // namespace

std::uint32_t ImageLogicalSectorBytes(ByteSpan head) {
    if (SpellsAt(head, kLargeGptHeader, kGptSignature) &&
        !SpellsAt(head, kSectorSize, kGptSignature)) {
        return kLargestSectorSize;
    }
    if (IsVolumeBootSector(head)) {
        const std::uint32_t bytes = LoadLe16(head, kBytesPerSectorOffset).value_or(0);
        if (IsSupportedSectorSize(bytes)) {
            return bytes;
        }
    }
    return kSectorSize;
}

std::uint32_t ReadImageLogicalSectorBytes(const std::string& path) {
    const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        return kSectorSize;
    }
    std::vector<std::uint8_t> head(kSectorSizeProbeBytes, 0);
    const ssize_t got = ::pread(handle, head.data(), head.size(), 0);
    ::close(handle);
    head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return ImageLogicalSectorBytes(head);
}

std::uint32_t DeviceLogicalSectorBytes(const std::string& attribute) {
    std::uint32_t bytes = 0;
    const char* end = attribute.data() + attribute.size();
    const auto result = std::from_chars(attribute.data(), end, bytes);
    if (result.ec != std::errc() || result.ptr != end || !IsSupportedSectorSize(bytes)) {
        return kSectorSize;
    }
    return bytes;
}

}  // namespace lumarest

#include "core/memory_disk.h"

#include <algorithm>
#include <cstring>

namespace lumarest {

MemoryDisk::MemoryDisk(std::vector<std::uint8_t> bytes, std::string name)
    : bytes_(std::move(bytes)), name_(std::move(name)) {}

std::uint64_t MemoryDisk::TotalSectors() const {
    return (bytes_.size() + kSectorSize - 1) / kSectorSize;
}

int MemoryDisk::ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) {
    ++readCalls_;
    int result = 1;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* out = buffer + static_cast<std::size_t>(i) * kSectorSize;
        std::memset(out, 0, kSectorSize);
        const std::uint64_t sector = firstSector + i;
        if (sector < firstSector || sector >= TotalSectors() || unreadable_.count(sector) != 0) {
            result = 0;
            continue;
        }
        const std::uint64_t offset = sector * kSectorSize;
        const std::size_t available =
            static_cast<std::size_t>(std::min<std::uint64_t>(kSectorSize, bytes_.size() - offset));
        std::memcpy(out, bytes_.data() + offset, available);
    }
    return result;
}

}  // namespace lumarest

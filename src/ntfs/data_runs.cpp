#include "ntfs/data_runs.h"

#include <algorithm>
#include <limits>

namespace lumarest {

namespace {

constexpr std::uint8_t kLengthSizeMask = 0x0F;
constexpr unsigned kOffsetSizeShift = 4;
constexpr std::size_t kMaxFieldBytes = 8;
constexpr std::uint64_t kMaxSector = std::numeric_limits<std::int64_t>::max();

std::uint64_t ReadUnsignedField(ByteSpan bytes, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    }
    return value;
}

// The top bit of the last byte is the sign.
std::int64_t ReadSignedField(ByteSpan bytes, std::size_t size) {
    std::uint64_t value = ReadUnsignedField(bytes, size);
    if (size < kMaxFieldBytes && (bytes[size - 1] & 0x80) != 0) {
        value |= ~std::uint64_t{0} << (8 * size);
    }
    return static_cast<std::int64_t>(value);
}

bool MultiplyFits(std::uint64_t a, std::uint64_t b, std::uint64_t limit) {
    return a == 0 || b <= limit / a;
}

}  // namespace

DecodedRuns DecodeRuns(ByteSpan runList, std::uint64_t cluster0Start,
                       std::uint32_t sectorsPerCluster) {
    DecodedRuns decoded;
    if (sectorsPerCluster == 0) {
        return decoded;
    }
    const std::int64_t spc = sectorsPerCluster;
    const std::int64_t volumeStart = static_cast<std::int64_t>(std::min(cluster0Start, kMaxSector));
    std::int64_t base = volumeStart;
    std::size_t position = 0;
    while (decoded.runs.size() < kMaxRunsPerList) {
        if (position >= runList.size()) {
            return decoded;  // no end byte
        }
        const std::uint8_t header = runList[position];
        if (header == 0) {
            decoded.complete = true;
            return decoded;
        }
        const std::size_t lengthSize = header & kLengthSizeMask;
        const std::size_t offsetSize = header >> kOffsetSizeShift;
        if (lengthSize == 0 || lengthSize > kMaxFieldBytes || offsetSize > kMaxFieldBytes) {
            return decoded;
        }
        const ByteSpan fields = SliceOrEmpty(runList, position + 1, lengthSize + offsetSize);
        if (fields.empty()) {
            return decoded;
        }
        const std::uint64_t clusters = ReadUnsignedField(fields, lengthSize);
        if (!MultiplyFits(clusters, sectorsPerCluster, kMaxSector)) {
            return decoded;
        }
        DataRun run;
        run.sectorCount = clusters * sectorsPerCluster;
        if (offsetSize == 0) {
            run.sparse = true;
        } else {
            const std::int64_t offset = ReadSignedField(fields.subspan(lengthSize), offsetSize);
            std::int64_t step = 0;
            std::int64_t start = 0;
            if (__builtin_mul_overflow(offset, spc, &step) ||
                __builtin_add_overflow(base, step, &start) || start < volumeStart) {
                return decoded;
            }
            run.startSector = static_cast<std::uint64_t>(start);
            base = start;
        }
        decoded.runs.push_back(run);
        position += 1 + lengthSize + offsetSize;
    }
    return decoded;
}

std::uint64_t TotalSectors(const std::vector<DataRun>& runs) {
    std::uint64_t total = 0;
    for (const DataRun& run : runs) {
        // Saturates: a broken list of huge runs must not wrap round to a small total.
        total = run.sectorCount > UINT64_MAX - total ? UINT64_MAX : total + run.sectorCount;
    }
    return total;
}

}  // namespace lumarest

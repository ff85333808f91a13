// Fuzzes the exFAT part of the Advance search: the scan of a range and the inference of
// volumes from what it found.
//
// Input: 4 header bytes, then a small disk. The header plants what random bytes rarely spell,
// so the inference is reached: byte 0 the sector given the up-case table's start, byte 1 the
// sector given a root's bitmap and up-case entries, bytes 2 and 3 the clusters those entries
// name (scaled up by their top bits, so values near the 32-bit edge occur). Entry sets at the
// start of a sector get their checksums made right. A sector number past the disk plants
// nothing. The scan must end, stay within its read budget and the inference may list only
// volumes its facts place.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/reporter.h"
#include "exfat/found_exfat_volume.h"
#include "fuzz_disk.h"

namespace {

using namespace lumarest;
using fuzzing::Check;

constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kMaxDiskBytes = 64 * 1024;
constexpr std::uint64_t kMaxReads = 8 * 1024;

void PutLe32(std::vector<std::uint8_t>& disk, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        disk[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t ClusterOf(std::uint8_t code) {
    const std::uint32_t low = code & 0x3F;
    switch (code >> 6) {
        case 0:
            return low;
        case 1:
            return low << 8;
        case 2:
            return low << 20;
        default:
            return 0xFFFFFFFF - low;
    }
}

void PlantUpcase(std::vector<std::uint8_t>& disk, std::size_t sector) {
    for (std::uint16_t unit = 0; unit < 256; ++unit) {
        const auto mapped =
            static_cast<std::uint16_t>(unit >= 'a' && unit <= 'z' ? unit - 32 : unit);
        disk[sector * kSectorSize + 2 * unit] = static_cast<std::uint8_t>(mapped);
        disk[sector * kSectorSize + 2 * unit + 1] = static_cast<std::uint8_t>(mapped >> 8);
    }
}

void PlantRoot(std::vector<std::uint8_t>& disk, std::size_t sector, std::uint32_t bitmap,
               std::uint32_t upcase) {
    const std::size_t at = sector * kSectorSize;
    std::fill_n(disk.begin() + static_cast<std::ptrdiff_t>(at), 64, 0);
    disk[at] = 0x81;
    PutLe32(disk, at + 20, bitmap);
    disk[at + 24] = 1;
    disk[at + 32] = 0x82;
    PutLe32(disk, at + 32 + 20, upcase);
    disk[at + 32 + 24] = 1;
}

// Writes the set checksum of a File entry starting a sector, over what its count covers.
void MendSetChecksums(std::vector<std::uint8_t>& disk) {
    for (std::size_t at = 0; at + kSectorSize <= disk.size(); at += kSectorSize) {
        if ((disk[at] | 0x80) != 0x85) {
            continue;
        }
        const std::size_t bytes = std::min<std::size_t>((disk[at + 1] + 1u) * 32, kSectorSize);
        std::uint16_t sum = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            if (i == 2 || i == 3) {
                continue;
            }
            const std::uint8_t byte = i % 32 == 0 ? disk[at + i] | 0x80 : disk[at + i];
            sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + byte);
        }
        disk[at + 2] = static_cast<std::uint8_t>(sum);
        disk[at + 3] = static_cast<std::uint8_t>(sum >> 8);
    }
}

bool PowerOfTwo(std::uint32_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

// An inferred volume puts some up-case table start at a cluster start of its heap.
bool PlacedByATable(const ExFatScanFacts& facts, const FoundExFatVolume& v) {
    return std::any_of(facts.upcaseSectors.begin(), facts.upcaseSectors.end(), [&](auto s) {
        return s >= v.heapStart && (s - v.heapStart) % v.sectorsPerCluster == 0;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size <= kHeaderBytes) {
        return 0;
    }
    const std::size_t diskBytes = std::min(size - kHeaderBytes, kMaxDiskBytes);
    const std::uint64_t sectors = (diskBytes + kSectorSize - 1) / kSectorSize;
    std::vector<std::uint8_t> bytes(data + kHeaderBytes, data + kHeaderBytes + diskBytes);
    bytes.resize(sectors * kSectorSize);
    MendSetChecksums(bytes);
    if (data[0] < sectors) {
        PlantUpcase(bytes, data[0]);
    }
    if (data[1] < sectors) {
        PlantRoot(bytes, data[1], ClusterOf(data[2]), ClusterOf(data[3]));
    }
    fuzzing::FuzzDisk disk(std::move(bytes), sectors, kMaxReads);
    NullReporter reporter;
    const ExFatScanFacts facts = ScanForExFatFacts(disk, 0, sectors - 1, reporter, {});
    Check(facts.nextSector == sectors);
    Check(std::is_sorted(facts.directorySectors.begin(), facts.directorySectors.end()));
    for (const FoundExFatVolume& v : InferExFatVolumes(facts)) {
        Check(PowerOfTwo(v.sectorsPerCluster) && v.sectorsPerCluster <= kExFatMaxSectorsPerCluster);
        Check(v.bootFound || (v.evidence >= 2 && PlacedByATable(facts, v)));
    }
    return 0;
}

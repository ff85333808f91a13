// Fuzzes boot-sector validation and the layout calculation over a small disk.
//
// Input: byte 0 picks the file-system name (bits 0-1: FAT16, FAT32, NTFS, or another name)
// and, in bits 2-4, a bytes-per-sector value written into the partition's first sector (0:
// what the input holds; else 0, 256, 1024, 2048, 3000, 4096 or 8192), byte 1 the partition's first
// sector (0 to 15) and byte 2 how many sectors before the disk's end it finishes; the rest fills
// the disk's 64 sectors. Reads past the disk fail with zeros as a device's do. The number of reads
// must stay bounded and a layout that is taken must hold together.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fuzz_disk.h"
#include "partitions/boot_sector.h"
#include "partitions/volume_params.h"

namespace {

using lumarest::fuzzing::Check;
using lumarest::fuzzing::FuzzDisk;

using lumarest::kSectorSize;

constexpr std::uint64_t kDiskSectors = 64;
constexpr std::array<const char*, 4> kNames = {"FAT16", "FAT32", "NTFS", "FAT12"};
constexpr std::array<std::uint16_t, 7> kSectorBytes = {0, 256, 1024, 2048, 3000, 4096, 8192};
constexpr std::size_t kBytesPerSectorOffset = 11;
// Validation reads a handful of sectors (the backups of each sector size among them);
// calculation the reserved area and the disk by chunks.
constexpr std::uint64_t kMaxReads = 24 + 30 + kDiskSectors;

// A cluster in engine sectors: 1 to 128 of the volume's own, each 1 to 8 engine sectors.
bool IsEngineClusterSize(std::uint32_t sectors) {
    return sectors != 0 && sectors <= 128 * 8 && (sectors & (sectors - 1)) == 0;
}

void CheckFatLayout(const lumarest::VolumeParams& params, std::uint64_t start) {
    Check(params.sectorsPerCluster != 0);
    Check(params.firstFat == start + params.reservedSectors);
    Check(params.secondFat == params.firstFat + params.sectorsPerFat);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    std::vector<std::uint8_t> bytes(kDiskSectors * kSectorSize, 0);
    std::memcpy(bytes.data(), data + 3, std::min(size - 3, bytes.size()));
    const std::uint64_t start = data[1] % 16;
    if (const unsigned pick = (data[0] >> 2) & 0x07; pick != 0) {
        const std::uint16_t value = kSectorBytes[pick - 1];
        bytes[start * kSectorSize + kBytesPerSectorOffset] = static_cast<std::uint8_t>(value);
        bytes[start * kSectorSize + kBytesPerSectorOffset + 1] =
            static_cast<std::uint8_t>(value >> 8);
    }
    FuzzDisk disk(std::move(bytes), kDiskSectors, kMaxReads);

    const std::string name = kNames[data[0] & 0x03];
    const std::uint64_t last = kDiskSectors - 1 - data[2] % 16;
    lumarest::RecoveryRun run;
    SetPartitionFileSystem(run.selectedPartition, name);
    run.selectedPartition.startSector = static_cast<std::int64_t>(start);
    run.selectedPartition.endSector = static_cast<std::int64_t>(last);
    lumarest::NullReporter reporter;

    const int valid = lumarest::ValidatePartition(run, disk, reporter);
    Check(valid == 0 || valid == 1);
    if (valid == 1 && name == "NTFS") {
        const lumarest::VolumeParams& params = run.volumeParams;
        Check(IsEngineClusterSize(params.sectorsPerCluster));
        Check(lumarest::IsValidRecordSectors(params.mftRecordSectors));
        Check(params.mftSector != 0 || params.mftMirrSector != 0);
        Check(params.cluster0Start == start);
    } else if (valid == 1) {
        Check(name == "FAT16" || name == "FAT32");
        CheckFatLayout(run.volumeParams, start);
    }

    disk.ResetReads();
    run.volumeParams = lumarest::VolumeParams{};
    const int calculated =
        lumarest::CalculateVolumeParams(run, disk, reporter, run.scanStop.get_token());
    Check(calculated == 0 || (calculated == 1 && (name == "FAT16" || name == "FAT32")));
    if (calculated == 1) {
        const lumarest::VolumeParams& params = run.volumeParams;
        Check(lumarest::IsValidSectorsPerCluster(params.sectorsPerCluster));
        CheckFatLayout(params, start);
    }
    return 0;
}

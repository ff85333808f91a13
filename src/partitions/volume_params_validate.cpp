#include <array>
#include <cstdint>
#include <limits>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"
#include "partitions/boot_sector.h"
#include "partitions/volume_params.h"

namespace lumarest {

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

// An unreadable sector is tested as the reader leaves it: zeros.
Sector ReadSector(SectorSource& disk, std::uint64_t sector) {
    Sector bytes{};
    disk.ReadSectors(sector, 1, bytes.data());
    return bytes;
}

bool FirstFatByteIsMedia(SectorSource& disk, std::uint64_t start, const FatBootFields& fields) {
    const std::uint64_t secondFat =
        start + std::uint64_t{fields.reservedSectors} + fields.sectorsPerFat;
    return StartsWithFixedDiskMedia(ReadSector(disk, secondFat));
}

void FillFatLayout(VolumeParams& params, std::uint32_t start, const FatBootFields& fields,
                   bool fat16) {
    params.sectorsPerFat = fields.sectorsPerFat;
    params.sectorsPerCluster = fields.sectorsPerCluster;
    params.reservedSectors = fields.reservedSectors;
    params.firstFat = start + fields.reservedSectors;
    params.secondFat = params.firstFat + fields.sectorsPerFat;
    const std::uint32_t dataStart = params.firstFat + kFatCount * fields.sectorsPerFat;
    if (fat16) {
        params.rootSectors = fields.rootEntries / kDirEntriesPerSector;
        params.rootStart = dataStart;
        params.cluster0Start = dataStart + params.rootSectors - 2 * fields.sectorsPerCluster;
    } else {
        params.rootSectors = 0;
        params.rootStart = fields.rootCluster;
        params.cluster0Start = dataStart - 2 * fields.sectorsPerCluster;
    }
}

int ValidateFat16(VolumeParams& params, SectorSource& disk, std::uint64_t start) {
    const Sector boot = ReadSector(disk, start);
    if (!HasBootSignature(boot)) {
        return 0;
    }
    const FatBootFields fields = ParseFat16BootFields(boot);
    if (fields.sectorsPerCluster == 0 || !FirstFatByteIsMedia(disk, start, fields)) {
        return 0;
    }
    FillFatLayout(params, static_cast<std::uint32_t>(start), fields, true);
    return 1;
}

int ValidateFat32(VolumeParams& params, SectorSource& disk, std::uint64_t start) {
    const std::uint64_t backup = start + kFat32BackupOffset;
    Sector boot = ReadSector(disk, start);
    if (!HasBootSignature(boot)) {
        boot = ReadSector(disk, backup);
        if (!HasBootSignature(boot)) {
            return 0;
        }
    }
    FatBootFields fields = ParseFat32BootFields(boot);
    if (!FirstFatByteIsMedia(disk, start, fields)) {
        fields = ParseFat32BootFields(ReadSector(disk, backup));
        if (!FirstFatByteIsMedia(disk, start, fields)) {
            return 0;
        }
    }
    if (fields.sectorsPerCluster == 0) {
        return 0;
    }
    FillFatLayout(params, static_cast<std::uint32_t>(start), fields, false);
    return 1;
}

// The NTFS boot sector in use: the primary at the partition's first sector or the backup at
// its last, switched over when the one in use fails a test.
class NtfsBootInUse {
  public:
    NtfsBootInUse(SectorSource& disk, std::uint64_t primary, std::uint64_t backup)
        : disk_(disk), primary_(primary), backup_(backup) {}

    bool Open() {
        Load(primary_);
        if (!HasBootSignature(bytes_)) {
            Load(backup_);
        }
        return HasBootSignature(bytes_);
    }
    void Switch() { Load(at_ == primary_ ? backup_ : primary_); }
    const NtfsBootFields& Fields() const { return fields_; }

  private:
    void Load(std::uint64_t sector) {
        at_ = sector;
        bytes_ = ReadSector(disk_, sector);
        fields_ = ParseNtfsBootFields(bytes_);
    }

    SectorSource& disk_;
    std::uint64_t primary_;
    std::uint64_t backup_;
    std::uint64_t at_ = 0;
    Sector bytes_{};
    NtfsBootFields fields_;
};

// The sector of the MFT (or its mirror) at `cluster`, when it holds a file record; 0 when it
// does not or lies past 32-bit sector numbers.
std::uint32_t FileRecordSectorAt(SectorSource& disk, std::uint64_t start, std::uint32_t cluster,
                                 std::uint32_t sectorsPerCluster) {
    const std::uint64_t sector = start + std::uint64_t{cluster} * sectorsPerCluster;
    if (sector > std::numeric_limits<std::uint32_t>::max() ||
        !StartsWithFileRecord(ReadSector(disk, sector))) {
        return 0;
    }
    return static_cast<std::uint32_t>(sector);
}

template <typename ClusterOf>
std::uint32_t FindFileRecordSector(NtfsBootInUse& boot, SectorSource& disk, std::uint64_t start,
                                   std::uint32_t sectorsPerCluster, ClusterOf clusterOf) {
    std::uint32_t sector =
        FileRecordSectorAt(disk, start, clusterOf(boot.Fields()), sectorsPerCluster);
    if (sector == 0) {
        boot.Switch();
        sector = FileRecordSectorAt(disk, start, clusterOf(boot.Fields()), sectorsPerCluster);
    }
    return sector;
}

int ValidateNtfs(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                 std::uint64_t last) {
    NtfsBootInUse boot(disk, start, last);
    if (!boot.Open()) {
        return 0;
    }
    if (!IsValidSectorsPerCluster(boot.Fields().sectorsPerCluster)) {
        boot.Switch();
        if (!IsValidSectorsPerCluster(boot.Fields().sectorsPerCluster)) {
            return 0;
        }
    }
    std::uint64_t recordSectors =
        NtfsRecordSectors(boot.Fields().clustersPerRecord, boot.Fields().sectorsPerCluster);
    if (!IsValidRecordSectors(recordSectors)) {
        boot.Switch();
        if (!IsValidSectorsPerCluster(boot.Fields().sectorsPerCluster)) {
            return 0;
        }
        recordSectors =
            NtfsRecordSectors(boot.Fields().clustersPerRecord, boot.Fields().sectorsPerCluster);
        if (!IsValidRecordSectors(recordSectors)) {
            return 0;
        }
    }
    const std::uint32_t sectorsPerCluster = boot.Fields().sectorsPerCluster;
    const std::uint32_t mftSector =
        FindFileRecordSector(boot, disk, start, sectorsPerCluster,
                             [](const NtfsBootFields& fields) { return fields.mftCluster; });
    const std::uint32_t mftMirrSector =
        FindFileRecordSector(boot, disk, start, sectorsPerCluster,
                             [](const NtfsBootFields& fields) { return fields.mftMirrCluster; });
    if (mftSector == 0 && mftMirrSector == 0) {
        return 0;
    }
    params.sectorsPerCluster = sectorsPerCluster;
    params.cluster0Start = static_cast<std::uint32_t>(start);
    params.mftSector = mftSector;
    params.mftMirrSector = mftMirrSector;
    params.mftRecordSectors = static_cast<std::uint32_t>(recordSectors);
    params.indexRecordSectors = static_cast<std::uint32_t>(
        NtfsIndexSectors(boot.Fields().clustersPerIndex, sectorsPerCluster));
    return 1;
}

}  // namespace

int ValidatePartition(RecoveryRun& run, SectorSource& disk, Reporter& reporter) {
    run.ClearEntryTables();
    reporter.SetPhaseLabel(kValidatingCaption);
    const SelectedPartition& partition = run.selectedPartition;
    const auto start = static_cast<std::uint64_t>(partition.startSector);
    if (partition.fsName == "FAT16") {
        return ValidateFat16(run.volumeParams, disk, start);
    }
    if (partition.fsName == "FAT32") {
        return ValidateFat32(run.volumeParams, disk, start);
    }
    if (partition.fsName == "NTFS") {
        return ValidateNtfs(run.volumeParams, disk, start,
                            static_cast<std::uint64_t>(partition.endSector));
    }
    return 0;
}

}  // namespace lumarest

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"
#include "partitions/boot_sector.h"
#include "partitions/volume_params.h"
#include "volume/file_system_room.h"

namespace lumarest {

namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;

// Every sector number of a layout is kept in 32 bits.
constexpr std::uint64_t kLargestParamsSector = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kBytesPerSectorOffset = 11;

// An unreadable sector is tested as the reader leaves it: zeros.
Sector ReadSector(SectorSource& disk, std::uint64_t sector) {
    Sector bytes{};
    disk.ReadSectors(sector, 1, bytes.data());
    return bytes;
}

// The boot sector's FAT counts in engine sectors, or nothing when it gives no sector size
// this reader knows or the layout lies past 32-bit sector numbers.
std::optional<FatBootFields> InEngineSectors(FatBootFields fields, ByteSpan boot,
                                             std::uint64_t start) {
    const std::optional<std::uint32_t> bytes = VolumeSectorBytes(boot);
    if (!bytes) {
        return std::nullopt;
    }
    const std::uint64_t perUnit = SectorsPerUnit(*bytes);
    const std::uint64_t cluster = fields.sectorsPerCluster * perUnit;
    const std::uint64_t reserved = fields.reservedSectors * perUnit;
    const std::uint64_t fat = fields.sectorsPerFat * perUnit;
    if (start + reserved + kFatCount * fat > kLargestParamsSector) {
        return std::nullopt;
    }
    fields.sectorsPerCluster = static_cast<std::uint32_t>(cluster);
    fields.reservedSectors = static_cast<std::uint32_t>(reserved);
    fields.sectorsPerFat = static_cast<std::uint32_t>(fat);
    return fields;
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
    const std::optional<FatBootFields> fields =
        InEngineSectors(ParseFat16BootFields(boot), boot, start);
    if (!fields || fields->sectorsPerCluster == 0 || !FirstFatByteIsMedia(disk, start, *fields)) {
        return 0;
    }
    FillFatLayout(params, static_cast<std::uint32_t>(start), *fields, true);
    return 1;
}

// The FAT32 backup boot sector lies six of the volume's own sectors in. When the size is not
// known from the sector in use, each size is tried and the backup must give that size itself.
std::optional<Sector> Fat32Backup(SectorSource& disk, std::uint64_t start,
                                  std::optional<std::uint32_t> knownBytes, bool needSignature) {
    for (std::uint32_t bytes = kSectorSize; bytes <= kLargestSectorSize; bytes *= 2) {
        if (knownBytes && *knownBytes != bytes) {
            continue;
        }
        Sector backup =
            ReadSector(disk, start + std::uint64_t{kFat32BackupOffset} * SectorsPerUnit(bytes));
        if ((!needSignature || HasBootSignature(backup)) && VolumeSectorBytes(backup) == bytes) {
            return backup;
        }
    }
    return std::nullopt;
}

int ValidateFat32(VolumeParams& params, SectorSource& disk, std::uint64_t start) {
    Sector boot = ReadSector(disk, start);
    if (!HasBootSignature(boot) || !VolumeSectorBytes(boot)) {
        const std::optional<Sector> backup = Fat32Backup(disk, start, std::nullopt, true);
        if (!backup) {
            return 0;
        }
        boot = *backup;
    }
    std::optional<FatBootFields> fields = InEngineSectors(ParseFat32BootFields(boot), boot, start);
    if (!fields || !FirstFatByteIsMedia(disk, start, *fields)) {
        const std::optional<Sector> backup =
            Fat32Backup(disk, start, VolumeSectorBytes(boot), false);
        if (!backup) {
            return 0;
        }
        fields = InEngineSectors(ParseFat32BootFields(*backup), *backup, start);
        if (!fields || !FirstFatByteIsMedia(disk, start, *fields)) {
            return 0;
        }
    }
    if (fields->sectorsPerCluster == 0) {
        return 0;
    }
    FillFatLayout(params, static_cast<std::uint32_t>(start), *fields, false);
    return 1;
}

// The NTFS backup boot sector is the volume's last sector of its own size: the first engine
// sector of it lies before the partition's last engine sector by the rest of that size.
std::uint64_t NtfsBackupSector(SectorSource& disk, std::uint64_t last) {
    for (std::uint32_t bytes = kLargestSectorSize; bytes > kSectorSize; bytes /= 2) {
        const std::uint64_t perUnit = SectorsPerUnit(bytes);
        if (last + 1 < perUnit) {
            continue;
        }
        const Sector backup = ReadSector(disk, last + 1 - perUnit);
        if (HasBootSignature(backup) && VolumeSectorBytes(backup) == bytes) {
            return last + 1 - perUnit;
        }
    }
    return last;
}

// The NTFS boot sector in use: the primary at the partition's first sector or the backup at
// its last, switched over when the one in use fails a test.
class NtfsBootInUse {
  public:
    NtfsBootInUse(SectorSource& disk, std::uint64_t primary, std::uint64_t backup)
        : disk_(disk), primary_(primary), backup_(backup) {}

    bool Open() {
        Load(primary_);
        if (!Usable()) {
            Load(backup_);
        }
        return Usable();
    }
    void Switch() { Load(at_ == primary_ ? backup_ : primary_); }
    const NtfsBootFields& Fields() const { return fields_; }
    std::uint32_t EngineSectorsPerCluster() const { return fields_.sectorsPerCluster * perUnit_; }

  private:
    bool Usable() const { return HasBootSignature(bytes_) && VolumeSectorBytes(bytes_); }

    // A sector that gives no known sector size gives no fields: its counts cannot be read.
    // The cluster size is kept in the volume's own sectors here, and in engine sectors apart.
    void Load(std::uint64_t sector) {
        at_ = sector;
        bytes_ = ReadSector(disk_, sector);
        const std::optional<std::uint32_t> unit = VolumeSectorBytes(bytes_);
        fields_ = unit ? ParseNtfsBootFields(bytes_) : NtfsBootFields{};
        perUnit_ = SectorsPerUnit(unit.value_or(kSectorSize));
    }

    SectorSource& disk_;
    std::uint64_t primary_;
    std::uint64_t backup_;
    std::uint64_t at_ = 0;
    Sector bytes_{};
    NtfsBootFields fields_;
    std::uint32_t perUnit_ = 1;
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
    NtfsBootInUse boot(disk, start, NtfsBackupSector(disk, last));
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
        NtfsRecordSectors(boot.Fields().clustersPerRecord, boot.EngineSectorsPerCluster());
    if (!IsValidRecordSectors(recordSectors)) {
        boot.Switch();
        if (!IsValidSectorsPerCluster(boot.Fields().sectorsPerCluster)) {
            return 0;
        }
        recordSectors =
            NtfsRecordSectors(boot.Fields().clustersPerRecord, boot.EngineSectorsPerCluster());
        if (!IsValidRecordSectors(recordSectors)) {
            return 0;
        }
    }
    const std::uint32_t sectorsPerCluster = boot.EngineSectorsPerCluster();
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

// A boot sector that is there but gives a sector size no disk has is told to the user: the
// search goes on without it, and an empty result must not look like an empty volume.
void ReportUnknownSectorSize(SectorSource& disk, std::uint64_t start, Reporter& reporter) {
    const Sector boot = ReadSector(disk, start);
    if (!HasBootSignature(boot) || VolumeSectorBytes(boot)) {
        return;
    }
    reporter.ShowMessage(
        UnknownSectorSizeMessage(LoadLe16(boot, kBytesPerSectorOffset).value_or(0), start),
        MessageIcon::Warning);
}

int ValidateByName(RecoveryRun& run, SectorSource& disk) {
    const SelectedPartition& partition = run.selectedPartition;
    if (!partition.fileSystem) {
        return 0;
    }
    return RoomFor(*partition.fileSystem)
                   .ValidateBootSector(run.volumeParams, disk,
                                       static_cast<std::uint64_t>(partition.startSector),
                                       static_cast<std::uint64_t>(partition.endSector))
               ? 1
               : 0;
}

}  // namespace

bool ValidateFatBootSector(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                           bool fat16) {
    return (fat16 ? ValidateFat16(params, disk, start) : ValidateFat32(params, disk, start)) != 0;
}

bool ValidateNtfsBootSector(VolumeParams& params, SectorSource& disk, std::uint64_t start,
                            std::uint64_t last) {
    return ValidateNtfs(params, disk, start, last) != 0;
}

std::string UnknownSectorSizeMessage(std::uint32_t bytesPerSector, std::uint64_t sector) {
    return "The boot sector at sector " + std::to_string(sector) + " gives " +
           std::to_string(bytesPerSector) +
           " bytes per sector, which no disk has (512, 1024, 2048 or 4096); it is not used.";
}

bool FitsVolumeParams(std::int64_t startSector, std::int64_t endSector) {
    return startSector >= 0 && endSector >= 0 &&
           static_cast<std::uint64_t>(startSector) <= kLargestParamsSector &&
           static_cast<std::uint64_t>(endSector) <= kLargestParamsSector;
}

int ValidatePartition(RecoveryRun& run, SectorSource& disk, Reporter& reporter) {
    run.ClearEntryTables();
    reporter.SetPhaseLabel(kValidatingCaption);
    const SelectedPartition& partition = run.selectedPartition;
    const auto searchedEnd = static_cast<std::int64_t>(
        EndWithinDisk(disk, static_cast<std::uint64_t>(partition.endSector) + 1));
    if (!FitsVolumeParams(partition.startSector, searchedEnd - 1)) {
        return 0;
    }
    const int valid = ValidateByName(run, disk);
    if (valid == 0) {
        ReportUnknownSectorSize(disk, static_cast<std::uint64_t>(partition.startSector), reporter);
    }
    return valid;
}

}  // namespace lumarest

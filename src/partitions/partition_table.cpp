#include "partitions/partition_table.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <set>

#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "partitions/boot_sector.h"
#include "partitions/gpt_table.h"
#include "partitions/partition_search.h"
#include "partitions/partition_table_sector.h"

namespace lumarest {

namespace {

// Bounds the extended chain even when every record is new: distinct empty records go on
// for as long as a damaged disk lets them.
constexpr std::size_t kMaxExtendedRecords = 1024;
constexpr int kPartitionItemImage = 1;

using Sector = std::array<std::uint8_t, kSectorSize>;

// Sector numbers saturate here rather than wrap.
constexpr std::uint64_t kLargestEngineSector = std::numeric_limits<std::uint64_t>::max();

class PartitionWalk {
  public:
    PartitionWalk(RecoveryRun& run, SectorSource& disk, DiskPartitionList& list, TreeItem diskItem,
                  const std::function<void()>& readFailureNotice)
        : run_(run),
          disk_(disk),
          list_(list),
          diskItem_(diskItem),
          readFailureNotice_(readFailureNotice),
          totalSectors_(disk.TotalSectors()),
          unit_(IsSupportedSectorSize(disk.LogicalSectorBytes())
                    ? SectorsPerUnit(disk.LogicalSectorBytes())
                    : 1) {}

    void Run() {
        const Sector table = ReadSector(0);
        if (ListWholeDisk(table) || !HasTableSignature(table)) {
            return;
        }
        if (!WalkMasterRecord(table)) {
            return;
        }
        if (extendedNoted_) {
            WalkExtendedChain();
        }
        // A hybrid table lists its own entries first; the GPT adds the others.
        if (gptNoted_ && !Full()) {
            WalkGpt();
        }
    }

  private:
    // The sector, or zeros for a sector past the disk's end: the device would fail that read,
    // and its failure notice is given the same way.
    Sector ReadSector(std::uint64_t sector) {
        Sector bytes{};
        if (totalSectors_ != 0 && sector >= totalSectors_) {
            Notice();
            return bytes;
        }
        disk_.ReadSectors(sector, 1, bytes.data());
        return bytes;
    }

    void Notice() {
        if (readFailureNotice_) {
            readFailureNotice_();
        }
    }

    // Where an entry lies on the disk. A disk of unknown size holds no entry.
    enum class Placement { Inside, RunsPastEnd, PastEnd };
    Placement Place(std::uint64_t start, std::uint64_t sectorCount) const {
        if (start >= totalSectors_) {
            return Placement::PastEnd;
        }
        return sectorCount > totalSectors_ - start ? Placement::RunsPastEnd : Placement::Inside;
    }

    // Table numbers count the disk's own sectors; the walk counts engine sectors.
    std::uint64_t InEngineSectors(std::uint64_t diskSectors) const {
        return diskSectors > kLargestEngineSector / unit_ ? kLargestEngineSector
                                                          : diskSectors * unit_;
    }

    // A volume made on the whole disk: sector 0 is its boot sector, and what would be the table's
    // entries is its boot code. Its end comes from the boot sector, cut at the disk's end.
    bool ListWholeDisk(const Sector& first) {
        const auto fileSystem = MarkedFileSystem(first);
        if (!fileSystem || HoldsPlausibleTable(first)) {
            return false;
        }
        const auto volume = RecogniseBootSector(first);
        const std::uint64_t sectors = volume ? volume->sectors : 0;
        const std::uint64_t end = sectors == 0 ? totalSectors_ : EndWithinDisk(disk_, sectors);
        if (end == 0) {
            return false;
        }
        List(*fileSystem, PartitionSource::WholeDisk, 0, end);
        return true;
    }

    // An entry a partitioning tool could have written: a known type, starting past sector 0
    // and inside the disk, with a size that fits in it.
    bool HoldsPlausibleTable(const Sector& table) const {
        for (int i = 0; i < kMbrEntries; ++i) {
            const PartitionEntry entry = ParsePartitionEntry(table, i);
            if (IsKnownType(entry.type) && entry.firstSector != 0 && entry.sectorCount != 0 &&
                Place(InEngineSectors(entry.firstSector), InEngineSectors(entry.sectorCount)) ==
                    Placement::Inside) {
                return true;
            }
        }
        return false;
    }

    bool Full() const { return list_.Full(); }

    // False when the list is full. An entry past the disk's end is not listed; one that runs
    // past it is listed as the table gives it, for the sectors the disk does have. Both mark
    // the table as damaged, and the walk goes on with the other entries.
    bool WalkMasterRecord(const Sector& table) {
        for (int i = 0; i < kMbrEntries; ++i) {
            const PartitionEntry entry = ParsePartitionEntry(table, i);
            if (entry.type == kTypeEmpty) {
                continue;
            }
            if (entry.type == kTypeGptProtective) {
                gptNoted_ = true;
            }
            const std::uint64_t start = InEngineSectors(entry.firstSector);
            const std::uint64_t sectors = InEngineSectors(entry.sectorCount);
            const Placement placement = Place(start, sectors);
            if (placement != Placement::Inside) {
                Notice();
            }
            if (placement == Placement::PastEnd) {
                continue;
            }
            const Sector boot = ReadSector(start);
            const std::uint8_t type = ApplyBootSectorMarkers(boot, entry.type);
            if (const auto fileSystem = EntryFileSystem(boot, entry.type, TableKind::Master)) {
                List(*fileSystem, PartitionSource::PartitionTable, start, sectors);
                if (Full()) {
                    return false;
                }
            }
            if (IsExtendedType(type)) {
                extendedBase_ = entry.firstSector;
                extendedNoted_ = true;
            }
        }
        return true;
    }

    // Logical starts count from their own record; links from the extended partition's start.
    void WalkExtendedChain() {
        std::set<std::uint64_t> visited;
        std::uint32_t link = 0;
        while (extendedNoted_) {
            extendedNoted_ = false;
            const std::uint64_t recordSector = InEngineSectors(std::uint64_t{extendedBase_} + link);
            if (visited.size() >= kMaxExtendedRecords || !visited.insert(recordSector).second) {
                return;
            }
            const Sector record = ReadSector(recordSector);
            for (int i = 0; i < kEbrEntries; ++i) {
                const PartitionEntry entry = ParsePartitionEntry(record, i);
                if (entry.type == kTypeEmpty) {
                    continue;
                }
                const std::uint64_t start = recordSector + InEngineSectors(entry.firstSector);
                const std::uint64_t sectors = InEngineSectors(entry.sectorCount);
                std::uint8_t type = entry.type;
                std::optional<FileSystem> fileSystem;
                if (!IsExtendedType(type)) {
                    const Placement placement = Place(start, sectors);
                    if (placement != Placement::Inside) {
                        Notice();
                    }
                    if (placement == Placement::PastEnd) {
                        continue;
                    }
                    const Sector boot = ReadSector(start);
                    type = ApplyBootSectorMarkers(boot, type);
                    fileSystem = EntryFileSystem(boot, entry.type, TableKind::Extended);
                }
                if (fileSystem) {
                    List(*fileSystem, PartitionSource::ExtendedRecord, start, sectors);
                    if (Full()) {
                        return;
                    }
                }
                if (IsExtendedType(type)) {
                    extendedNoted_ = true;
                    link = entry.firstSector;
                }
            }
        }
    }

    // The GPT's entries whose first sector names FAT16, FAT32, NTFS or exFAT, whatever their type
    // GUID says; one the table above already listed is not listed twice. A header or entry
    // array that fails its checks marks the table as damaged, as an entry past the end does.
    void WalkGpt() {
        const std::optional<GptTable> gpt = ReadGptTable(disk_);
        if (!gpt || gpt->primaryDamaged) {
            Notice();
        }
        if (!gpt) {
            return;
        }
        for (const GptEntry& entry : gpt->entries) {
            const std::uint64_t start = InEngineSectors(entry.firstLba);
            const std::uint64_t sectors = InEngineSectors(entry.lastLba - entry.firstLba + 1);
            const Placement placement = Place(start, sectors);
            if (placement != Placement::Inside) {
                Notice();
            }
            if (placement == Placement::PastEnd) {
                continue;
            }
            const auto fileSystem = MarkedFileSystem(ReadSector(start));
            if (!fileSystem || Listed(*fileSystem, start, sectors)) {
                continue;
            }
            List(*fileSystem, PartitionSource::GptTable, start, sectors);
            if (Full()) {
                return;
            }
        }
    }

    bool Listed(FileSystem fileSystem, std::uint64_t start, std::uint64_t sectors) const {
        return std::any_of(list_.partitions.begin(), list_.partitions.end(),
                           [&](const PartitionRecord& p) {
                               return p.fileSystem == fileSystem && p.startSector == start &&
                                      p.endSector == EndOf(start, sectors);
                           });
    }

    static std::uint64_t EndOf(std::uint64_t start, std::uint64_t sectors) {
        return sectors > kLargestEngineSector - start ? kLargestEngineSector : start + sectors;
    }

    void List(FileSystem fileSystem, PartitionSource source, std::uint64_t start,
              std::uint64_t sectors) {
        PartitionRecord record;
        record.startSector = start;
        record.endSector = EndOf(start, sectors);
        record.fileSystem = fileSystem;
        record.source = source;
        list_.partitions.push_back(record);
        if (run_.partitionTree) {
            AddPartitionItem(*run_.partitionTree, diskItem_, list_, list_.Count() - 1);
        }
        run_.partitionsListed = true;
        // The first listed partition is the default, also when it comes from an extended record.
        if (list_.Count() == 1) {
            run_.defaultPartitionItem = list_.partitions.front().treeItem;
        }
    }

    RecoveryRun& run_;
    SectorSource& disk_;
    DiskPartitionList& list_;
    TreeItem diskItem_;
    const std::function<void()>& readFailureNotice_;
    std::uint64_t totalSectors_;
    std::uint32_t unit_;
    std::uint32_t extendedBase_ = 0;
    bool extendedNoted_ = false;
    bool gptNoted_ = false;
};

}  // namespace

void ListPartitions(RecoveryRun& run, SectorSource& disk, std::uint16_t diskNumber,
                    TreeItem diskItem, const std::function<void()>& readFailureNotice) {
    run.partitionsListed = false;
    run.defaultPartitionItem = kNoItem;
    if (diskNumber >= run.diskPartitionLists.size()) {
        return;
    }
    DiskPartitionList& list = run.diskPartitionLists[diskNumber];
    list.Forget();
    PartitionWalk(run, disk, list, diskItem, readFailureNotice).Run();
}

std::string PartitionItemText(std::size_t partitionNumber, FileSystem fileSystem) {
    return "Partition - " + std::to_string(partitionNumber) + " ( " +
           std::string(FileSystemName(fileSystem)) + " )";
}

TreeItem AddPartitionItem(TreeModel& tree, TreeItem diskItem, DiskPartitionList& list,
                          std::size_t listIndex) {
    PartitionRecord& record = list.partitions.at(listIndex);
    record.treeItem = tree.InsertItem(diskItem, PartitionItemText(listIndex + 1, record.fileSystem),
                                      kPartitionItemImage, kPartitionItemImage);
    return record.treeItem;
}

}  // namespace lumarest

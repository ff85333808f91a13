#include "partitions/partition_table.h"

#include <algorithm>
#include <array>
#include <set>

#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "partitions/partition_table_sector.h"

namespace lumarest {

namespace {

// Bounds the extended chain even when every record is new: distinct empty records go on
// for as long as a damaged disk lets them.
constexpr std::size_t kMaxExtendedRecords = 1024;
constexpr int kPartitionItemImage = 1;

using Sector = std::array<std::uint8_t, kSectorSize>;

class PartitionWalk {
  public:
    PartitionWalk(RecoveryRun& run, SectorSource& disk, DiskPartitionList& list, TreeItem diskItem,
                  const std::function<void()>& readFailureNotice)
        : run_(run),
          disk_(disk),
          list_(list),
          diskItem_(diskItem),
          readFailureNotice_(readFailureNotice),
          totalSectors_(disk.TotalSectors()) {}

    void Run() {
        const Sector table = ReadSector(0);
        if (!HasTableSignature(table)) {
            return;
        }
        if (WalkMasterRecord(table) && extendedNoted_) {
            WalkExtendedChain();
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
    Placement Place(std::uint64_t start, std::uint32_t sectorCount) const {
        if (start >= totalSectors_) {
            return Placement::PastEnd;
        }
        return start + sectorCount > totalSectors_ ? Placement::RunsPastEnd : Placement::Inside;
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
            const Placement placement = Place(entry.firstSector, entry.sectorCount);
            if (placement != Placement::Inside) {
                Notice();
            }
            if (placement == Placement::PastEnd) {
                continue;
            }
            const std::uint8_t type =
                ApplyBootSectorMarkers(ReadSector(entry.firstSector), entry.type);
            if (const auto fileSystem = ListedFileSystem(type, TableKind::Master)) {
                List(*fileSystem, PartitionSource::PartitionTable, entry.firstSector,
                     entry.sectorCount);
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
            const std::uint64_t recordSector = std::uint64_t{extendedBase_} + link;
            if (visited.size() >= kMaxExtendedRecords || !visited.insert(recordSector).second) {
                return;
            }
            const Sector record = ReadSector(recordSector);
            for (int i = 0; i < kEbrEntries; ++i) {
                const PartitionEntry entry = ParsePartitionEntry(record, i);
                if (entry.type == kTypeEmpty) {
                    continue;
                }
                const std::uint64_t start = recordSector + entry.firstSector;
                std::uint8_t type = entry.type;
                if (!IsExtendedType(type)) {
                    const Placement placement = Place(start, entry.sectorCount);
                    if (placement != Placement::Inside) {
                        Notice();
                    }
                    if (placement == Placement::PastEnd) {
                        continue;
                    }
                    type = ApplyBootSectorMarkers(ReadSector(start), type);
                }
                if (const auto fileSystem = ListedFileSystem(type, TableKind::Extended)) {
                    List(*fileSystem, PartitionSource::ExtendedRecord, start, entry.sectorCount);
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

    void List(FileSystem fileSystem, PartitionSource source, std::uint64_t start,
              std::uint32_t sectorCount) {
        PartitionRecord record;
        record.startSector = start;
        record.endSector = start + sectorCount;
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
    std::uint32_t extendedBase_ = 0;
    bool extendedNoted_ = false;
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

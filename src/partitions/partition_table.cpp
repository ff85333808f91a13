#include "partitions/partition_table.h"

#include <algorithm>
#include <array>
#include <limits>
#include <set>

#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "partitions/partition_table_sector.h"

namespace lumarest {

namespace {

// A table entry starting this close to the disk's end, or past it, marks the table as damaged.
constexpr std::uint64_t kNearDiskEndSectors = 0x6000;
// Bounds the extended chain even when every record is new: distinct empty records go on
// for as long as a damaged disk lets them.
constexpr std::size_t kMaxExtendedRecords = 1024;
constexpr int kPartitionItemImage = 1;
constexpr std::uint64_t kMaxRecordSector = std::numeric_limits<std::uint32_t>::max();

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

    // Compared in 64 bits: a disk above 2^31 sectors is no reason to call a table damaged.
    bool NearDiskEnd(std::uint32_t firstSector) const {
        return firstSector >= totalSectors_ || totalSectors_ - firstSector < kNearDiskEndSectors;
    }

    bool Full() const { return list_.partitionCount >= kMaxListedPartitions; }

    // False when the walk must end here: the table points near the disk's end, or the list
    // is full.
    bool WalkMasterRecord(const Sector& table) {
        for (int i = 0; i < kMbrEntries; ++i) {
            const PartitionEntry entry = ParsePartitionEntry(table, i);
            if (entry.type == kTypeEmpty) {
                continue;
            }
            if (NearDiskEnd(entry.firstSector)) {
                Notice();
                return false;
            }
            const std::uint8_t type =
                ApplyBootSectorMarkers(ReadSector(entry.firstSector), entry.type);
            if (const auto name = ListedFileSystemName(type, TableKind::Master)) {
                List(*name, entry.firstSector, entry.sectorCount);
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
                    type = ApplyBootSectorMarkers(ReadSector(start), type);
                }
                if (const auto name = ListedFileSystemName(type, TableKind::Extended)) {
                    List(*name, start, entry.sectorCount);
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

    void List(const std::string& fsName, std::uint64_t start, std::uint32_t sectorCount) {
        // A record holds 32-bit sectors; a logical partition beyond them cannot be worked on.
        if (start > kMaxRecordSector) {
            return;
        }
        PartitionRecord record;
        record.startSector = static_cast<std::uint32_t>(start);
        record.endSector =
            static_cast<std::uint32_t>(std::min(start + sectorCount, kMaxRecordSector));
        list_.fsName[static_cast<std::size_t>(list_.partitionCount)] = fsName;
        ++list_.partitionCount;
        if (run_.partitionTree) {
            record.treeItem = run_.partitionTree->InsertItem(
                diskItem_, PartitionItemText(list_.partitionCount, fsName), kPartitionItemImage,
                kPartitionItemImage);
        }
        list_.partitions.push_back(record);
        run_.partitionsListed = true;
        // The first listed partition is the default, also when it comes from an extended record.
        if (list_.partitionCount == 1) {
            run_.defaultPartitionItem = record.treeItem;
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

std::string PartitionItemText(int partitionNumber, const std::string& fsName) {
    return "Partition - " + std::to_string(partitionNumber) + " ( " + fsName + " )";
}

}  // namespace lumarest

// Fuzzes the partition table walk over a master boot record and extended boot records.
//
// Input: byte 0 picks the disk's size (bits 0-1) and whether entry starts are folded into the
// stored sectors (bit 2), so chains of records form often; the rest fills the first sectors of
// the disk, 512 bytes each (the table at 0, records after it). Every read must lie inside the
// disk, the number of reads must stay bounded, and the list must agree with the tree.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/tree_model.h"
#include "partitions/partition_table.h"

namespace {

using lumarest::kSectorSize;

constexpr std::size_t kStoredSectors = 64;
constexpr std::array<std::uint64_t, 4> kDiskSizes = {kStoredSectors, 0x6000 + kStoredSectors,
                                                     0x6000 + 4096, std::uint64_t{1} << 33};
constexpr std::uint8_t kFoldStarts = 0x04;
// The table, a first-sector read per entry, and per record two entries; then a GPT's two
// headers with arrays of at most 4 MiB in 64 KiB pieces and a first sector per listed entry.
constexpr std::uint64_t kMaxReads = 1 + 4 + 1024 * 3 + 2 * (1 + 64) + 26;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A disk of any size whose first sectors hold the input; it aborts on any read outside it.
class CheckedDisk : public lumarest::SectorSource {
  public:
    CheckedDisk(std::vector<std::uint8_t> stored, std::uint64_t totalSectors)
        : stored_(std::move(stored)), totalSectors_(totalSectors) {}

    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override {
        Check(count > 0 && firstSector < totalSectors_ && count <= totalSectors_ - firstSector);
        Check(++reads_ <= kMaxReads);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t* out = buffer + std::size_t{i} * kSectorSize;
            std::memset(out, 0, kSectorSize);
            const std::uint64_t offset = (firstSector + i) * kSectorSize;
            if (offset < stored_.size()) {
                std::memcpy(out, stored_.data() + offset, kSectorSize);
            }
        }
        return 1;
    }
    std::uint64_t TotalSectors() const override { return totalSectors_; }
    std::string Name() const override { return "fuzz disk"; }

  private:
    std::vector<std::uint8_t> stored_;
    std::uint64_t totalSectors_;
    std::uint64_t reads_ = 0;
};

// Keeps every entry's start inside the stored sectors, so links lead to fuzzed records.
void FoldEntryStarts(std::vector<std::uint8_t>& stored) {
    for (std::size_t sector = 0; sector < kStoredSectors; ++sector) {
        for (std::size_t entry = 0; entry < 4; ++entry) {
            std::uint8_t* start = stored.data() + sector * kSectorSize + 446 + entry * 16 + 8;
            start[0] %= kStoredSectors;
            start[1] = start[2] = start[3] = 0;
        }
    }
}

bool KnownName(const std::string& name) {
    return name == "FAT16" || name == "FAT32" || name == "NTFS" || name == "exFAT";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    std::vector<std::uint8_t> stored(kStoredSectors * kSectorSize, 0);
    std::memcpy(stored.data(), data + 1, std::min(size - 1, stored.size()));
    if ((mode & kFoldStarts) != 0) {
        FoldEntryStarts(stored);
    }
    CheckedDisk disk(std::move(stored), kDiskSizes[mode & 0x03]);

    lumarest::RecoveryRun run;
    run.partitionTree = std::make_unique<lumarest::TreeModel>();
    const lumarest::TreeItem diskItem = run.partitionTree->InsertItem(0, "Disk 0", 2, 2);
    int notices = 0;
    lumarest::ListPartitions(run, disk, 0, diskItem, [&notices] { ++notices; });

    const lumarest::DiskPartitionList& list = run.diskPartitionLists[0];
    Check(list.Count() <= lumarest::kMaxListedPartitions);
    Check(run.partitionTree->Children(diskItem).size() == list.partitions.size());
    Check(run.partitionsListed == (list.Count() > 0));
    for (std::size_t i = 0; i < list.Count(); ++i) {
        const auto& record = list.partitions[i];
        Check(KnownName(std::string(lumarest::FileSystemName(record.fileSystem))));
        Check(record.endSector >= record.startSector);
        // Only entries that start on the disk are listed.
        Check(record.startSector < disk.TotalSectors());
        Check(run.partitionTree->Text(record.treeItem) ==
              lumarest::PartitionItemText(i + 1, record.fileSystem));
    }
    Check(run.defaultPartitionItem ==
          (list.partitions.empty() ? lumarest::kNoItem : list.partitions[0].treeItem));
    return 0;
}

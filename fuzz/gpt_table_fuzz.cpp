// Fuzzes the GPT header and entry walk, alone and inside the partition table walk.
//
// Input: byte 0 picks the disk's logical sector (bit 0: 512 or 4096 bytes), whether the
// primary header's CRCs are made to match (bit 1), so the entry walk is reached often, and how
// many logical sectors the disk has (bits 2-3); the rest fills the disk from LBA 0, and the
// protective entry is put in the MBR. Every read must lie inside the disk, the number of reads
// must stay bounded, and entries and listed partitions must lie as the checks say.

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/recovery_run.h"
#include "core/tree_model.h"
#include "fuzz_disk.h"
#include "partitions/gpt_table.h"
#include "partitions/partition_table.h"

namespace {

using lumarest::kSectorSize;
using lumarest::fuzzing::Check;

constexpr std::uint8_t kLargeSectors = 0x01;
constexpr std::uint8_t kMatchCrcs = 0x02;
constexpr std::array<std::uint64_t, 4> kDiskLbas = {3, 40, 300, 2048};
// The table walk as its own fuzz target bounds it: table, entries, extended records, then two
// GPT headers with arrays of at most 4 MiB in 64 KiB pieces and a first sector per entry.
constexpr std::uint64_t kMaxReads = 1 + 4 + 1024 * 3 + 2 * (1 + 64) + 26;

// A fuzz disk that counts in logical sectors of its own size and refuses reads past its end.
class LogicalDisk : public lumarest::fuzzing::FuzzDisk {
  public:
    LogicalDisk(std::vector<std::uint8_t> bytes, std::uint64_t sectors, std::uint32_t sectorBytes)
        : FuzzDisk(std::move(bytes), sectors, kMaxReads), sectorBytes_(sectorBytes) {}

    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override {
        Check(firstSector < TotalSectors() && count <= TotalSectors() - firstSector);
        return FuzzDisk::ReadSectors(firstSector, count, buffer);
    }
    std::uint32_t LogicalSectorBytes() const override { return sectorBytes_; }

  private:
    std::uint32_t sectorBytes_;
};

std::uint32_t LoadLe32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes[offset + i];
    }
    return value;
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t Crc(const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32(crc32(0, Z_NULL, 0), data, static_cast<uInt>(size)));
}

// Makes the CRCs of the header at LBA 1 match what the input holds: the array's first (when
// the header's entries LBA and shape put it inside the stored bytes), then the header's own.
void MatchPrimaryCrcs(std::vector<std::uint8_t>& bytes, std::uint32_t sectorBytes) {
    const std::size_t header = sectorBytes;
    std::memcpy(bytes.data() + header, "EFI PART", 8);
    const std::uint32_t headerSize =
        std::clamp<std::uint32_t>(LoadLe32(bytes, header + 12), 92, sectorBytes);
    PutLe32(bytes, header + 12, headerSize);
    const std::uint64_t entriesLba = LoadLe32(bytes, header + 72);
    const std::uint64_t arrayBytes =
        std::uint64_t{LoadLe32(bytes, header + 80)} * LoadLe32(bytes, header + 84);
    if (bytes[header + 76] == 0 && bytes[header + 77] == 0 && bytes[header + 78] == 0 &&
        bytes[header + 79] == 0 && entriesLba * sectorBytes + arrayBytes <= bytes.size()) {
        PutLe32(bytes, header + 88,
                Crc(bytes.data() + entriesLba * sectorBytes, static_cast<std::size_t>(arrayBytes)));
    }
    PutLe32(bytes, header + 16, 0);
    PutLe32(bytes, header + 16, Crc(bytes.data() + header, headerSize));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const std::uint32_t sectorBytes = (mode & kLargeSectors) != 0 ? 4096 : kSectorSize;
    const std::uint64_t lbas = kDiskLbas[(mode >> 2) & 0x03];
    const std::uint32_t unit = sectorBytes / kSectorSize;
    std::vector<std::uint8_t> bytes(lbas * sectorBytes, 0);
    std::memcpy(bytes.data(), data + 1, std::min(size - 1, bytes.size()));
    bytes[446 + 4] = 0xEE;
    bytes[510] = 0x55;
    bytes[511] = 0xAA;
    if ((mode & kMatchCrcs) != 0) {
        MatchPrimaryCrcs(bytes, sectorBytes);
    }
    LogicalDisk disk(std::move(bytes), lbas * unit, sectorBytes);

    if (const auto table = lumarest::ReadGptTable(disk)) {
        for (const lumarest::GptEntry& entry : table->entries) {
            Check(entry.firstLba <= entry.lastLba);
        }
    }

    disk.ResetReads();
    lumarest::RecoveryRun run;
    run.partitionTree = std::make_unique<lumarest::TreeModel>();
    const lumarest::TreeItem diskItem = run.partitionTree->InsertItem(0, "Disk 0", 2, 2);
    lumarest::ListPartitions(run, disk, 0, diskItem, [] {});
    const lumarest::DiskPartitionList& list = run.diskPartitionLists[0];
    Check(list.Count() <= lumarest::kMaxListedPartitions);
    Check(run.partitionTree->Children(diskItem).size() == list.partitions.size());
    for (const lumarest::PartitionRecord& record : list.partitions) {
        Check(record.startSector < disk.TotalSectors());
        Check(record.endSector >= record.startSector);
    }
    return 0;
}

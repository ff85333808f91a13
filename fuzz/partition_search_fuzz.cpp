// Fuzzes the partition search: boot-sector recognition and the duplicate rule over fuzzed
// sectors in an in-memory disk with fuzzed geometry, through both the cylinder and the 1 MiB pass.
//
// Input: bytes 0-3 cylinders, 4-5 heads, 6 sectors per track, 7-9 the disk's size in sectors
// (little-endian, at most 2048 cylinders); the rest, 512 bytes at a time, becomes sectors of the
// disk placed at the search's candidates: chunk k at one track into cylinder k / 3 (k % 3 == 0),
// its first sector (k % 3 == 1), or 1 MiB boundary k / 3 (k % 3 == 2), counted in the searched
// geometry. Every read must lie inside the disk, each cylinder costs at most two reads and each
// boundary one, the list holds distinct records that start at candidates of their pass, and a
// second search adds nothing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"
#include "partitions/partition_search.h"

namespace {

using lumarest::kSectorSize;

constexpr std::size_t kHeaderBytes = 10;
constexpr std::size_t kMaxChunks = 64;
// Keeps each run short: a disk beyond this many cylinders adds nothing new to the search.
constexpr std::uint64_t kMaxCylinders = 2048;
constexpr std::uint64_t kAlignedStep = 2048;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A disk of zeros but for the fuzzed sectors; it aborts on any read outside it.
class CandidateDisk : public lumarest::SectorSource {
  public:
    explicit CandidateDisk(std::uint64_t totalSectors) : totalSectors_(totalSectors) {}

    void Put(std::uint64_t sector, const std::uint8_t* bytes) {
        std::vector<std::uint8_t>& stored = sectors_[sector];
        stored.assign(bytes, bytes + kSectorSize);
    }

    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override {
        Check(count > 0 && firstSector < totalSectors_ && count <= totalSectors_ - firstSector);
        ++reads;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t* out = buffer + std::size_t{i} * kSectorSize;
            std::memset(out, 0, kSectorSize);
            if (const auto found = sectors_.find(firstSector + i); found != sectors_.end()) {
                std::memcpy(out, found->second.data(), kSectorSize);
            }
        }
        return 1;
    }
    std::uint64_t TotalSectors() const override { return totalSectors_; }
    std::string Name() const override { return "fuzz disk"; }

    std::uint64_t reads = 0;

  private:
    std::uint64_t totalSectors_;
    std::map<std::uint64_t, std::vector<std::uint8_t>> sectors_;
};

std::uint64_t Le(const std::uint8_t* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes) {
        return 0;
    }
    const lumarest::SearchGeometry geometry{static_cast<std::uint32_t>(Le(data, 4)),
                                            static_cast<std::uint32_t>(Le(data + 4, 2)), data[6]};
    const lumarest::SearchGeometry searched = lumarest::NormaliseGeometry(geometry);
    const std::uint64_t track = searched.sectorsPerTrack;
    const std::uint64_t cylinder = std::uint64_t{searched.heads} * track;
    const std::uint64_t diskSectors =
        std::min(Le(data + 7, 3), std::max<std::uint64_t>(cylinder, 1) * kMaxCylinders + track);

    CandidateDisk disk(diskSectors);
    const std::size_t chunks = std::min((size - kHeaderBytes) / kSectorSize, kMaxChunks);
    for (std::size_t k = 0; k < chunks; ++k) {
        const std::uint64_t sector =
            k % 3 == 2 ? (k / 3) * kAlignedStep : (k / 3) * cylinder + (k % 3 == 0 ? track : 0);
        if (sector < diskSectors) {
            disk.Put(sector, data + kHeaderBytes + k * kSectorSize);
        }
    }

    lumarest::RecoveryRun run;
    lumarest::NullReporter reporter;
    std::size_t reported = 0;
    const auto result =
        lumarest::SearchPartitions(run, disk, 0, geometry, reporter, {}, [&](std::size_t index) {
            Check(index == reported);
            ++reported;
        });
    const lumarest::DiskPartitionList& list = run.diskPartitionLists[0];
    Check(result.added == list.Count() && reported == list.Count());
    Check(list.Count() <= lumarest::kMaxListedPartitions);
    Check(result.listFull == list.Full());
    const std::uint64_t cylinders =
        cylinder == 0 ? 0 : std::min<std::uint64_t>(searched.cylinders, diskSectors / cylinder + 1);
    const std::uint64_t boundaries = (diskSectors + kAlignedStep - 1) / kAlignedStep;
    Check(disk.reads <= 2 * cylinders + boundaries);

    std::set<std::tuple<std::uint64_t, std::uint64_t, lumarest::FileSystem>> seen;
    for (const lumarest::PartitionRecord& record : list.partitions) {
        Check(record.endSector >= record.startSector);
        if (record.source == lumarest::PartitionSource::AlignedSearch) {
            Check(record.startSector % kAlignedStep == 0);
        } else {
            Check(record.source == lumarest::PartitionSource::CylinderSearch);
            const std::uint64_t inCylinder = record.startSector % cylinder;
            Check(inCylinder == 0 || inCylinder == track);
        }
        Check(seen.insert({record.startSector, record.endSector, record.fileSystem}).second);
    }

    // Everything found is listed already: a second search adds nothing.
    const auto again = lumarest::SearchPartitions(run, disk, 0, geometry, reporter, {}, {});
    Check(again.added == 0 && list.Count() == reported);
    return 0;
}

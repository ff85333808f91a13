// Fuzzes the Advance FAT search: the grouping of found directories into volumes, and the
// per-sector tests that find boot sectors and directory starts.
//
// Input: byte 0 chooses the file system looked for (its low bit: FAT16 or FAT32) and how many
// table records follow (the bits above, up to 127); each record is 8 bytes, a boot sector when
// its first byte is odd (sectors per cluster, cluster-0 start, total sectors as 8, 16 and 16
// bits, the sector before them), a directory start otherwise (sector and self cluster as 16
// bits each, scaled by one of 1, 256 or 65536 so that values near the 32-bit edges occur).
// The rest is a small disk that the search reads. The analysis must give every directory a
// volume it fits or -1, count the volumes it lists, and read inside every buffer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/advance_fat_search.h"
#include "fuzz_disk.h"

namespace {

using namespace lumarest;
using fuzzing::Check;

constexpr std::size_t kRecordBytes = 8;
constexpr std::size_t kMaxDiskBytes = 64 * 1024;
constexpr std::uint32_t kScales[] = {1, 256, 65536};

enum DirColumn : std::size_t { kSector = 0, kSelf, kParent, kFileSystem };
enum BootColumn : std::size_t { kSpc = 2, kCluster0Start = 6, kTotal = 9 };

std::uint32_t Word(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8));
}

void DecodeRecord(const std::uint8_t* p, RecoveryRun& run) {
    if (p[0] & 1) {
        const std::uint32_t spc = p[1];
        const std::uint32_t c0 = Word(p + 2) * kScales[p[0] / 2 % 3];
        const std::uint32_t total = c0 + Word(p + 4) * kScales[p[0] / 6 % 3];
        run.bootSectorTable.AppendRow({std::to_string(Word(p + 6)), "1", std::to_string(spc), "0",
                                       "2", "32", std::to_string(c0), "0", "0",
                                       std::to_string(total), "FAT32"});
        return;
    }
    const std::uint32_t scale = kScales[p[0] / 2 % 3];
    const std::uint64_t sector = std::uint64_t{Word(p + 1)} * scale + p[5];
    const std::uint32_t self = Word(p + 3) * kScales[p[0] / 6 % 3] + p[6];
    run.foundDirectoryTable.AppendRow({std::to_string(static_cast<std::uint32_t>(sector)),
                                       std::to_string(self), "0", "0", "0", "0", ""});
}

// Every directory ends in a listed volume or at -1, and one of an inferred volume lies where
// that volume puts its cluster.
void CheckGrouping(const RecoveryRun& run, std::size_t volumes) {
    const TextTable& dirs = run.foundDirectoryTable;
    const TextTable& found = run.fileSystemTable;
    Check(volumes == found.RowCount());
    Check(volumes == run.volumesFound);
    for (std::size_t r = 0; r < dirs.RowCount(); ++r) {
        const std::int64_t v = dirs.CellNumber(r, kFileSystem);
        Check(v == -1 || (v >= 1 && static_cast<std::size_t>(v) <= volumes));
        if (v < 1) {
            continue;
        }
        const auto row = static_cast<std::size_t>(v - 1);
        const std::uint64_t expected =
            std::uint64_t{dirs.CellU32(r, kSelf)} * found.CellU32(row, kSpc) +
            found.CellU32(row, kCluster0Start);
        Check(dirs.CellU32(r, kSector) == expected);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    RecoveryRun run;
    run.selectedPartition.fsName = (data[0] & 1) ? "FAT32" : "FAT16";
    const std::size_t records = std::min<std::size_t>(data[0] / 2, (size - 1) / kRecordBytes);
    for (std::size_t i = 0; i < records; ++i) {
        DecodeRecord(data + 1 + i * kRecordBytes, run);
    }
    NullReporter reporter;
    CheckGrouping(run, AnalyzeFoundVolumes(run, reporter));

    const std::size_t used = 1 + records * kRecordBytes;
    const std::size_t diskBytes = std::min(size - used, kMaxDiskBytes);
    const std::uint64_t sectors = (diskBytes + kSectorSize - 1) / kSectorSize;
    if (sectors == 0) {
        return 0;
    }
    fuzzing::FuzzDisk disk(std::vector<std::uint8_t>(data + used, data + used + diskBytes),
                           sectors);
    RecoveryRun search;
    search.selectedPartition.fsName = run.selectedPartition.fsName;
    search.selectedPartition.endSector = static_cast<std::int64_t>(sectors) - 1;
    AdvanceFatSearch(search, disk, reporter, search.scanStop.get_token());
    Check(search.bootSectorTable.RowCount() <= sectors);
    Check(search.foundDirectoryTable.RowCount() <= sectors);
    for (std::size_t r = 0; r < search.foundDirectoryTable.RowCount(); ++r) {
        Check(search.foundDirectoryTable.CellU32(r, kSector) < sectors);
    }
    CheckGrouping(search, AnalyzeFoundVolumes(search, reporter));
    return 0;
}

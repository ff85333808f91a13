// Fuzzes the master-file-table scan of a Standard search.
//
// Input: byte 0 chooses the sectors per cluster (a power of two up to 128, its low three bits)
// and the record size (1024, 2048 or 4096 bytes, the bits above); bytes 1 to 64 are
// the data runs of the table (cluster 0 at sector 0); the rest is a small disk. The scan must
// end within a bounded number of reads, list each record at most once, at the number and
// sector the run table gives it, and start the folder table with the orphan folder.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <set>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fuzz_disk.h"
#include "ntfs/data_runs.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/mft_scan.h"

namespace {

using namespace lumarest;
using fuzzing::Check;

constexpr std::size_t kRunListBytes = 64;
constexpr std::size_t kMaxDiskBytes = 64 * 1024;
// Chunks, extension records and attribute lists of a disk this small stay far below this.
constexpr std::uint64_t kMaxReads = 2'000'000;
constexpr std::uint32_t kRecordSectorChoices[] = {2, 4, 8};

void CheckRows(const TextTable& table, const MftRunTable& runs, std::uint64_t slots,
               std::size_t firstRow, std::set<std::uint32_t>& seen) {
    for (std::size_t row = firstRow; row < table.RowCount(); ++row) {
        const std::uint32_t self = table.CellU32(row, kEntrySelf);
        Check(self < slots);
        Check(seen.insert(self).second);
        Check(static_cast<std::uint64_t>(table.CellNumber(row, kEntrySector)) ==
              MftRecordSector(runs, self));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 + kRunListBytes) {
        return 0;
    }
    const std::uint32_t sectorsPerCluster = 1u << (data[0] % 8);
    const std::uint32_t recordSectors =
        kRecordSectorChoices[(data[0] / 8) % std::size(kRecordSectorChoices)];
    MftRunTable runs;
    runs.runs = DecodeRuns(ByteSpan(data + 1, kRunListBytes), 0, sectorsPerCluster).runs;
    runs.recordSectors = recordSectors;
    const std::size_t diskBytes = std::min(size - 1 - kRunListBytes, kMaxDiskBytes);
    std::vector<std::uint8_t> bytes(data + 1 + kRunListBytes, data + 1 + kRunListBytes + diskBytes);
    // At least one sector: a disk of none reports no size, and a scan must read on through a
    // disk whose size it does not know, which no bound on reads here would allow for.
    const std::uint64_t sectors =
        std::max<std::uint64_t>(1, (diskBytes + kSectorSize - 1) / kSectorSize);
    fuzzing::FuzzDisk disk(std::move(bytes), sectors, kMaxReads);

    RecoveryRun run;
    run.activeVolume.sectorsPerCluster = sectorsPerCluster;
    run.activeVolume.mftRecordSectors = recordSectors;
    NullReporter reporter;
    ScanMft(run, disk, runs, reporter, run.scanStop.get_token());

    const std::uint64_t slots = TotalSectors(runs.runs) / recordSectors;
    Check(run.folderTable.RowCount() >= 1);
    Check(run.folderTable.CellU32(0, kEntrySelf) == kOrphanFolderId);
    Check(run.folderTable.CellU32(0, kEntryParent) == kNtfsRootId);
    std::set<std::uint32_t> seen;
    CheckRows(run.folderTable, runs, slots, 1, seen);
    CheckRows(run.fileTable, runs, slots, 0, seen);
    return 0;
}

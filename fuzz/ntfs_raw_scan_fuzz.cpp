// Fuzzes the Advance NTFS search: the raw scan of a small disk, the number assignment with
// its index-block walks and volume tests, and the rebuild of each volume found.
//
// Input: byte 0 holds the selection's first sector (bits 0-3) and, in bits 4-7, how many rows
// of random work-table rows follow (boot sectors, index blocks, folder records and records 0
// of a master file table, 16 bytes each, added after the scan's own); the rest is the disk (at
// most 256 sectors). Reads stay bounded, every row the scan writes lies in the selection, and
// every folder ends tied to a volume that was found or to none.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/text_number.h"
#include "fuzz_disk.h"
#include "ntfs/mft_number_assignment.h"
#include "ntfs/ntfs_raw_scan.h"
#include "ntfs/ntfs_work_tables.h"
#include "search/advance_search.h"

namespace {

using namespace lumarest;
using fuzzing::Check;

constexpr std::size_t kRowBytes = 16;
constexpr std::size_t kMaxDiskBytes = 256 * kSectorSize;
constexpr std::uint64_t kMaxReads = 5'000'000;
constexpr std::size_t kMaxRebuilds = 4;

std::uint64_t Small(const std::uint8_t* at, std::uint64_t below) {
    return (std::uint64_t{at[0]} | std::uint64_t{at[1]} << 8) % below;
}

// A row for one of the work tables from 16 input bytes; sectors stay near the disk so some
// rows meet real sectors.
void AddRandomRow(RecoveryRun& run, const std::uint8_t* row, std::uint64_t sectors) {
    switch (row[0] % 3) {
        case 0:
            run.bootSectorTable.AppendRow({NumberText(Small(row + 1, sectors)),
                                           NumberText(std::uint32_t{row[3]}), "8", "2",
                                           NumberText(Small(row + 4, 4 * sectors)), "0", "0"});
            break;
        case 1:
            run.indexBlockTable.AppendRow({NumberText(Small(row + 1, sectors)),
                                           NumberText(std::uint32_t{row[3]}),
                                           NumberText(static_cast<std::uint32_t>(row[4] % 2)),
                                           NumberText(kUnassignedVolume)});
            break;
        default: {
            // Now and then record 0 of a master file table, which may give a volume of its own.
            const bool mft = row[5] % 5 == 4;
            run.ntfsRecordTable.AppendRow(
                {mft ? std::string("$MFT") : std::string(1, static_cast<char>('A' + row[5] % 4)),
                 NumberText(Small(row + 1, sectors)),
                 NumberText(mft ? 5u : static_cast<std::uint32_t>(row[3] % 8)),
                 NumberText(std::uint32_t{row[4]}), "0", mft ? kRecordFileType : kRecordFolderType,
                 "0", NumberText(static_cast<std::uint32_t>(row[6] % 2)),
                 NumberText(Small(row + 7, sectors)), ""});
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t rows = std::min<std::size_t>(data[0] >> 4, (size - 1) / kRowBytes);
    const std::uint8_t* disk = data + 1 + rows * kRowBytes;
    const std::size_t diskBytes = std::min(size - 1 - rows * kRowBytes, kMaxDiskBytes);
    const std::uint64_t sectors =
        std::max<std::uint64_t>(1, (diskBytes + kSectorSize - 1) / kSectorSize);
    fuzzing::FuzzDisk source(std::vector<std::uint8_t>(disk, disk + diskBytes), sectors, kMaxReads);

    RecoveryRun run;
    run.selectedPartition.fsName = "NTFS";
    run.selectedPartition.startSector = data[0] & 0x0F;
    run.selectedPartition.endSector = static_cast<std::int64_t>(sectors) - 1;
    NullReporter reporter;
    ScanNtfsRaw(run, source, reporter, run.scanStop.get_token());
    for (const TextTable* table :
         {&run.bootSectorTable, &run.indexBlockTable, &run.ntfsRecordTable}) {
        const std::size_t column = table == &run.ntfsRecordTable ? std::size_t{kRecordSector} : 0;
        for (std::size_t row = 0; row < table->RowCount(); ++row) {
            const std::int64_t sector = table->CellNumber(row, column);
            Check(sector >= run.selectedPartition.startSector &&
                  sector <= run.selectedPartition.endSector);
        }
    }
    for (std::size_t row = 0; row < run.indexBlockTable.RowCount(); ++row) {
        const std::uint32_t owner = run.indexBlockTable.CellU32(row, kBlockOwner);
        Check(owner >= 5 && owner != kUnassignedVolume);
    }
    for (std::size_t row = 0; row < rows; ++row) {
        AddRandomRow(run, data + 1 + row * kRowBytes, sectors);
    }

    const std::size_t volumes = AssignMftNumbers(run, source, reporter);
    Check(volumes == run.fileSystemTable.RowCount());
    for (std::size_t row = 0; row < run.foundDirectoryTable.RowCount(); ++row) {
        // Folders before any volume count as the first one; without volumes nothing is rebuilt.
        Check(volumes == 0 ||
              run.foundDirectoryTable.CellU32(row, kFoundFolderFsNumber) <= volumes);
    }
    for (std::size_t volume = 0; volume < std::min(volumes, kMaxRebuilds); ++volume) {
        Check(RebuildFoundVolume(run, source, reporter, volume));
    }
    return 0;
}

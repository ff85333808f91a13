// The Advance NTFS scan: boot sectors, file records and index blocks anywhere in a range.

#include "ntfs/ntfs_raw_scan.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_range_scan.h"
#include "core/sector_source.h"
#include "core/text_number.h"
#include "ntfs/attributes.h"
#include "ntfs/data_runs.h"
#include "ntfs/file_data.h"
#include "ntfs/file_name.h"
#include "ntfs/index_block.h"
#include "ntfs/mft_record.h"
#include "ntfs/mirror_copies.h"
#include "ntfs/name_text.h"
#include "ntfs/ntfs_work_tables.h"

namespace lumarest {
namespace {

constexpr std::uint32_t kChunkSectors = 1024;
// Read past each chunk so a record or an index block starting near its end is read whole.
constexpr std::uint32_t kTailSectors = kMaxIndexBlockBytes / kSectorSize;
constexpr std::size_t kBootMarkField = 510;
constexpr std::size_t kBootNameField = 3;
constexpr std::string_view kBootName = "NTFS";
constexpr std::size_t kBytesPerSectorField = 11;
constexpr std::size_t kSpcField = 13;
constexpr std::size_t kTotalSectorsField = 40;
constexpr std::size_t kMftClusterField = 48;
constexpr std::size_t kMirrorClusterField = 56;
constexpr std::size_t kRecordClustersField = 64;
constexpr std::size_t kIndexClustersField = 68;
// A size byte of 0x80 and more counts bytes, as 2 to the power of its negation: 0xF4 is 4096.
constexpr std::uint8_t kFirstByteSizeCode = 0x80;
constexpr std::uint32_t kSizeCodeBase = 256;
constexpr std::uint32_t kLargestSizeShift = 16;
// Index blocks whose first entry names a directory below this are system blocks.
constexpr std::uint32_t kFirstUserParent = 5;
constexpr std::string_view kIndexStreamName = "$I30";

// Engine sectors in one of the volume's own sectors: the boot sector counts in that unit.
std::uint32_t VolumeUnit(ByteSpan boot) {
    const std::uint32_t bytes = LoadLe16(boot, kBytesPerSectorField).value_or(0);
    return IsSupportedSectorSize(bytes) ? SectorsPerUnit(bytes) : 1;
}

// Engine sectors of a file record or an index block whose size byte is `code`, with clusters
// of `spc` engine sectors.
std::uint32_t RecordSizeSectors(std::uint8_t code, std::uint32_t spc) {
    if (code < kFirstByteSizeCode) {
        return code * spc;
    }
    const std::uint32_t shift = kSizeCodeBase - code;
    return shift > kLargestSizeShift ? 0 : (std::uint32_t{1} << shift) / kSectorSize;
}

// Records of 1024, 2048 and 4096 bytes: the sizes volumes of each sector size use.
std::uint32_t RawRecordSectors(const MftRecordHeader& header) {
    const std::uint32_t sectors = header.allocatedSize / kSectorSize;
    return header.allocatedSize % kSectorSize == 0 && IsSupportedRecordSectors(sectors) ? sectors
                                                                                        : 0;
}

bool IsBootSector(ByteSpan sector) {
    return LoadLe8(sector, kBootMarkField) == 0x55 && LoadLe8(sector, kBootMarkField + 1) == 0xAA &&
           SpellsAt(sector, kBootNameField, kBootName);
}

// Most sectors hold none of the marks: one look at two bytes passes them over.
bool MayHoldMark(ByteSpan sector) {
    return sector.size() == kSectorSize &&
           (sector[0] == 'F' || sector[0] == 'I' || sector[kBootMarkField] == 0x55);
}

bool IsIndexStreamName(const Attribute& attribute) {
    return attribute.nameLength == kIndexStreamName.size() &&
           Utf16LeToUtf8(attribute.name, attribute.nameLength) == kIndexStreamName;
}

// The cluster where the folder's "$I30" index allocation starts; 0 when it has none.
std::uint64_t IndexAllocationFirstCluster(ByteSpan record) {
    std::uint64_t cluster = 0;
    WalkAttributes(record, [&](const Attribute& attribute) {
        if (attribute.type != kAttrIndexAllocation || !attribute.nonResident ||
            !IsIndexStreamName(attribute)) {
            return true;
        }
        // Cluster numbers: runs decoded from cluster 0 at one sector per cluster.
        const DecodedRuns decoded = DecodeRuns(attribute.runs, 0, 1);
        for (const DataRun& run : decoded.runs) {
            if (!run.sparse) {
                cluster = run.startSector;
                break;
            }
        }
        return false;
    });
    return cluster;
}

class RawScan {
  public:
    RawScan(RecoveryRun& run, SectorSource& disk, Reporter& reporter, std::stop_token stop)
        : run_(run),
          stop_(std::move(stop)),
          disk_(disk),
          reporter_(reporter),
          first_(static_cast<std::uint64_t>(
              std::max<std::int64_t>(run.selectedPartition.startSector, 0))),
          last_(static_cast<std::uint64_t>(
              std::max<std::int64_t>(run.selectedPartition.endSector, 0))),
          scan_(reporter, {ScanPace::EveryChunk, last_, 0, [this] { ShowRecordCount(); }}) {}

    // The first sector not examined: the range's end unless stopped.
    std::uint64_t Run() {
        scan_.ShowStart(0);
        // The end of the range, cut where the disk ends: nothing past it is read.
        const std::uint64_t end = last_ < first_ ? first_ : EndWithinDisk(disk_, last_ + 1);
        const std::uint64_t reached = scan_.Run(
            {.first = first_,
             .end = end,
             .chunkSectors = kChunkSectors,
             .tailSectors = kTailSectors},
            disk_,
            [&](const ScanChunk& chunk) {
                ExamineChunk(chunk);
                // The mirror's copies go before the last count is shown: they are not files.
                if (chunk.first + chunk.sectors == end) {
                    DropMirrorCopies(run_.ntfsRecordTable, end);
                }
                return std::uint64_t{chunk.sectors};
            },
            stop_);
        if (reached < end) {
            DropMirrorCopies(run_.ntfsRecordTable, reached);
            ShowRecordCount();
        }
        return reached;
    }

  private:
    // A failed read leaves zeros where it failed; nothing past what was read is looked at.
    void ExamineChunk(const ScanChunk& chunk) {
        chunk_ = chunk.bytes;
        for (std::uint32_t at = 0; at < chunk.sectors; ++at) {
            const ByteSpan sector = ReadBytes(at, kSectorSize);
            if (!MayHoldMark(sector)) {
                continue;
            }
            if (IsBootSector(sector)) {
                AddBootSectorRow(sector, chunk.first + at);
            } else if (const std::uint32_t recordSectors =
                           HasFileSignature(sector)
                               ? RawRecordSectors(
                                     ParseMftRecordHeader(sector).value_or(MftRecordHeader{}))
                               : 0;
                       recordSectors != 0) {
                AddRecordRow(at, chunk.first + at, recordSectors);
            } else if (ParseIndexBlockHeader(sector)) {
                AddIndexBlockRow(at, chunk.first + at);
            }
        }
    }

    // The bytes from sector `at` of the chunk on, cut where the read ended.
    ByteSpan ReadBytes(std::uint32_t at, std::size_t length) const {
        const std::size_t offset = SectorsToBytes(at);
        return chunk_.subspan(offset, std::min(length, chunk_.size() - offset));
    }

    void AddBootSectorRow(ByteSpan sector, std::uint64_t at) {
        const std::uint32_t unit = VolumeUnit(sector);
        const std::uint32_t spc = LoadLe8(sector, kSpcField).value_or(0) * unit;
        const std::uint32_t indexSectors =
            RecordSizeSectors(LoadLe8(sector, kIndexClustersField).value_or(0), spc);
        const std::uint32_t recordSectors =
            RecordSizeSectors(LoadLe8(sector, kRecordClustersField).value_or(0), spc);
        const std::uint64_t total = LoadLe64(sector, kTotalSectorsField).value_or(0);
        // A damaged total saturates rather than wraps into a small volume.
        constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
        const std::uint64_t totalSectors = total > kLargest / unit ? kLargest : total * unit;
        run_.bootSectorTable.AppendRow(
            {NumberText(at), NumberText(spc), NumberText(indexSectors), NumberText(recordSectors),
             NumberText(totalSectors), NumberText(LoadLe64(sector, kMftClusterField).value_or(0)),
             NumberText(LoadLe64(sector, kMirrorClusterField).value_or(0))});
        reporter_.SetStatisticValue(Statistic::BootSectorsFound,
                                    NumberText(std::uint64_t{run_.bootSectorTable.RowCount()}));
    }

    void AddRecordRow(std::uint32_t at, std::uint64_t sector, std::uint32_t recordSectors) {
        MftRecordBuffer record(recordSectors);
        const ByteSpan bytes = ReadBytes(at, record.size());
        record.fill(0);
        std::copy(bytes.begin(), bytes.end(), record.begin());
        ApplyFixup(std::span<std::uint8_t>(record.data(), record.size()));
        const ByteSpan view(record.data(), record.size());
        const auto header = ParseMftRecordHeader(view);
        if (!header) {
            return;
        }
        const auto name = RecordName(std::span<const MftRecordBuffer>(&record, 1));
        const bool folder = (header->flags & kRecordIsDirectory) != 0;
        const bool deleted = (header->flags & kRecordInUse) == 0;
        const std::string nameText = name ? name->name : std::string();
        // A number of 0 names the master file table's own record, never a folder.
        const bool numbered = header->HasOwnNumber() && (header->ownNumber != 0 || !folder);
        const std::uint64_t firstRun = folder ? IndexAllocationFirstCluster(view) : 0;
        run_.ntfsRecordTable.AppendRow(
            {nameText, NumberText(sector), NumberText(name ? name->parent : 0u),
             numbered ? NumberText(header->ownNumber) : std::string(),
             NumberText(DataSize(view).value_or(0)), folder ? kRecordFolderType : kRecordFileType,
             "0", NumberText(static_cast<std::int64_t>(name ? name->creationTime : 0)),
             NumberText(firstRun), deleted ? "1" : "", NumberText(recordSectors)});
    }

    void AddIndexBlockRow(std::uint32_t at, std::uint64_t sector) {
        const std::size_t bytes = IndexBlockSectorBytes(ReadBytes(at, kSectorSize));
        if (bytes == 0) {
            return;
        }
        const ByteSpan source = ReadBytes(at, bytes);
        block_.assign(bytes, 0);
        std::copy(source.begin(), source.end(), block_.begin());
        ApplyFixup(block_);
        std::uint32_t owner = 0;
        if (!IndexBlockOwner(block_, owner) || owner < kFirstUserParent ||
            owner == kUnassignedVolume) {
            return;
        }
        const auto header = ParseIndexBlockHeader(block_);
        run_.indexBlockTable.AppendRow({NumberText(sector), NumberText(owner),
                                        NumberText(header ? header->vcn : 0u),
                                        NumberText(kUnassignedVolume)});
    }

    void ShowRecordCount() {
        reporter_.SetStatisticValue(Statistic::DirectoriesFound,
                                    NumberText(std::uint64_t{run_.ntfsRecordTable.RowCount()}));
    }

    RecoveryRun& run_;
    std::stop_token stop_;
    SectorSource& disk_;
    Reporter& reporter_;
    const std::uint64_t first_;
    const std::uint64_t last_;
    ByteSpan chunk_;  // the chunk being examined and the sectors read after it
    std::vector<std::uint8_t> block_;
    SectorRangeScan scan_;
};

}  // namespace

std::uint64_t ScanNtfsRaw(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                          std::stop_token stop) {
    return RawScan(run, disk, reporter, std::move(stop)).Run();
}

}  // namespace lumarest

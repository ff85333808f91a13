#include "ntfs/mft_scan.h"

#include <algorithm>
#include <limits>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_range_scan.h"
#include "core/sector_source.h"
#include "core/table_columns.h"
#include "core/text_number.h"
#include "ntfs/extension_records.h"
#include "ntfs/file_data.h"
#include "ntfs/file_name.h"
#include "ntfs/folder_index_slack.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/name_only_files.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest {
namespace {

// Sectors read at a time: a multiple of every record size, so no record is split between
// two reads.
constexpr std::uint32_t kChunkSectors = 1024;
// Record numbers are 32-bit: a table claiming more slots is walked up to there.
constexpr std::uint64_t kMaxSlots = std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 1;
// The counter shows the number of the last record listed, plus two.
constexpr std::uint32_t kCounterLead = 2;
constexpr std::size_t kBaseReferenceField = 32;

// A stretch of the chunk that lies in one run.
struct ChunkPiece {
    std::uint64_t firstSlotSector = 0;  // position in the table's data
    std::uint64_t sectorCount = 0;
    std::uint64_t diskSector = 0;
    bool sparse = false;
};

// Finds the run holding each position of the table's data. Positions only grow during the
// walk, so the search goes on from the last run found.
class RunCursor {
  public:
    explicit RunCursor(const std::vector<DataRun>& runs) : runs_(runs) {}

    // The run holding `position`, or nullptr past the last run; `runStart` is where it begins.
    const DataRun* Find(std::uint64_t position, std::uint64_t& runStart) {
        while (index_ < runs_.size() && position >= start_ + runs_[index_].sectorCount) {
            start_ += runs_[index_].sectorCount;
            ++index_;
        }
        runStart = start_;
        return index_ < runs_.size() ? &runs_[index_] : nullptr;
    }

  private:
    const std::vector<DataRun>& runs_;
    std::size_t index_ = 0;
    std::uint64_t start_ = 0;
};

// A record that names a base record holds more attributes of another file: that file is
// listed from its own slot, so this one is not a file of its own.
bool IsExtensionRecord(ByteSpan record) {
    return LoadLe64(record, kBaseReferenceField).value_or(0) != 0;
}

class MftWalk {
  public:
    MftWalk(RecoveryRun& run, SectorSource& disk, const MftRunTable& table, Reporter& reporter,
            std::stop_token stop)
        : run_(run),
          stop_(std::move(stop)),
          disk_(disk),
          table_(table),
          reporter_(reporter),
          layout_(NtfsLayoutOf(run.activeVolume)),
          recordSectors_(UsableRecordSectors(table.recordSectors)),
          totalSectors_(TotalSectors(table.runs)),
          endPosition_(std::min(totalSectors_ / recordSectors_, kMaxSlots) * recordSectors_),
          cursor_(table.runs),
          scan_(reporter, {ScanPace::WhenBarMoves, totalSectors_, 0, [this] { ShowCounter(); }}) {}

    void Run() {
        Start();
        // Positions count sectors of the table's data, wherever its runs put them.
        const std::uint64_t position = scan_.Run(
            {.first = 0,
             .end = endPosition_,
             .chunkSectors = kChunkSectors,
             .unreadableAt = [this](std::uint64_t at) { return UnreadableSectorsAt(at); }},
            [this](std::uint64_t at, std::uint32_t count, std::uint8_t* into) {
                ReadChunk(at, count, into);
            },
            [this](const ScanChunk& chunk) { return ListRecords(chunk); }, stop_);
        AddNameOnlyRows(run_.fileTable, disk_, layout_, table_, slackNames_);
        // A trailing odd sector and slots past 32-bit record numbers hold no record: done.
        scan_.ShowDone(stop_.stop_requested() ? position : totalSectors_);
    }

  private:
    void Start() {
        run_.folderTable.SetColumns(EntryTableColumns());
        run_.fileTable.SetColumns(EntryTableColumns());
        AppendOrphanFolderRow(run_.folderTable, kNtfsRootId);
        scan_.ShowStart(0);
    }

    // Whole slots from `position` that lie in a sparse run or past the disk's end: nothing
    // there can be read, so they are passed over without reading, their numbers used up.
    std::uint64_t UnreadableSectorsAt(std::uint64_t position) {
        std::uint64_t runStart = 0;
        const DataRun* run = cursor_.Find(position, runStart);
        if (run == nullptr || !Unreadable(*run, position - runStart)) {
            return 0;
        }
        const std::uint64_t runEnd = std::min(runStart + run->sectorCount, endPosition_);
        return (runEnd - position) / recordSectors_ * recordSectors_;
    }

    // True when the run holds nothing readable from `intoRun` sectors on.
    bool Unreadable(const DataRun& run, std::uint64_t intoRun) const {
        const std::uint64_t diskSectors = disk_.TotalSectors();
        return run.sparse || (diskSectors != 0 && (run.startSector >= diskSectors ||
                                                   intoRun >= diskSectors - run.startSector));
    }

    // Lists the chunk's records; returns the sectors looked at, fewer when stopped.
    std::uint64_t ListRecords(const ScanChunk& chunk) {
        for (std::uint32_t at = 0; at + recordSectors_ <= chunk.sectors; at += recordSectors_) {
            if (stop_.stop_requested()) {
                return at;
            }
            const std::uint64_t slotPosition = chunk.first + at;
            const ByteSpan slot =
                chunk.bytes.subspan(SectorsToBytes(at), SectorsToBytes(recordSectors_));
            ScanSlot(slot, static_cast<std::uint32_t>(slotPosition / recordSectors_),
                     DiskSectorOf(slotPosition));
        }
        return chunk.sectors;
    }

    // Fills the chunk from the runs, one read per run it touches. Sparse stretches and
    // sectors that cannot be read stay zero, so their slots hold no record.
    void ReadChunk(std::uint64_t position, std::uint32_t count, std::uint8_t* into) {
        pieces_.clear();
        std::uint64_t done = 0;
        while (done < count) {
            std::uint64_t runStart = 0;
            const DataRun* run = cursor_.Find(position + done, runStart);
            if (run == nullptr) {
                break;
            }
            const std::uint64_t intoRun = position + done - runStart;
            const std::uint64_t take = std::min(run->sectorCount - intoRun, count - done);
            ChunkPiece piece{position + done, take, 0, run->sparse};
            if (!run->sparse) {
                piece.diskSector = run->startSector + intoRun;
                disk_.ReadSectors(piece.diskSector, static_cast<std::uint32_t>(take),
                                  into + SectorsToBytes(done));
            }
            pieces_.push_back(piece);
            done += take;
        }
    }

    // The disk sector of a position in the chunk; 0 in a sparse stretch, as the run table
    // gives it.
    std::uint64_t DiskSectorOf(std::uint64_t position) const {
        for (const ChunkPiece& piece : pieces_) {
            if (position >= piece.firstSlotSector &&
                position < piece.firstSlotSector + piece.sectorCount) {
                return piece.sparse ? 0 : piece.diskSector + (position - piece.firstSlotSector);
            }
        }
        return 0;
    }

    void ScanSlot(ByteSpan slot, std::uint32_t recordNumber, std::uint64_t diskSector) {
        if (!HasFileSignature(slot)) {
            return;
        }
        MftRecordBuffer record(recordSectors_);
        std::copy(slot.begin(), slot.end(), record.begin());
        ApplyFixup(record);
        const auto header = ParseMftRecordHeader(record);
        if (!header || IsExtensionRecord(record)) {
            return;
        }
        const ExtensionRecordList list = ReadExtensionRecords(disk_, layout_, record, recordNumber);
        const std::vector<MftRecordBuffer> records = ReadFileRecords(disk_, table_, record, list);
        const std::vector<FileNameInfo> links = RecordLinks(records);
        if (links.empty()) {
            return;
        }
        RecoveredEntry entry;
        entry.sector = diskSector;
        entry.self = recordNumber;
        entry.deleted = (header->flags & kRecordInUse) == 0;
        const auto nameEntry = [&](const FileNameInfo& name) {
            entry.name = name.name;
            entry.parent = name.parent;
            entry.date = static_cast<std::int64_t>(name.creationTime);
        };
        if ((header->flags & kRecordIsDirectory) != 0) {
            nameEntry(links.front());
            AppendEntryRow(run_.folderTable, entry);
            KeepSlackNames(records, {recordNumber, header->sequenceNumber});
        } else {
            // A file with hard links is listed, and saved, once in each folder that names it.
            const std::uint64_t size = DataSize(records).value_or(0);
            for (const FileNameInfo& link : links) {
                nameEntry(link);
                AddFileRow(entry, size);
            }
        }
        lastListed_ = recordNumber;
        listedAny_ = true;
    }

    // Names of files that left the folder's index stay in its blocks' slack; those of folders
    // are left out, as a folder is listed from its own record only.
    void KeepSlackNames(const std::vector<MftRecordBuffer>& records, IndexOwner owner) {
        for (const IndexEntry& entry : ReadFolderIndexSlack(disk_, layout_, records, owner)) {
            if (!entry.NamesDirectory()) {
                slackNames_.push_back(entry);
            }
        }
    }

    // Sizes of 4 GiB and more are written whole: the row's own size field holds 32 bits.
    void AddFileRow(RecoveredEntry& entry, std::uint64_t size) {
        entry.type = kFileType;
        const std::size_t row = AppendEntryRow(run_.fileTable, entry);
        run_.fileTable.SetCell(row, kEntrySize, NumberText(size));
    }

    // The number of the last record listed, once one is.
    void ShowCounter() {
        if (listedAny_) {
            reporter_.SetStatisticValue(Statistic::DirectoriesFound,
                                        NumberText(std::uint64_t{lastListed_} + kCounterLead));
        }
    }

    RecoveryRun& run_;
    std::stop_token stop_;
    SectorSource& disk_;
    const MftRunTable& table_;
    Reporter& reporter_;
    const NtfsLayout layout_;
    const std::uint32_t recordSectors_;
    const std::uint64_t totalSectors_;
    const std::uint64_t endPosition_;
    RunCursor cursor_;
    std::vector<ChunkPiece> pieces_;
    std::vector<IndexEntry> slackNames_;
    std::uint32_t lastListed_ = 0;
    bool listedAny_ = false;
    // Shown when the bar moves and at the end: a call per slot would slow the window.
    SectorRangeScan scan_;
};

}  // namespace

void ScanMft(RecoveryRun& run, SectorSource& disk, const MftRunTable& table, Reporter& reporter,
             std::stop_token stop) {
    MftWalk(run, disk, table, reporter, std::move(stop)).Run();
}

}  // namespace lumarest

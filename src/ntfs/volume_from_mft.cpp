// An NTFS volume whose boot sectors are gone, found from the first records of its master file
// table.

#include "ntfs/volume_from_mft.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/sector_source.h"
#include "ntfs/attributes.h"
#include "ntfs/data_runs.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest {
namespace {

constexpr std::uint32_t kMftRecord = 0;
constexpr std::uint32_t kMirrorRecord = 1;
constexpr std::uint32_t kBitmapRecord = 6;
constexpr std::uint32_t kBootRecord = 7;

// A record's unnamed $DATA held in runs, from its first cluster on.
struct DataStream {
    std::vector<DataRun> runs;
    std::uint64_t realSize = 0;
};

// The stream's runs counted from cluster 0 at `start`, `spc` sectors a cluster. Nothing when
// the data is resident, continues another record's piece, or its run list is broken or starts
// with a hole.
std::optional<DataStream> DataStreamOf(const MftRecordBuffer& record, std::uint64_t start,
                                       std::uint32_t spc) {
    const auto data = FindUnnamedAttribute(ByteSpan(record.data(), record.size()), kAttrData);
    if (!data || !data->nonResident || !data->runsInBounds || data->firstVcn != 0) {
        return std::nullopt;
    }
    DecodedRuns decoded = DecodeRuns(data->runs, start, spc);
    if (!decoded.complete || decoded.runs.empty() || decoded.runs.front().sparse) {
        return std::nullopt;
    }
    return DataStream{std::move(decoded.runs), data->realSize};
}

// Every run lies on the disk and the stream's bytes fit in its runs.
bool LiesOnDisk(const DataStream& stream, std::uint64_t diskSectors) {
    const bool inside = std::all_of(stream.runs.begin(), stream.runs.end(), [&](const DataRun& r) {
        return r.sparse ||
               (r.sectorCount <= diskSectors && r.startSector <= diskSectors - r.sectorCount);
    });
    return inside && stream.realSize <= SectorsToBytes(TotalSectors(stream.runs));
}

// The first sector after the furthest run.
std::uint64_t ReachedEnd(const DataStream& stream) {
    std::uint64_t end = 0;
    for (const DataRun& run : stream.runs) {
        if (!run.sparse) {
            end = std::max(end, run.startSector + run.sectorCount);
        }
    }
    return end;
}

// Records of the older layout carry no number: their place in the table is all there is.
bool ReadRecordNumbered(SectorSource& disk, std::uint64_t sector, std::uint32_t number,
                        MftRecordBuffer& record) {
    // Sector 0 is where the table's runs do not reach.
    if (sector == 0 || !ReadMftRecord(disk, sector, record)) {
        return false;
    }
    const auto header = ParseMftRecordHeader(ByteSpan(record.data(), record.size()));
    return header && (!header->HasOwnNumber() || header->ownNumber == number);
}

class MftVolumeTest {
  public:
    MftVolumeTest(SectorSource& disk, std::uint64_t recordSector, std::uint32_t recordSectors,
                  std::uint64_t diskSectors)
        : disk_(disk),
          recordSector_(recordSector),
          recordSectors_(UsableRecordSectors(recordSectors)),
          diskSectors_(diskSectors),
          record0_(recordSectors_) {}

    std::optional<MftVolume> Find() {
        if (!ReadRecordNumbered(disk_, recordSector_, kMftRecord, record0_)) {
            return std::nullopt;
        }
        // Clusters counted from 0 at one sector each: the run list's own numbers.
        const auto clusters = DataStreamOf(record0_, 0, 1);
        // Cluster 0 holds the boot sector, never the table.
        if (!clusters || clusters->runs.front().startSector == 0) {
            return std::nullopt;
        }
        firstCluster_ = clusters->runs.front().startSector;
        for (const std::uint32_t spc : kNtfsClusterSectors) {
            if (firstCluster_ > recordSector_ / spc) {
                break;  // cluster 0 would lie before the disk
            }
            if (auto volume = TryClusterSize(recordSector_ - firstCluster_ * spc, spc)) {
                return volume;
            }
        }
        return std::nullopt;
    }

  private:
    std::optional<MftVolume> TryClusterSize(std::uint64_t start, std::uint32_t spc) {
        const auto mft = DataStreamOf(record0_, start, spc);
        if (!mft || !LiesOnDisk(*mft, diskSectors_) ||
            mft->realSize < SectorsToBytes(std::uint64_t{kBootRecord + 1} * recordSectors_)) {
            return std::nullopt;
        }
        const MftRunTable table{mft->runs, recordSectors_};
        const auto mirror = StreamOfRecord(table, kMirrorRecord, start, spc);
        const auto boot = StreamOfRecord(table, kBootRecord, start, spc);
        if (!mirror || !boot || !MirrorCopiesRecord0(*mirror) ||
            boot->runs.front().startSector != start || boot->realSize < kSectorSize) {
            return std::nullopt;
        }
        std::uint64_t end = std::max(ReachedEnd(*mft), ReachedEnd(*mirror));
        // The allocation bitmap usually reaches furthest; a volume without a readable one
        // still has the table's own extent.
        if (const auto bitmap = StreamOfRecord(table, kBitmapRecord, start, spc)) {
            end = std::max(end, ReachedEnd(*bitmap));
        }
        return MftVolume{start, spc, end - 1};
    }

    // The $DATA of record `number`, read where the table puts it, when it lies on the disk.
    std::optional<DataStream> StreamOfRecord(const MftRunTable& table, std::uint32_t number,
                                             std::uint64_t start, std::uint32_t spc) {
        MftRecordBuffer record(recordSectors_);
        if (!ReadRecordNumbered(disk_, MftRecordSector(table, number), number, record)) {
            return std::nullopt;
        }
        auto stream = DataStreamOf(record, start, spc);
        if (!stream || !LiesOnDisk(*stream, diskSectors_)) {
            return std::nullopt;
        }
        return stream;
    }

    // The mirror's first record is record 0 again, elsewhere: it names the same first cluster.
    bool MirrorCopiesRecord0(const DataStream& mirror) {
        const std::uint64_t copySector = mirror.runs.front().startSector;
        MftRecordBuffer copy(recordSectors_);
        if (copySector == recordSector_ ||
            !ReadRecordNumbered(disk_, copySector, kMftRecord, copy)) {
            return false;
        }
        const auto copied = DataStreamOf(copy, 0, 1);
        return copied && copied->runs.front().startSector == firstCluster_;
    }

    SectorSource& disk_;
    const std::uint64_t recordSector_;
    const std::uint32_t recordSectors_;
    const std::uint64_t diskSectors_;
    MftRecordBuffer record0_;
    std::uint64_t firstCluster_ = 0;
};

}  // namespace

std::optional<MftVolume> FindVolumeFromMft(SectorSource& disk, std::uint64_t recordSector,
                                           std::uint32_t recordSectors, std::uint64_t diskSectors) {
    return MftVolumeTest(disk, recordSector, recordSectors, diskSectors).Find();
}

}  // namespace lumarest

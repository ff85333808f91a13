#include "ntfs/file_data.h"

#include <algorithm>

#include "core/hole_stream.h"
#include "core/sector_source.h"
#include "ntfs/attributes.h"
#include "ntfs/extension_records.h"
#include "ntfs/mft_run_table.h"

namespace lumarest {

namespace {

constexpr std::uint32_t kChunkSectors = 128;

struct NonResidentPiece {
    std::uint64_t firstVcn = 0;
    Attribute attribute;
};

// The unnamed $DATA of a file's records, as it is to be written.
struct RecordData {
    FileDataStatus status = FileDataStatus::Written;  // NoData or Unsupported: nothing to write
    bool resident = false;
    ByteSpan content;  // resident: the file's bytes, inside the records
    std::vector<DataRun> runs;
    std::uint64_t realSize = 0;
    std::uint64_t initializedSize = 0;
};

// Calls `visit(run, take, real)` for each run up to `byteCount`: `take` bytes of the file lie in
// the run, the first `real` of them stored in its sectors (none for a sparse run), the rest
// zeros. Returns the bytes the runs cover.
template <typename Visit>
std::uint64_t ForEachRunPart(const std::vector<DataRun>& runs, std::uint64_t byteCount,
                             std::uint64_t initializedSize, const Visit& visit) {
    const std::uint64_t readable = std::min(byteCount, initializedSize);
    std::uint64_t covered = 0;
    for (const DataRun& run : runs) {
        if (covered >= byteCount) {
            break;
        }
        const std::uint64_t runBytes =
            std::min(run.sectorCount, UINT64_MAX / kSectorSize) * kSectorSize;
        const std::uint64_t take = std::min(runBytes, byteCount - covered);
        const std::uint64_t real =
            run.sparse || covered >= readable ? 0 : std::min(take, readable - covered);
        if (!visit(run, take, real)) {
            break;
        }
        covered += take;
    }
    return covered;
}

// Writes up to `count` bytes from the sectors of one real run; false when a read failed.
bool WriteRealRun(SectorSource& source, const DataRun& run, std::uint64_t count,
                  std::ostream& out) {
    std::vector<std::uint8_t> chunk(std::size_t{kChunkSectors} * kSectorSize);
    bool readAll = true;
    std::uint64_t sector = run.startSector;
    while (count > 0 && out) {
        const std::uint64_t bytes = std::min<std::uint64_t>(count, chunk.size());
        const auto sectors = static_cast<std::uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
        if (source.ReadSectors(sector, sectors, chunk.data()) == 0) {
            readAll = false;  // the buffer holds zeros for what failed
        }
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(bytes));
        sector += sectors;
        count -= bytes;
    }
    return readAll;
}

RecordData CollectRecordData(const NtfsLayout& layout, std::span<const MftRecordBuffer> records) {
    RecordData data;
    std::vector<NonResidentPiece> pieces;
    for (const MftRecordBuffer& record : records) {
        bool resident = false;
        Attribute residentData;
        WalkAttributes(record, [&](const Attribute& attribute) {
            if (attribute.type != kAttrData || !attribute.Unnamed()) {
                return true;
            }
            if (!attribute.nonResident) {
                resident = attribute.contentInBounds;
                residentData = attribute;
                return false;
            }
            pieces.push_back({attribute.firstVcn, attribute});
            return true;
        });
        if (resident && pieces.empty()) {
            data.resident = true;
            data.content = residentData.content;
            return data;
        }
    }
    if (pieces.empty()) {
        data.status = FileDataStatus::NoData;
        return data;
    }
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const auto& a, const auto& b) { return a.firstVcn < b.firstVcn; });
    // Only the first piece carries the sizes and flags of the whole attribute.
    const Attribute& first = pieces.front().attribute;
    if (first.firstVcn != 0) {
        data.status = FileDataStatus::NoData;
        return data;
    }
    if ((first.flags & (kAttrFlagCompressed | kAttrFlagEncrypted)) != 0) {
        data.status = FileDataStatus::Unsupported;
        return data;
    }
    for (const NonResidentPiece& piece : pieces) {
        if (!piece.attribute.runsInBounds) {
            break;
        }
        const DecodedRuns decoded =
            DecodeRuns(piece.attribute.runs, layout.cluster0Start, layout.sectorsPerCluster);
        data.runs.insert(data.runs.end(), decoded.runs.begin(), decoded.runs.end());
        if (!decoded.complete) {
            break;
        }
    }
    data.realSize = first.realSize;
    data.initializedSize = first.initializedSize;
    return data;
}

}  // namespace

FileDataStatus WriteRunBytes(SectorSource& source, const std::vector<DataRun>& runs,
                             std::uint64_t byteCount, std::uint64_t initializedSize,
                             std::ostream& out) {
    bool readAll = true;
    const std::uint64_t covered =
        ForEachRunPart(runs, byteCount, initializedSize,
                       [&](const DataRun& run, std::uint64_t take, std::uint64_t real) {
                           // A full destination ends the copy instead of running on.
                           if (!out) {
                               return false;
                           }
                           if (real > 0) {
                               readAll = WriteRealRun(source, run, real, out) && readAll;
                           }
                           WriteZeros(out, take - real);
                           return true;
                       });
    if (!out) {
        return FileDataStatus::ReadFailed;
    }
    if (covered < byteCount) {
        return FileDataStatus::RunsShort;
    }
    return readAll ? FileDataStatus::Written : FileDataStatus::ReadFailed;
}

std::uint64_t StoredRunBytes(const std::vector<DataRun>& runs, std::uint64_t byteCount,
                             std::uint64_t initializedSize) {
    std::uint64_t stored = 0;
    ForEachRunPart(runs, byteCount, initializedSize,
                   [&](const DataRun&, std::uint64_t, std::uint64_t real) {
                       stored += real;
                       return true;
                   });
    return stored;
}

std::optional<std::uint64_t> DataSize(ByteSpan record) {
    const auto data = FindUnnamedAttribute(record, kAttrData);
    if (!data) {
        return std::nullopt;
    }
    if (data->nonResident) {
        return data->realSize;
    }
    if (!data->contentInBounds) {
        return std::nullopt;
    }
    return data->content.size();
}

std::optional<std::uint64_t> DataSize(std::span<const MftRecordBuffer> records) {
    for (const MftRecordBuffer& record : records) {
        if (const auto size = DataSize(record)) {
            return size;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ReadDataSize(SectorSource& source, std::uint64_t recordSector,
                                          std::uint32_t recordSectors) {
    MftRecordBuffer record(recordSectors);
    if (!ReadMftRecord(source, recordSector, record)) {
        return std::nullopt;
    }
    return DataSize(record);
}

FileDataStatus WriteRecordData(SectorSource& source, const NtfsLayout& layout,
                               std::span<const MftRecordBuffer> records, std::ostream& out) {
    const RecordData data = CollectRecordData(layout, records);
    if (data.status != FileDataStatus::Written) {
        return data.status;
    }
    if (data.resident) {
        out.write(reinterpret_cast<const char*>(data.content.data()),
                  static_cast<std::streamsize>(data.content.size()));
        return out ? FileDataStatus::Written : FileDataStatus::ReadFailed;
    }
    return WriteRunBytes(source, data.runs, data.realSize, data.initializedSize, out);
}

std::uint64_t StoredRecordDataBytes(const NtfsLayout& layout,
                                    std::span<const MftRecordBuffer> records) {
    const RecordData data = CollectRecordData(layout, records);
    if (data.status != FileDataStatus::Written) {
        return 0;
    }
    if (data.resident) {
        return data.content.size();
    }
    return StoredRunBytes(data.runs, data.realSize, data.initializedSize);
}

FileDataStatus WriteFileData(SectorSource& source, const NtfsLayout& layout,
                             const MftRunTable& table, std::uint32_t recordNumber,
                             std::ostream& out) {
    const std::vector<MftRecordBuffer> records =
        ReadFileRecordsOf(source, layout, table, recordNumber);
    if (records.empty()) {
        return FileDataStatus::NoRecord;
    }
    return WriteRecordData(source, layout, records, out);
}

}  // namespace lumarest

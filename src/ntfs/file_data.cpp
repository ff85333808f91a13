#include "ntfs/file_data.h"

#include <algorithm>
#include <array>

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

void WriteZeros(std::uint64_t count, std::ostream& out) {
    static constexpr std::array<char, kSectorSize> kZeros{};
    while (count > 0 && out) {
        const std::uint64_t part = std::min<std::uint64_t>(count, kZeros.size());
        out.write(kZeros.data(), static_cast<std::streamsize>(part));
        count -= part;
    }
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

}  // namespace

FileDataStatus WriteRunBytes(SectorSource& source, const std::vector<DataRun>& runs,
                             std::uint64_t byteCount, std::uint64_t initializedSize,
                             std::ostream& out) {
    const std::uint64_t readable = std::min(byteCount, initializedSize);
    std::uint64_t written = 0;
    bool readAll = true;
    for (const DataRun& run : runs) {
        // A full destination ends the copy instead of running on through the runs.
        if (written >= byteCount || !out) {
            break;
        }
        const std::uint64_t runBytes =
            std::min(run.sectorCount, UINT64_MAX / kSectorSize) * kSectorSize;
        const std::uint64_t take = std::min(runBytes, byteCount - written);
        const std::uint64_t real = written < readable ? std::min(take, readable - written) : 0;
        if (run.sparse) {
            WriteZeros(take, out);
        } else {
            readAll = WriteRealRun(source, run, real, out) && readAll;
            WriteZeros(take - real, out);
        }
        written += take;
    }
    if (!out) {
        return FileDataStatus::ReadFailed;
    }
    if (written < byteCount) {
        return FileDataStatus::RunsShort;
    }
    return readAll ? FileDataStatus::Written : FileDataStatus::ReadFailed;
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
            out.write(reinterpret_cast<const char*>(residentData.content.data()),
                      static_cast<std::streamsize>(residentData.content.size()));
            return out ? FileDataStatus::Written : FileDataStatus::ReadFailed;
        }
    }
    if (pieces.empty()) {
        return FileDataStatus::NoData;
    }
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const auto& a, const auto& b) { return a.firstVcn < b.firstVcn; });
    // Only the first piece carries the sizes and flags of the whole attribute.
    const Attribute& first = pieces.front().attribute;
    if (first.firstVcn != 0) {
        return FileDataStatus::NoData;
    }
    if ((first.flags & (kAttrFlagCompressed | kAttrFlagEncrypted)) != 0) {
        return FileDataStatus::Unsupported;
    }
    std::vector<DataRun> runs;
    for (const NonResidentPiece& piece : pieces) {
        if (!piece.attribute.runsInBounds) {
            break;
        }
        const DecodedRuns decoded =
            DecodeRuns(piece.attribute.runs, layout.cluster0Start, layout.sectorsPerCluster);
        runs.insert(runs.end(), decoded.runs.begin(), decoded.runs.end());
        if (!decoded.complete) {
            break;
        }
    }
    return WriteRunBytes(source, runs, first.realSize, first.initializedSize, out);
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

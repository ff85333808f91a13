#include "ntfs/mft_run_table.h"

#include "ntfs/attribute_list.h"
#include "ntfs/attributes.h"
#include "ntfs/mft_record.h"

namespace lumarest {

namespace {

constexpr std::uint32_t kMftRecord = 0;
constexpr std::uint32_t kRootRecord = 5;

// The runs of the record's unnamed $DATA whose first VCN is `firstVcn`.
std::optional<DecodedRuns> DataRunsOf(ByteSpan record, std::uint64_t firstVcn,
                                      const NtfsLayout& layout) {
    std::optional<DecodedRuns> decoded;
    WalkAttributes(record, [&](const Attribute& attribute) {
        if (attribute.type == kAttrData && attribute.Unnamed() && attribute.nonResident &&
            attribute.runsInBounds && attribute.firstVcn == firstVcn) {
            decoded = DecodeRuns(attribute.runs, layout.cluster0Start, layout.sectorsPerCluster);
            return false;
        }
        return true;
    });
    return decoded;
}

struct DataPiece {
    std::uint32_t recordNumber = 0;
    std::uint64_t firstVcn = 0;
};

std::vector<DataPiece> DataPiecesOfList(ByteSpan list) {
    std::vector<DataPiece> pieces;
    WalkAttributeList(list, [&](const AttributeListEntry& entry) {
        if (entry.type == kAttrData && entry.nameLength == 0) {
            pieces.push_back({entry.recordNumber, entry.firstVcn});
        }
        return true;
    });
    return pieces;
}

void Append(MftRunTable& table, const DecodedRuns& decoded) {
    table.runs.insert(table.runs.end(), decoded.runs.begin(), decoded.runs.end());
}

}  // namespace

std::uint64_t MftRecordSector(const MftRunTable& table, std::uint32_t recordNumber) {
    const std::uint64_t wanted =
        std::uint64_t{recordNumber} * UsableRecordSectors(table.recordSectors);
    std::uint64_t total = 0;
    for (const DataRun& run : table.runs) {
        if (wanted < total + run.sectorCount) {
            return run.sparse ? 0 : run.startSector + (wanted - total);
        }
        total += run.sectorCount;
    }
    return 0;
}

bool BuildMftRunTable(SectorSource& source, const NtfsLayout& layout, MftRunTable& table) {
    table.runs.clear();
    table.recordSectors = UsableRecordSectors(layout.recordSectors);
    const std::uint32_t recordSectors = table.recordSectors;
    MftRecordBuffer root(recordSectors);
    MftRecordBuffer mft(recordSectors);
    if (!ReadMftRecord(source, layout.mftSector + kRootRecord * recordSectors, root) ||
        !ReadMftRecord(source, layout.mftSector + kMftRecord * recordSectors, mft)) {
        return false;
    }
    const auto firstRuns = DataRunsOf(mft, 0, layout);
    if (firstRuns) {
        Append(table, *firstRuns);
    }
    const auto list = ReadAttributeList(source, layout, mft);
    if (!list) {
        return !table.runs.empty();
    }
    const std::vector<DataPiece> pieces = DataPiecesOfList(*list);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const DataPiece& piece = pieces[i];
        if (piece.recordNumber == kMftRecord) {
            if (i == 0) {
                continue;  // already in the table
            }
            if (const auto runs = DataRunsOf(mft, piece.firstVcn, layout)) {
                Append(table, *runs);
            }
            continue;
        }
        // The first piece's record is found where an unfragmented table would put it.
        const std::uint64_t sector =
            i == 0 ? layout.mftSector + std::uint64_t{piece.recordNumber} * recordSectors
                   : MftRecordSector(table, piece.recordNumber);
        if (i == 0) {
            table.runs.clear();
        }
        MftRecordBuffer extension(recordSectors);
        if (sector == 0 || !ReadMftRecord(source, sector, extension)) {
            continue;
        }
        if (const auto runs = DataRunsOf(extension, piece.firstVcn, layout)) {
            Append(table, *runs);
        }
    }
    return !table.runs.empty();
}

}  // namespace lumarest

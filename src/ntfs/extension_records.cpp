#include "ntfs/extension_records.h"

#include <algorithm>

#include "ntfs/attribute_list.h"
#include "ntfs/attributes.h"
#include "ntfs/mft_run_table.h"

namespace lumarest {

namespace {

constexpr std::size_t kBaseReferenceField = 32;

void AddRecord(ExtensionRecordList& list, std::uint32_t number) {
    if (std::find(list.records.begin(), list.records.end(), number) != list.records.end()) {
        return;
    }
    if (list.records.size() >= kMaxExtensionRecords) {
        list.truncated = true;
        return;
    }
    list.records.push_back(number);
}

}  // namespace

ExtensionRecordList ExtensionRecordsFromList(ByteSpan attributeList, std::uint32_t recordNumber) {
    ExtensionRecordList list;
    list.records.push_back(recordNumber);
    WalkAttributeList(attributeList, [&](const AttributeListEntry& entry) {
        AddRecord(list, entry.recordNumber);
        return true;
    });
    return list;
}

ExtensionRecordList CollectExtensionRecords(ByteSpan record, std::uint32_t recordNumber) {
    const auto list = FindUnnamedAttribute(record, kAttrAttributeList);
    if (!list || list->nonResident || !list->contentInBounds) {
        return ExtensionRecordsFromList({}, recordNumber);
    }
    return ExtensionRecordsFromList(list->content, recordNumber);
}

ExtensionRecordList ReadExtensionRecords(SectorSource& source, const NtfsLayout& layout,
                                         ByteSpan record, std::uint32_t recordNumber) {
    const auto bytes = ReadAttributeList(source, layout, record);
    if (!bytes) {
        return ExtensionRecordsFromList({}, recordNumber);
    }
    return ExtensionRecordsFromList(*bytes, recordNumber);
}

std::vector<MftRecordBuffer> ReadFileRecords(SectorSource& source, const MftRunTable& table,
                                             const MftRecordBuffer& record,
                                             const ExtensionRecordList& list) {
    std::vector<MftRecordBuffer> records{record};
    if (list.records.empty()) {
        return records;
    }
    const std::uint32_t own = list.records.front();
    for (std::size_t i = 1; i < list.records.size(); ++i) {
        const std::uint32_t number = list.records[i];
        const std::uint64_t sector = MftRecordSector(table, number);
        if (number == own || sector == 0) {
            continue;
        }
        MftRecordBuffer extension(table.recordSectors);
        if (!ReadMftRecord(source, sector, extension)) {
            continue;
        }
        // A record reused by another file since the list was written holds nothing of ours.
        if (LoadLe32(extension, kBaseReferenceField) != own) {
            continue;
        }
        records.push_back(extension);
    }
    return records;
}

std::vector<MftRecordBuffer> ReadFileRecordsOf(SectorSource& source, const NtfsLayout& layout,
                                               const MftRunTable& table,
                                               std::uint32_t recordNumber) {
    const std::uint64_t sector = MftRecordSector(table, recordNumber);
    MftRecordBuffer record(table.recordSectors);
    if (sector == 0 || !ReadMftRecord(source, sector, record)) {
        return {};
    }
    const ExtensionRecordList list = ReadExtensionRecords(source, layout, record, recordNumber);
    return ReadFileRecords(source, table, record, list);
}

}  // namespace lumarest

#include "ntfs/attribute_list.h"

#include <sstream>

#include "ntfs/attributes.h"
#include "ntfs/file_data.h"

namespace lumarest {

namespace {

constexpr std::size_t kTypeField = 0;
constexpr std::size_t kLengthField = 4;
constexpr std::size_t kNameLengthField = 6;
constexpr std::size_t kFirstVcnField = 8;
constexpr std::size_t kRecordField = 16;
// Type, length, name fields, first VCN, reference and attribute id.
constexpr std::uint16_t kMinEntryBytes = 26;

}  // namespace

std::size_t WalkAttributeList(ByteSpan list,
                              const std::function<bool(const AttributeListEntry&)>& visit) {
    std::size_t offset = 0;
    std::size_t visited = 0;
    while (visited < kMaxAttributeListEntries && offset < list.size()) {
        const auto type = LoadLe32(list, offset + kTypeField);
        const auto length = LoadLe16(list, offset + kLengthField);
        if (!type || !length || *type == 0 || *type == kAttrEndMarker) {
            break;
        }
        if (*length < kMinEntryBytes || *length > list.size() - offset) {
            break;
        }
        AttributeListEntry entry;
        entry.type = *type;
        entry.length = *length;
        entry.nameLength = *LoadLe8(list, offset + kNameLengthField);
        entry.firstVcn = *LoadLe64(list, offset + kFirstVcnField);
        entry.recordNumber = *LoadLe32(list, offset + kRecordField);
        ++visited;
        if (!visit(entry)) {
            break;
        }
        offset += *length;
    }
    return visited;
}

std::optional<std::vector<std::uint8_t>> ReadAttributeList(SectorSource& source,
                                                           const NtfsLayout& layout,
                                                           ByteSpan record) {
    const auto list = FindUnnamedAttribute(record, kAttrAttributeList);
    if (!list) {
        return std::nullopt;
    }
    if (!list->nonResident) {
        if (!list->contentInBounds) {
            return std::nullopt;
        }
        return std::vector<std::uint8_t>(list->content.begin(), list->content.end());
    }
    if (!list->runsInBounds || list->realSize > kMaxAttributeListBytes) {
        return std::nullopt;
    }
    const DecodedRuns decoded =
        DecodeRuns(list->runs, layout.cluster0Start, layout.sectorsPerCluster);
    std::ostringstream bytes;
    if (WriteRunBytes(source, decoded.runs, list->realSize, list->initializedSize, bytes) !=
        FileDataStatus::Written) {
        return std::nullopt;
    }
    const std::string text = bytes.str();
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace lumarest

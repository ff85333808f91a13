#include "ntfs/attributes.h"

namespace lumarest {

namespace {

constexpr std::size_t kFirstAttributeField = 20;
constexpr std::size_t kTypeField = 0;
constexpr std::size_t kLengthField = 4;
constexpr std::size_t kNonResidentField = 8;
constexpr std::size_t kNameLengthField = 9;
constexpr std::size_t kNameOffsetField = 10;
constexpr std::size_t kFlagsField = 12;
constexpr std::size_t kContentLengthField = 16;
constexpr std::size_t kContentOffsetField = 20;
constexpr std::size_t kFirstVcnField = 16;
constexpr std::size_t kRunsOffsetField = 32;
constexpr std::size_t kRealSizeField = 48;
constexpr std::size_t kInitializedSizeField = 56;
// The shortest header that holds every field read: resident and non-resident.
constexpr std::uint32_t kResidentHeaderBytes = 24;
constexpr std::uint32_t kNonResidentHeaderBytes = 64;
constexpr std::size_t kUtf16UnitBytes = 2;

void FillResident(Attribute& attribute) {
    const auto contentLength = LoadLe32(attribute.bytes, kContentLengthField);
    const auto contentOffset = LoadLe16(attribute.bytes, kContentOffsetField);
    if (!contentLength || !contentOffset) {
        return;
    }
    // An empty content at the attribute's end is still inside it.
    if (*contentOffset <= attribute.bytes.size() &&
        attribute.bytes.size() - *contentOffset >= *contentLength) {
        attribute.content = attribute.bytes.subspan(*contentOffset, *contentLength);
        attribute.contentInBounds = true;
    }
}

void FillNonResident(Attribute& attribute) {
    attribute.firstVcn = LoadLe64(attribute.bytes, kFirstVcnField).value_or(0);
    attribute.realSize = LoadLe64(attribute.bytes, kRealSizeField).value_or(0);
    attribute.initializedSize = LoadLe64(attribute.bytes, kInitializedSizeField).value_or(0);
    const auto runsOffset = LoadLe16(attribute.bytes, kRunsOffsetField);
    if (runsOffset && *runsOffset <= attribute.bytes.size()) {
        attribute.runs = attribute.bytes.subspan(*runsOffset);
        attribute.runsInBounds = true;
    }
}

// The attribute at `offset`, or nothing when the walk ends there.
std::optional<Attribute> AttributeAt(ByteSpan record, std::size_t offset) {
    const auto type = LoadLe32(record, offset + kTypeField);
    const auto length = LoadLe32(record, offset + kLengthField);
    if (!type || !length || *type == 0 || *type == kAttrEndMarker) {
        return std::nullopt;
    }
    if (*length < kResidentHeaderBytes || *length > record.size() - offset) {
        return std::nullopt;
    }
    Attribute attribute;
    attribute.type = *type;
    attribute.offset = offset;
    attribute.length = *length;
    attribute.bytes = record.subspan(offset, *length);
    attribute.nonResident = LoadLe8(attribute.bytes, kNonResidentField).value_or(0) != 0;
    attribute.nameLength = LoadLe8(attribute.bytes, kNameLengthField).value_or(0);
    attribute.flags = LoadLe16(attribute.bytes, kFlagsField).value_or(0);
    const std::size_t nameOffset = LoadLe16(attribute.bytes, kNameOffsetField).value_or(0);
    attribute.name =
        SliceOrEmpty(attribute.bytes, nameOffset, attribute.nameLength * kUtf16UnitBytes);
    if (attribute.nonResident) {
        if (*length < kNonResidentHeaderBytes) {
            return std::nullopt;
        }
        FillNonResident(attribute);
    } else {
        FillResident(attribute);
    }
    return attribute;
}

}  // namespace

std::size_t WalkAttributes(ByteSpan record, const std::function<bool(const Attribute&)>& visit) {
    const auto first = LoadLe16(record, kFirstAttributeField);
    if (!first) {
        return 0;
    }
    std::size_t offset = *first;
    std::size_t visited = 0;
    while (visited < kMaxAttributesPerRecord && offset < record.size()) {
        const auto attribute = AttributeAt(record, offset);
        if (!attribute) {
            break;
        }
        ++visited;
        if (!visit(*attribute)) {
            break;
        }
        offset += attribute->length;
    }
    return visited;
}

std::optional<Attribute> FindUnnamedAttribute(ByteSpan record, std::uint32_t type) {
    std::optional<Attribute> found;
    WalkAttributes(record, [&](const Attribute& attribute) {
        if (attribute.type == type && attribute.Unnamed()) {
            found = attribute;
            return false;
        }
        return true;
    });
    return found;
}

std::optional<std::uint64_t> StandardModifiedTime(ByteSpan record) {
    // Creation time first, then the data's last write.
    constexpr std::size_t kModifiedOffset = 8;
    const std::optional<Attribute> standard =
        FindUnnamedAttribute(record, kAttrStandardInformation);
    if (!standard || standard->nonResident || !standard->contentInBounds) {
        return std::nullopt;
    }
    return LoadLe64(standard->content, kModifiedOffset);
}

}  // namespace lumarest

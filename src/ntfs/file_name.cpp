#include "ntfs/file_name.h"

#include <algorithm>

#include "ntfs/attributes.h"
#include "ntfs/mft_record.h"
#include "ntfs/name_text.h"

namespace lumarest {

namespace {

constexpr std::size_t kParentField = 0;
constexpr std::size_t kCreationTimeField = 8;
constexpr std::size_t kNameLengthField = 64;
constexpr std::size_t kNameSpaceField = 65;
constexpr std::size_t kNameField = 66;
constexpr std::size_t kUnitBytes = 2;
constexpr std::uint8_t kLastNameSpace = 3;

}  // namespace

std::optional<FileNameInfo> ParseFileName(ByteSpan content) {
    const auto nameLength = LoadLe8(content, kNameLengthField);
    const auto nameSpace = LoadLe8(content, kNameSpaceField);
    if (!nameLength || !nameSpace || *nameSpace > kLastNameSpace) {
        return std::nullopt;
    }
    const ByteSpan units = SliceOrEmpty(content, kNameField, *nameLength * kUnitBytes);
    if (units.size() != *nameLength * kUnitBytes) {
        return std::nullopt;
    }
    FileNameInfo info;
    info.parent = *LoadLe32(content, kParentField);
    info.creationTime = *LoadLe64(content, kCreationTimeField);
    info.nameSpace = static_cast<NameSpace>(*nameSpace);
    info.name = Utf16LeToUtf8(units, *nameLength);
    return info;
}

void CollectFileNames(ByteSpan record, std::vector<FileNameInfo>& names) {
    WalkAttributes(record, [&](const Attribute& attribute) {
        if (attribute.type == kAttrFileName && attribute.Unnamed() && !attribute.nonResident &&
            attribute.contentInBounds) {
            if (auto info = ParseFileName(attribute.content)) {
                names.push_back(std::move(*info));
            }
        }
        return true;
    });
}

std::optional<FileNameInfo> FindFileName(ByteSpan record, NameSpace nameSpace) {
    std::vector<FileNameInfo> names;
    CollectFileNames(record, names);
    for (FileNameInfo& info : names) {
        if (info.nameSpace == nameSpace) {
            return std::move(info);
        }
    }
    return std::nullopt;
}

std::optional<FileNameInfo> ReadFileName(SectorSource& source, std::uint64_t recordSector,
                                         NameSpace nameSpace, std::uint32_t recordSectors) {
    MftRecordBuffer record(recordSectors);
    if (!ReadMftRecord(source, recordSector, record)) {
        return std::nullopt;
    }
    return FindFileName(record, nameSpace);
}

namespace {

std::vector<FileNameInfo> CollectRecordNames(std::span<const MftRecordBuffer> records) {
    std::vector<FileNameInfo> names;
    for (const MftRecordBuffer& record : records) {
        CollectFileNames(record, names);
    }
    return names;
}

const FileNameInfo* ListedName(const std::vector<FileNameInfo>& names) {
    for (const NameSpace wanted : kNameSpaceOrder) {
        for (const FileNameInfo& info : names) {
            if (info.nameSpace == wanted) {
                return &info;
            }
        }
    }
    return nullptr;
}

bool HasLongNameIn(const std::vector<FileNameInfo>& names, std::uint32_t parent) {
    return std::any_of(names.begin(), names.end(), [&](const FileNameInfo& info) {
        return info.parent == parent && info.nameSpace != NameSpace::Dos;
    });
}

bool SameLink(const FileNameInfo& a, const FileNameInfo& b) {
    return a.parent == b.parent && a.name == b.name;
}

}  // namespace

std::optional<FileNameInfo> RecordName(std::span<const MftRecordBuffer> records) {
    const std::vector<FileNameInfo> names = CollectRecordNames(records);
    const FileNameInfo* listed = ListedName(names);
    return listed ? std::optional<FileNameInfo>(*listed) : std::nullopt;
}

std::vector<FileNameInfo> RecordLinks(std::span<const MftRecordBuffer> records) {
    const std::vector<FileNameInfo> names = CollectRecordNames(records);
    const FileNameInfo* listed = ListedName(names);
    if (listed == nullptr) {
        return {};
    }
    std::vector<FileNameInfo> links{*listed};
    for (const FileNameInfo& info : names) {
        const bool ownLink = info.nameSpace != NameSpace::Dos || !HasLongNameIn(names, info.parent);
        const bool known = std::any_of(links.begin(), links.end(), [&](const FileNameInfo& link) {
            return SameLink(link, info);
        });
        if (ownLink && !known) {
            links.push_back(info);
        }
    }
    return links;
}

}  // namespace lumarest

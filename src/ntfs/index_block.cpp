#include "ntfs/index_block.h"

#include <algorithm>
#include <array>

namespace lumarest {

namespace {

constexpr std::array<std::uint8_t, 4> kIndexSignature{'I', 'N', 'D', 'X'};
constexpr std::size_t kVcnField = 16;
constexpr std::size_t kFirstEntryField = 24;
constexpr std::size_t kEntriesUsedField = 28;
constexpr std::size_t kEntriesAllocatedField = 32;
constexpr std::size_t kEntriesBase = 24;
constexpr std::size_t kReferenceField = 0;
constexpr std::size_t kReferenceHighField = 4;  // record numbers past 32 bits: none read here
constexpr std::size_t kSequenceField = 6;
constexpr std::size_t kEntryLengthField = 8;
constexpr std::size_t kKeyLengthField = 10;
constexpr std::size_t kKeyOffset = 16;
constexpr std::size_t kParentReferenceInKey = 0;
constexpr std::size_t kFileSizeInKey = 48;
constexpr std::size_t kFileFlagsInKey = 56;
constexpr std::size_t kNameLengthInKey = 64;
constexpr std::size_t kNameInKey = 66;
constexpr std::size_t kNameUnitBytes = 2;
constexpr std::uint16_t kMinEntryBytes = 16;
// Entries start and end on 8-byte steps; one pointing down the tree ends in an 8-byte VCN.
constexpr std::size_t kEntryAlignment = 8;
constexpr std::size_t kSubnodeVcnBytes = 8;
constexpr unsigned kSequenceShift = 48;

std::size_t AlignUp(std::size_t offset) {
    return (offset + kEntryAlignment - 1) / kEntryAlignment * kEntryAlignment;
}

// The entry's bytes up to the block's size; the block's slice the walks read.
ByteSpan WalkedBytes(ByteSpan block, const IndexBlockHeader& header) {
    return block.first(
        static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), header.BlockBytes())));
}

// The entry in `entryBytes` (its whole length) when its key holds a file name.
std::optional<IndexEntry> ReadEntry(ByteSpan entryBytes, std::size_t offset) {
    const std::size_t keyLength = LoadLe16(entryBytes, kKeyLengthField).value_or(0);
    const ByteSpan key = SliceOrEmpty(entryBytes, kKeyOffset, keyLength);
    const auto name = key.empty() ? std::nullopt : ParseFileName(key);
    if (!name) {
        return std::nullopt;
    }
    IndexEntry entry;
    entry.offset = offset;
    entry.fileReference = LoadLe32(entryBytes, kReferenceField).value_or(0);
    entry.sequence = LoadLe16(entryBytes, kSequenceField).value_or(0);
    entry.length = static_cast<std::uint16_t>(entryBytes.size());
    entry.fileName = *name;
    entry.fileFlags = LoadLe32(key, kFileFlagsInKey).value_or(0);
    entry.fileSize = LoadLe64(key, kFileSizeInKey).value_or(0);
    return entry;
}

std::uint64_t ReferenceOf(IndexOwner owner) {
    return std::uint64_t{owner.record} | (std::uint64_t{owner.sequence} << kSequenceShift);
}

// The length of a whole entry of `owner` at `offset`; 0 when the bytes there are none.
std::size_t PlausibleSlackEntryLength(ByteSpan walked, std::size_t offset, IndexOwner owner) {
    const auto length = LoadLe16(walked, offset + kEntryLengthField);
    const auto keyLength = LoadLe16(walked, offset + kKeyLengthField);
    const auto nameLength = LoadLe8(walked, offset + kKeyOffset + kNameLengthInKey);
    if (!length || !keyLength || !nameLength || *nameLength == 0 ||
        *length % kEntryAlignment != 0 || *length > walked.size() - offset) {
        return 0;
    }
    // The key is the file name and nothing more; the entry ends at the key, padded, or after
    // a VCN.
    const std::size_t keyEnd = kKeyOffset + *keyLength;
    if (*keyLength != kNameInKey + kNameUnitBytes * *nameLength || keyEnd > *length ||
        *length > AlignUp(keyEnd) + kSubnodeVcnBytes) {
        return 0;
    }
    const ByteSpan entryBytes = walked.subspan(offset, *length);
    if (LoadLe16(entryBytes, kReferenceHighField) != 0 ||
        LoadLe64(entryBytes, kKeyOffset + kParentReferenceInKey) != ReferenceOf(owner)) {
        return 0;
    }
    return *length;
}

// The length, padded, of a file-name key of `owner` at `offset` whose entry header is gone; 0
// when the bytes there are none.
std::size_t PlausibleLostHeaderKeyLength(ByteSpan walked, std::size_t offset, IndexOwner owner) {
    const auto nameLength = LoadLe8(walked, offset + kNameLengthInKey);
    if (!nameLength || *nameLength == 0 ||
        LoadLe64(walked, offset + kParentReferenceInKey) != ReferenceOf(owner)) {
        return 0;
    }
    const std::size_t keyLength = kNameInKey + kNameUnitBytes * *nameLength;
    return keyLength <= walked.size() - offset ? AlignUp(keyLength) : 0;
}

// The entry of a key whose header is gone, its length cut at the block's end.
std::optional<IndexEntry> ReadLostHeaderKey(ByteSpan walked, std::size_t offset,
                                            std::size_t length) {
    const ByteSpan key = walked.subspan(offset, std::min(length, walked.size() - offset));
    const auto name = ParseFileName(key);
    if (!name) {
        return std::nullopt;
    }
    IndexEntry entry;
    entry.offset = offset;
    entry.length = static_cast<std::uint16_t>(key.size());
    entry.fileName = *name;
    entry.fileFlags = LoadLe32(key, kFileFlagsInKey).value_or(0);
    entry.fileSize = LoadLe64(key, kFileSizeInKey).value_or(0);
    entry.headerLost = true;
    return entry;
}

}  // namespace

std::optional<IndexBlockHeader> ParseIndexBlockHeader(ByteSpan block) {
    if (block.size() < kIndexSignature.size() ||
        !std::equal(kIndexSignature.begin(), kIndexSignature.end(), block.begin())) {
        return std::nullopt;
    }
    const auto vcn = LoadLe32(block, kVcnField);
    const auto firstEntry = LoadLe32(block, kFirstEntryField);
    const auto used = LoadLe32(block, kEntriesUsedField);
    const auto allocated = LoadLe32(block, kEntriesAllocatedField);
    if (!vcn || !firstEntry || !used || !allocated) {
        return std::nullopt;
    }
    return IndexBlockHeader{*vcn, *firstEntry, *used, *allocated};
}

std::size_t WalkIndexEntries(ByteSpan block, const std::function<bool(const IndexEntry&)>& visit) {
    const auto header = ParseIndexBlockHeader(block);
    if (!header) {
        return 0;
    }
    const ByteSpan walked = WalkedBytes(block, *header);
    std::size_t offset = kEntriesBase + header->firstEntryOffset;
    std::size_t visited = 0;
    std::size_t steps = 0;
    while (steps < kMaxIndexEntries && offset < walked.size()) {
        ++steps;
        const auto length = LoadLe16(walked, offset + kEntryLengthField);
        if (!length || *length < kMinEntryBytes || *length > walked.size() - offset) {
            break;
        }
        if (const auto entry = ReadEntry(walked.subspan(offset, *length), offset)) {
            ++visited;
            if (!visit(*entry)) {
                break;
            }
        }
        offset += *length;
    }
    return visited;
}

std::size_t WalkIndexSlack(ByteSpan block, IndexOwner owner,
                           const std::function<void(const IndexEntry&)>& visit) {
    const auto header = ParseIndexBlockHeader(block);
    if (!header) {
        return 0;
    }
    const ByteSpan walked = WalkedBytes(block, *header);
    // A used size short of the first entry is damage: the walk then reads the live entries too.
    const std::uint64_t used = std::max(header->entriesUsed, header->firstEntryOffset);
    std::size_t offset = AlignUp(
        static_cast<std::size_t>(std::min<std::uint64_t>(kEntriesBase + used, walked.size())));
    std::size_t visited = 0;
    // Every step moves at least 8 bytes on, so the block's size bounds the walk.
    while (offset < walked.size() && visited < kMaxIndexEntries) {
        std::optional<IndexEntry> entry;
        std::size_t length = PlausibleSlackEntryLength(walked, offset, owner);
        if (length != 0) {
            entry = ReadEntry(walked.subspan(offset, length), offset);
        } else if ((length = PlausibleLostHeaderKeyLength(walked, offset, owner)) != 0) {
            entry = ReadLostHeaderKey(walked, offset, length);
        }
        if (!entry) {
            offset += kEntryAlignment;
            continue;
        }
        ++visited;
        visit(*entry);
        offset += length;
    }
    return visited;
}

}  // namespace lumarest

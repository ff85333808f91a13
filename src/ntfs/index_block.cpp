#include "ntfs/index_block.h"

#include <algorithm>
#include <array>

namespace lumarest {

namespace {

constexpr std::array<std::uint8_t, 4> kIndexSignature{'I', 'N', 'D', 'X'};
constexpr std::size_t kVcnField = 16;
constexpr std::size_t kFirstEntryField = 24;
constexpr std::size_t kEntriesAllocatedField = 32;
constexpr std::size_t kEntriesBase = 24;
constexpr std::size_t kReferenceField = 0;
constexpr std::size_t kEntryLengthField = 8;
constexpr std::size_t kKeyLengthField = 10;
constexpr std::size_t kKeyOffset = 16;
constexpr std::size_t kFileFlagsInKey = 56;
constexpr std::uint16_t kMinEntryBytes = 16;

}  // namespace

std::optional<IndexBlockHeader> ParseIndexBlockHeader(ByteSpan block) {
    if (block.size() < kIndexSignature.size() ||
        !std::equal(kIndexSignature.begin(), kIndexSignature.end(), block.begin())) {
        return std::nullopt;
    }
    const auto vcn = LoadLe32(block, kVcnField);
    const auto firstEntry = LoadLe32(block, kFirstEntryField);
    const auto allocated = LoadLe32(block, kEntriesAllocatedField);
    if (!vcn || !firstEntry || !allocated) {
        return std::nullopt;
    }
    return IndexBlockHeader{*vcn, *firstEntry, *allocated};
}

std::size_t WalkIndexEntries(ByteSpan block, const std::function<bool(const IndexEntry&)>& visit) {
    const auto header = ParseIndexBlockHeader(block);
    if (!header) {
        return 0;
    }
    const ByteSpan walked = block.first(
        static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), header->BlockBytes())));
    std::size_t offset = kEntriesBase + header->firstEntryOffset;
    std::size_t visited = 0;
    std::size_t steps = 0;
    while (steps < kMaxIndexEntries && offset < walked.size()) {
        ++steps;
        const auto length = LoadLe16(walked, offset + kEntryLengthField);
        if (!length || *length < kMinEntryBytes || *length > walked.size() - offset) {
            break;
        }
        const ByteSpan entryBytes = walked.subspan(offset, *length);
        const std::size_t keyLength = *LoadLe16(entryBytes, kKeyLengthField);
        const ByteSpan key = SliceOrEmpty(entryBytes, kKeyOffset, keyLength);
        if (const auto name = key.empty() ? std::nullopt : ParseFileName(key)) {
            IndexEntry entry;
            entry.offset = offset;
            entry.fileReference = *LoadLe32(entryBytes, kReferenceField);
            entry.length = *length;
            entry.fileName = *name;
            entry.fileFlags = LoadLe32(key, kFileFlagsInKey).value_or(0);
            ++visited;
            if (!visit(entry)) {
                break;
            }
        }
        offset += *length;
    }
    return visited;
}

}  // namespace lumarest

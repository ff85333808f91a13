// Recognising exFAT directory contents from raw entries, without a layout.

#include "exfat/exfat_directory_probe.h"

#include <algorithm>

namespace lumarest {
namespace {

constexpr std::uint8_t kInUseBit = 0x80;
constexpr std::uint8_t kBitmapEntry = 0x81;
constexpr std::uint8_t kUpcaseEntry = 0x82;
constexpr std::uint8_t kLabelEntry = 0x83;
constexpr std::uint8_t kGuidEntry = 0xA0;

constexpr std::size_t kBitmapFlagsOffset = 1;
constexpr std::size_t kBitmapReservedStart = 2;
constexpr std::size_t kUpcaseReserved1Start = 1;
constexpr std::size_t kUpcaseReserved1End = 4;
constexpr std::size_t kUpcaseReserved2Start = 8;
constexpr std::size_t kLabelLengthOffset = 1;
constexpr std::size_t kFirstClusterOffset = 20;
constexpr std::size_t kDataLengthOffset = 24;

// A File entry and at most 18 secondaries.
constexpr std::size_t kLargestSetBytes = 19 * kExFatEntrySize;
// Bit 0 of a bitmap entry's flags marks the second FAT's bitmap (TexFAT); the first is wanted.
constexpr std::uint8_t kSecondBitmapFlag = 0x01;
constexpr std::uint32_t kFirstHeapCluster = 2;
constexpr std::uint32_t kMaxLabelUnits = 11;
// A bitmap for the most clusters a volume has, and a whole up-case table of 65536 units.
constexpr std::uint64_t kMaxBitmapBytes = (0xFFFFFFF5ull + 7) / 8;
constexpr std::uint64_t kMaxUpcaseBytes = 65536 * 2;
// A root lists at most this many folders for the inference: plenty to agree on a layout.
constexpr std::size_t kMaxRootFolders = 64;

// The standard up-case table maps 0x00..0x60 to themselves, 'a'..'z' to 'A'..'Z', then
// 0x7B..0x7F to themselves again: 128 units that random data will not spell.
constexpr std::uint16_t kLowerA = 0x61;
constexpr std::uint16_t kLowerZ = 0x7A;
constexpr std::uint16_t kCaseDistance = 0x20;
constexpr std::uint16_t kUpcaseUnitsChecked = 0x80;

std::uint8_t TypeAt(ByteSpan bytes, std::size_t entry) {
    return LoadLe8(bytes, entry * kExFatEntrySize).value_or(0);
}

ByteSpan EntryAt(ByteSpan bytes, std::size_t entry) {
    return SliceOrEmpty(bytes, entry * kExFatEntrySize, kExFatEntrySize);
}

// The sets of `bytes`, each placed by its byte offset.
std::vector<ExFatEntrySet> SetsOf(ByteSpan bytes) {
    return ParseExFatEntrySets(bytes, [](std::size_t offset) { return offset; });
}

bool IsSystemEntry(std::uint8_t type) {
    const std::uint8_t live = type | kInUseBit;
    return type == kBitmapEntry || type == kUpcaseEntry || live == kLabelEntry ||
           live == kGuidEntry;
}

bool ZeroAt(ByteSpan entry, std::size_t from, std::size_t to) {
    const ByteSpan field = SliceOrEmpty(entry, from, to - from);
    return !field.empty() && std::all_of(field.begin(), field.end(), [](auto b) { return b == 0; });
}

// A system entry whose reserved bytes are zero and whose lengths are possible: garbage that
// happens to start with a system entry's type rarely passes.
bool SoundSystemEntry(ByteSpan entry) {
    const std::uint64_t length = LoadLe64(entry, kDataLengthOffset).value_or(0);
    switch (entry[0]) {
        case kBitmapEntry:
            return ZeroAt(entry, kBitmapReservedStart, kFirstClusterOffset) &&
                   length <= kMaxBitmapBytes;
        case kUpcaseEntry:
            return ZeroAt(entry, kUpcaseReserved1Start, kUpcaseReserved1End) &&
                   ZeroAt(entry, kUpcaseReserved2Start, kFirstClusterOffset) &&
                   length <= kMaxUpcaseBytes;
        default:
            return (entry[0] | kInUseBit) != kLabelEntry ||
                   LoadLe8(entry, kLabelLengthOffset).value_or(0) <= kMaxLabelUnits;
    }
}

}  // namespace

bool StartsWithEntrySet(ByteSpan bytes) {
    const std::vector<ExFatEntrySet> sets =
        SetsOf(bytes.first(std::min(bytes.size(), kLargestSetBytes)));
    return !sets.empty() && sets.front().entrySector == 0 && sets.front().checksumGood;
}

std::optional<ExFatRootEntries> ReadRootEntries(ByteSpan bytes) {
    ExFatRootEntries root;
    const std::size_t entries = bytes.size() / kExFatEntrySize;
    // The system entries lead the root; its file sets follow them.
    std::size_t e = 0;
    for (; e < entries && IsSystemEntry(TypeAt(bytes, e)); ++e) {
        const ByteSpan entry = EntryAt(bytes, e);
        if (!SoundSystemEntry(entry)) {
            return std::nullopt;
        }
        const std::uint32_t cluster = LoadLe32(entry, kFirstClusterOffset).value_or(0);
        const std::uint64_t length = LoadLe64(entry, kDataLengthOffset).value_or(0);
        if (entry[0] == kBitmapEntry && root.bitmapCluster == 0 &&
            (entry[kBitmapFlagsOffset] & kSecondBitmapFlag) == 0) {
            root.bitmapCluster = cluster;
            root.bitmapBytes = length;
        } else if (entry[0] == kUpcaseEntry && root.upcaseCluster == 0) {
            root.upcaseCluster = cluster;
            root.upcaseBytes = length;
        }
    }
    const bool named = root.bitmapCluster >= kFirstHeapCluster &&
                       root.upcaseCluster >= kFirstHeapCluster && root.bitmapBytes != 0 &&
                       root.upcaseBytes != 0 && root.bitmapCluster != root.upcaseCluster;
    if (!named) {
        return std::nullopt;
    }
    for (const ExFatEntrySet& set : SetsOf(bytes.subspan(e * kExFatEntrySize))) {
        if (set.folder && set.checksumGood && set.firstCluster >= kFirstHeapCluster &&
            root.folderClusters.size() < kMaxRootFolders) {
            root.folderClusters.push_back(set.firstCluster);
        }
    }
    return root;
}

bool IsUpcaseTableStart(ByteSpan sector) {
    for (std::uint16_t unit = 0; unit < kUpcaseUnitsChecked; ++unit) {
        const bool lower = unit >= kLowerA && unit <= kLowerZ;
        const auto expected = static_cast<std::uint16_t>(lower ? unit - kCaseDistance : unit);
        if (LoadLe16(sector, std::size_t{unit} * 2) != expected) {
            return false;
        }
    }
    return true;
}

}  // namespace lumarest

#include "fat/directory_fragment.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "core/entry_rows.h"
#include "core/text_table.h"
#include "core/volume_params.h"
#include "fat/directory_entry.h"
#include "fat/directory_scan.h"
#include "fat/fat_chain.h"

namespace lumarest {
namespace {

constexpr std::uint32_t kFreeCluster = 0;
constexpr std::size_t kShortNameBytes = 11;
constexpr std::size_t kAttributeOffset = 11;
constexpr std::size_t kTimeOffset = 22;
constexpr std::size_t kDateOffset = 24;
constexpr std::size_t kCaseFlagsOffset = 12;
// Only "name in lower case" (0x08) and "extension in lower case" (0x10) are ever set.
constexpr std::uint8_t kCaseFlagBits = 0x18;
constexpr std::size_t kLongNameTypeOffset = 12;
constexpr std::size_t kLongNameClusterOffset = 26;
constexpr std::uint8_t kReservedAttributeBits = 0xC0;
constexpr std::uint8_t kFirstNameByte = 0x20;
constexpr std::uint8_t kEscapedDeletedMark = 0x05;
constexpr std::uint8_t kLongNameOrderMask = 0x1F;
// 255 characters at 13 an entry.
constexpr std::uint8_t kMostLongNameEntries = 20;
constexpr std::string_view kForbiddenNameBytes = "\"*+,./:;<=>?[\\]|";
constexpr int kLastMonth = 12;
constexpr int kLastDay = 31;
constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;
// Seconds are kept in two-second steps.
constexpr int kLastSecondPair = 29;

enum class EntryKind { Short, LongName, Malformed };

bool IsRealDate(std::uint16_t date) {
    const int month = (date >> 5) & 0x0F;
    const int day = date & 0x1F;
    return month >= 1 && month <= kLastMonth && day >= 1 && day <= kLastDay;
}

bool IsRealTime(std::uint16_t time) {
    return (time >> 11) <= kLastHour && ((time >> 5) & 0x3F) <= kLastMinute &&
           (time & 0x1F) <= kLastSecondPair;
}

bool HasPrintableName(ByteSpan entry) {
    if (LoadLe8(entry, 0) == ' ') {
        return false;
    }
    for (std::size_t i = 0; i < kShortNameBytes; ++i) {
        const std::uint8_t byte = LoadLe8(entry, i).value_or(0);
        // Short names are stored in upper case; lower case comes from the case flags.
        if ((byte < kFirstNameByte && !(i == 0 && byte == kEscapedDeletedMark)) ||
            (byte >= 'a' && byte <= 'z') ||
            kForbiddenNameBytes.find(static_cast<char>(byte)) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool IsSaneLongNameEntry(ByteSpan entry) {
    const std::uint8_t order = LoadLe8(entry, 0).value_or(0);
    const std::uint8_t index = order & kLongNameOrderMask;
    return (order == kDeletedEntryMark || (index >= 1 && index <= kMostLongNameEntries)) &&
           LoadLe8(entry, kLongNameTypeOffset) == 0 && LoadLe16(entry, kLongNameClusterOffset) == 0;
}

EntryKind KindOf(ByteSpan entry, std::string_view fsName, std::uint64_t clusterLimit) {
    if (IsLongNameEntry(entry)) {
        return IsSaneLongNameEntry(entry) ? EntryKind::LongName : EntryKind::Malformed;
    }
    const std::uint8_t attr = LoadLe8(entry, kAttributeOffset).value_or(0xFF);
    const std::uint32_t cluster = EntryFirstCluster(entry, fsName);
    const bool clusterInside =
        cluster == 0 || (cluster >= kFirstDataCluster && cluster < clusterLimit);
    const std::uint8_t caseFlags = LoadLe8(entry, kCaseFlagsOffset).value_or(0xFF);
    const bool wellFormed = (attr & kReservedAttributeBits) == 0 &&
                            (caseFlags & ~kCaseFlagBits) == 0 && HasPrintableName(entry) &&
                            clusterInside && IsRealDate(LoadLe16(entry, kDateOffset).value_or(0)) &&
                            IsRealTime(LoadLe16(entry, kTimeOffset).value_or(0));
    return wellFormed ? EntryKind::Short : EntryKind::Malformed;
}

}  // namespace

bool LooksLikeDirectoryFragment(ByteSpan sector, std::string_view fsName,
                                std::uint64_t clusterLimit) {
    std::size_t shortEntries = 0;
    for (std::size_t offset = 0; offset + kDirectoryEntrySize <= sector.size();
         offset += kDirectoryEntrySize) {
        const ByteSpan entry = EntryAt(sector, offset);
        if (IsEndOfDirectory(entry)) {
            break;
        }
        const EntryKind kind = KindOf(entry, fsName, clusterLimit);
        if (kind == EntryKind::Malformed) {
            return false;
        }
        shortEntries += kind == EntryKind::Short ? 1 : 0;
    }
    return shortEntries >= kFragmentEntries;
}

namespace {

void Reach(std::unordered_set<std::uint32_t>& reached, const std::vector<std::uint32_t>& clusters) {
    reached.insert(clusters.begin(), clusters.end());
}

// Every cluster the root and the folder rows of `table` read as their directories.
std::unordered_set<std::uint32_t> ReachedClusters(const TextTable& table,
                                                  const ActiveVolume& volume, SectorSource& disk,
                                                  FatTable& fat) {
    std::unordered_set<std::uint32_t> reached;
    if (!IsFat16(volume) && volume.rootStart >= kFirstDataCluster) {
        Reach(reached, DirectoryClusters(volume, disk, fat, RootCluster(volume)));
    }
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        const std::uint32_t self = table.CellU32(row, kEntrySelf);
        if (self >= kFirstDataCluster && self != kOrphanFolderId) {
            Reach(reached, DirectoryClusters(volume, disk, fat, self));
        }
    }
    return reached;
}

RecoveredEntry FragmentRow(const ActiveVolume& volume, FatTable& fat, std::uint32_t cluster,
                           std::size_t row) {
    RecoveredEntry entry;
    entry.name = kProvisionalFolderName + std::to_string(row);
    entry.sector = ClusterToSector(volume, cluster, 0);
    entry.self = cluster;
    entry.parent = kOrphanFolderId;
    entry.attr = kDirectoryAttribute;
    // Its directory's clusters were freed.
    entry.deleted = fat.Entry(cluster) == kFreeCluster;
    return entry;
}

}  // namespace

void AppendUnreachedFragments(TextTable& table, const ActiveVolume& volume, SectorSource& disk,
                              const std::vector<std::uint32_t>& fragments) {
    if (fragments.empty() || volume.sectorsPerCluster == 0) {
        return;
    }
    FatTable fat(volume, disk);
    std::unordered_set<std::uint32_t> reached = ReachedClusters(table, volume, disk, fat);
    for (const std::uint32_t cluster : fragments) {
        if (reached.count(cluster) != 0) {
            continue;
        }
        AppendEntryRow(table, FragmentRow(volume, fat, cluster, table.RowCount()));
        Reach(reached, DirectoryClusters(volume, disk, fat, cluster));
    }
}

}  // namespace lumarest

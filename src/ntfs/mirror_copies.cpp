#include "ntfs/mirror_copies.h"

#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/text_table.h"
#include "ntfs/ntfs_layout.h"
#include "ntfs/ntfs_work_tables.h"

namespace lumarest {
namespace {

// The mirror holds the records of the master file table itself, its mirror, the log and the
// volume.
constexpr std::uint32_t kMirroredRecords = 4;

bool NumberedAs(const TextTable& records, std::size_t row, std::uint32_t number) {
    const std::string_view self = records.CellView(row, kRecordSelf);
    return !self.empty() && records.CellU32(row, kRecordSelf) == number;
}

}  // namespace

void DropMirrorCopies(TextTable& records, std::uint64_t examinedEnd) {
    std::unordered_map<std::uint64_t, std::size_t> rowAt;
    for (std::size_t row = 0; row < records.RowCount(); ++row) {
        rowAt.emplace(static_cast<std::uint64_t>(records.CellNumber(row, kRecordSector)), row);
    }
    const auto numberedRowAt = [&](std::uint64_t sector, std::uint32_t number) {
        const auto found = rowAt.find(sector);
        return found != rowAt.end() && NumberedAs(records, found->second, number)
                   ? found->second
                   : records.RowCount();
    };
    std::vector<bool> copy(records.RowCount(), false);
    bool any = false;
    for (std::size_t row = 0; row < records.RowCount(); ++row) {
        if (!NumberedAs(records, row, 0)) {
            continue;
        }
        const auto first = static_cast<std::uint64_t>(records.CellNumber(row, kRecordSector));
        const std::uint32_t slot = UsableRecordSectors(records.CellU32(row, kRecordSectors));
        const std::uint64_t next = first + std::uint64_t{kMirroredRecords} * slot;
        if (next + slot > examinedEnd ||
            numberedRowAt(next, kMirroredRecords) != records.RowCount()) {
            continue;
        }
        for (std::uint32_t number = 0; number < kMirroredRecords; ++number) {
            const std::size_t mirrored =
                numberedRowAt(first + std::uint64_t{number} * slot, number);
            if (mirrored != records.RowCount()) {
                copy[mirrored] = true;
                any = true;
            }
        }
    }
    if (!any) {
        return;
    }
    TextTable kept(records.ColumnNames());
    for (std::size_t row = 0; row < records.RowCount(); ++row) {
        if (!copy[row]) {
            kept.AppendRow(records.Row(row));
        }
    }
    records = std::move(kept);
}

}  // namespace lumarest

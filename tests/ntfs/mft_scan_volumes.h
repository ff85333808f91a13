#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "core/entry_rows.h"
#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/mft_scan.h"
#include "ntfs/ntfs_test_volumes.h"
#include "support/fls_listing.h"
#include "support/made_images.h"

namespace lumarest::testing {

// Scans the volume whose boot sector is at `firstSector` the way a Standard search does: the
// layout copied into the run's working volume, the run table built, then the scan.
inline MftRunTable ScanVolume(RecoveryRun& run, SectorSource& disk, std::uint64_t firstSector) {
    const NtfsLayout layout = LayoutFromBootSector(disk, firstSector);
    SetPartitionFileSystem(run.selectedPartition, "NTFS");
    SetVolumeFileSystem(run.activeVolume, "NTFS");
    run.activeVolume.cluster0Start = static_cast<std::uint32_t>(layout.cluster0Start);
    run.activeVolume.sectorsPerCluster = layout.sectorsPerCluster;
    run.activeVolume.mftSector = static_cast<std::uint32_t>(layout.mftSector);
    MftRunTable table;
    EXPECT_TRUE(BuildMftRunTable(disk, layout, table));
    NullReporter reporter;
    ScanMft(run, disk, table, reporter, run.scanStop.get_token());
    return table;
}

struct ScannedRow {
    std::string name;
    std::uint32_t parent = 0;
    bool folder = false;
    bool deleted = false;
    std::string size;
};

// The scan's rows by record number, the orphan folder left out. A folder has one name; a file
// with several links has a row per name, and the first stands for it here.
inline std::map<std::uint32_t, ScannedRow> RowsBySelf(const RecoveryRun& run) {
    std::map<std::uint32_t, ScannedRow> rows;
    for (const TextTable* table : {&run.folderTable, &run.fileTable}) {
        for (std::size_t row = 0; row < table->RowCount(); ++row) {
            const std::uint32_t self = table->CellU32(row, kEntrySelf);
            if (self == kOrphanFolderId) {
                continue;
            }
            const bool folder = table == &run.folderTable;
            if (folder) {
                EXPECT_EQ(rows.count(self), 0u) << "folder " << self << " listed twice";
            }
            rows.emplace(self,
                         ScannedRow{table->Cell(row, kEntryName), table->CellU32(row, kEntryParent),
                                    table->Cell(row, kEntryType) == kFolderType,
                                    IsDeletedRow(*table, row), table->Cell(row, kEntrySize)});
        }
    }
    return rows;
}

// "Photos/2009/snow.jpg" from the rows' parent numbers; "?" marks a parent not listed.
inline std::string RowPath(const std::map<std::uint32_t, ScannedRow>& rows, std::uint32_t self) {
    std::string path;
    for (int depth = 0; depth < 64 && self != kNtfsRootId; ++depth) {
        const auto found = rows.find(self);
        if (found == rows.end()) {
            return "?/" + path;
        }
        path = path.empty() ? found->second.name : found->second.name + "/" + path;
        self = found->second.parent;
    }
    return path;
}

// System files and whatever lies inside them stay out of the comparisons.
inline bool UserPath(const std::string& path) {
    return path.rfind('$', 0) == std::string::npos && path.find("/$") == std::string::npos &&
           path.find(':') == std::string::npos && path.rfind("?/", 0) == std::string::npos;
}

// "89<TAB>deleted<TAB>file<TAB>Old Trip/day1.jpg<TAB>8" per user entry; sizes of folders
// are left out, and so are all sizes when `withSizes` is false.
inline std::string EntryLine(std::uint32_t number, bool deleted, bool folder,
                             const std::string& path, const std::string& size, bool withSizes) {
    return std::to_string(number) + "\t" + (deleted ? "deleted" : "live") + "\t" +
           (folder ? "dir" : "file") + "\t" + path + "\t" +
           (withSizes && !folder ? size : std::string());
}

// Every name a row gives, so each link of a file is a line of its own.
inline std::set<std::string> ScannedLines(const RecoveryRun& run, bool withSizes) {
    const auto rows = RowsBySelf(run);
    std::set<std::string> lines;
    for (const TextTable* table : {&run.folderTable, &run.fileTable}) {
        for (std::size_t row = 0; row < table->RowCount(); ++row) {
            const std::uint32_t self = table->CellU32(row, kEntrySelf);
            const std::uint32_t parent = table->CellU32(row, kEntryParent);
            // fls gives a name without its record as number 0, which FlsLines leaves out.
            if (self == kOrphanFolderId || self == kNtfsRootId || IsNameOnlyRow(*table, row)) {
                continue;
            }
            const std::string folder = parent == kNtfsRootId ? "" : RowPath(rows, parent) + "/";
            const std::string path = folder + table->Cell(row, kEntryName);
            if (UserPath(path)) {
                lines.insert(EntryLine(self, IsDeletedRow(*table, row),
                                       table->Cell(row, kEntryType) == kFolderType, path,
                                       table->Cell(row, kEntrySize), withSizes));
            }
        }
    }
    return lines;
}

// The same lines from an fls listing (-r -p, with -l when `withSizes`): entries without a
// record (number 0), attribute streams and orphan files left out.
inline std::set<std::string> FlsLines(const std::string& listing, bool withSizes) {
    constexpr std::size_t kSizeField = 4;  // after the four times
    std::set<std::string> lines;
    for (const FlsEntry& entry : ParseFlsListing(listing)) {
        if (entry.reallocated || entry.inode == 0 || !UserPath(entry.path)) {
            continue;
        }
        const std::string size =
            entry.details.size() > kSizeField ? entry.details[kSizeField] : std::string();
        lines.insert(EntryLine(static_cast<std::uint32_t>(entry.inode), entry.deleted,
                               entry.kind == 'd', entry.path, size, withSizes));
    }
    return lines;
}

}  // namespace lumarest::testing

#include "fat/directory_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/entry_rows.h"
#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "core/table_columns.h"
#include "fat/name_children.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

using testing::RecordingReporter;

// A disk whose clusters start at cluster × spc (cluster 0 at sector 0), holding directories.
class ScanDisk {
  public:
    ScanDisk(const std::string& fsName, std::uint32_t spc, std::uint64_t sectors)
        : bytes_(sectors * kSectorSize, 0) {
        SetPartitionFileSystem(run.selectedPartition, fsName);
        run.selectedPartition.endSector = static_cast<std::int64_t>(sectors - 1);
        run.volumeParams.sectorsPerCluster = spc;
        run.volumeParams.cluster0Start = 0;
    }

    // "." naming `dotCluster` and ".." naming `parent` at the start of cluster `cluster`.
    void PutDirectory(std::uint32_t cluster, std::uint32_t dotCluster, std::uint32_t parent) {
        std::uint8_t* dir =
            &bytes_[std::uint64_t{cluster} * run.volumeParams.sectorsPerCluster * kSectorSize];
        PutEntry(dir, ".          ", dotCluster);
        PutEntry(dir + 32, "..         ", parent);
        dir[11] = 0x10;
        dir[22] = 0x34;  // time 0x1234
        dir[23] = 0x12;
        dir[24] = 0x21;  // date 0x5621
        dir[25] = 0x56;
        dir[28] = 7;  // size 7
    }

    std::vector<std::uint32_t> ScanSelves(RecordingReporter& reporter) {
        MemoryDisk disk(bytes_);
        for (const std::uint64_t sector : unreadable) {
            disk.MarkUnreadable(sector);
        }
        result = ScanLostDirectories(run, disk, reporter, run.scanStop.get_token());
        std::vector<std::uint32_t> selves;
        for (std::size_t row = 0; row < run.folderTable.RowCount(); ++row) {
            selves.push_back(run.folderTable.CellU32(row, kEntrySelf));
        }
        return selves;
    }

    RecoveryRun run;
    std::vector<std::uint64_t> unreadable;
    int result = -1;

  private:
    static void PutEntry(std::uint8_t* entry, const char* name11, std::uint32_t cluster) {
        for (int i = 0; i < 11; ++i) {
            entry[i] = static_cast<std::uint8_t>(name11[i]);
        }
        entry[20] = static_cast<std::uint8_t>(cluster >> 16);
        entry[21] = static_cast<std::uint8_t>(cluster >> 24);
        entry[26] = static_cast<std::uint8_t>(cluster);
        entry[27] = static_cast<std::uint8_t>(cluster >> 8);
    }

    std::vector<std::uint8_t> bytes_;
};

TEST(LostDirectoryScanTest, TakesClustersWhoseDotEntryNamesThemWithTheirRowFields) {
    ScanDisk disk("FAT32", 1, 70100);
    disk.PutDirectory(5, 5, 0);
    disk.PutDirectory(9, 10, 5);         // "." names another cluster: not a directory start
    disk.PutDirectory(70000, 70000, 5);  // high word 1, low word 4464
    RecordingReporter reporter;
    EXPECT_EQ(disk.ScanSelves(reporter), (std::vector<std::uint32_t>{kOrphanFolderId, 5, 70000}));
    const TextTable& table = disk.run.folderTable;
    EXPECT_EQ(table.Row(0), (std::vector<std::string>{kOrphanFolderName, "0", "268435455", "0", "0",
                                                      "0", "0", "16", "0", "FOLDER", ""}));
    EXPECT_EQ(table.Row(2), (std::vector<std::string>{"Dir2", "70000", "70000", "5", "22049",
                                                      "4660", "7", "16", "0", "FOLDER", ""}));
    EXPECT_EQ(reporter.Calls().empty(), false);
}

TEST(LostDirectoryScanTest, Fat16ReadsOnlyTheLowWordAndOtherFileSystemsTakeNothing) {
    ScanDisk fat16("FAT16", 4, 4000);
    fat16.PutDirectory(3, 3, 0);
    fat16.PutDirectory(600, 600 + 0x10000, 3);  // a high word FAT16 does not read
    RecordingReporter reporter;
    EXPECT_EQ(fat16.ScanSelves(reporter), (std::vector<std::uint32_t>{kOrphanFolderId, 3, 600}));

    ScanDisk ntfs("NTFS", 4, 4000);
    ntfs.PutDirectory(3, 3, 0);
    EXPECT_EQ(ntfs.ScanSelves(reporter), (std::vector<std::uint32_t>{kOrphanFolderId}));
}

TEST(LostDirectoryScanTest, AnUnreadableSectorCostsOnlyItselfNotItsChunk) {
    ScanDisk disk("FAT16", 1, 2000);
    disk.PutDirectory(4, 4, 0);
    disk.PutDirectory(300, 300, 4);
    disk.PutDirectory(1200, 1200, 4);
    disk.unreadable = {100, 300};
    RecordingReporter reporter;
    EXPECT_EQ(disk.ScanSelves(reporter), (std::vector<std::uint32_t>{kOrphanFolderId, 4, 1200}));
}

TEST(LostDirectoryScanTest, ClusterSizesThatDoNotDivideAChunkStillFindFarDirectories) {
    ScanDisk disk("FAT16", 3, 4000);
    disk.PutDirectory(2, 2, 0);
    disk.PutDirectory(171, 171, 2);  // sector 513, just past the first chunk
    disk.PutDirectory(900, 900, 171);
    RecordingReporter reporter;
    EXPECT_EQ(disk.ScanSelves(reporter),
              (std::vector<std::uint32_t>{kOrphanFolderId, 2, 171, 900}));

    ScanDisk huge("FAT32", 600, 6000);
    huge.PutDirectory(2, 2, 0);
    huge.PutDirectory(7, 7, 2);
    EXPECT_EQ(huge.ScanSelves(reporter), (std::vector<std::uint32_t>{kOrphanFolderId, 2, 7}));
}

TEST(LostDirectoryScanTest, StopsAtTheEndSectorOrWhenAsked) {
    ScanDisk disk("FAT32", 1, 3000);
    disk.PutDirectory(2, 2, 0);
    disk.PutDirectory(2500, 2500, 2);
    disk.run.selectedPartition.endSector = 2499;
    RecordingReporter reporter;
    EXPECT_EQ(disk.ScanSelves(reporter), (std::vector<std::uint32_t>{kOrphanFolderId, 2}));
    disk.run.scanStop.request_stop();
    EXPECT_EQ(disk.ScanSelves(reporter), (std::vector<std::uint32_t>{kOrphanFolderId}));
    EXPECT_EQ(disk.result, 1);
}

TEST(LostDirectoryScanTest, AVolumeWithoutSectorsPerClusterIsRefused) {
    ScanDisk disk("FAT32", 0, 100);
    RecordingReporter reporter;
    disk.ScanSelves(reporter);
    EXPECT_EQ(disk.result, 0);
    EXPECT_EQ(reporter.Messages().size(), 1u);
}

TEST(ReattachOrphansTest, FoldersWithoutAFoundParentGoUnderTheOrphanFolder) {
    TextTable table(EntryTableColumns());
    AppendOrphanFolderRow(table, kFatRootId);
    const auto folder = [&](std::uint32_t self, std::uint32_t parent) {
        RecoveredEntry entry;
        entry.self = self;
        entry.parent = parent;
        AppendEntryRow(table, entry);
    };
    folder(5, 0);
    folder(7, 5);
    folder(9, 42);   // parent never found
    folder(11, 9);   // child of the orphaned folder stays under it
    folder(13, 13);  // its own parent: a loop
    // Nine-digit clusters all sort alike in the table, yet are found by number.
    folder(150000001, 150000000);
    folder(200000000, 150000001);
    folder(150000000, 0);
    table.SortByColumn(kEntrySelf);
    RecordingReporter reporter;
    ReattachOrphans(table, reporter, ProgressBar::MainScan, kFatRootId, 0);
    std::map<std::uint32_t, std::uint32_t> parents;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        parents[table.CellU32(row, kEntrySelf)] = table.CellU32(row, kEntryParent);
    }
    EXPECT_EQ(parents, (std::map<std::uint32_t, std::uint32_t>{{5, 0},
                                                               {7, 5},
                                                               {9, kOrphanFolderId},
                                                               {11, 9},
                                                               {13, kOrphanFolderId},
                                                               {150000000, 0},
                                                               {150000001, 150000000},
                                                               {200000000, 150000001},
                                                               {kOrphanFolderId, 0}}));
    EXPECT_EQ(reporter.LastStatus(), "Searching Lost Directories 8/9");
}

TEST(ReattachOrphansTest, NtfsSearchesFromRowOneAndKeepsTheRoot) {
    TextTable table(EntryTableColumns());
    AppendOrphanFolderRow(table, kNtfsRootId);
    RecoveredEntry entry;
    entry.self = 40;
    entry.parent = 5;
    AppendEntryRow(table, entry);
    entry.self = 41;
    entry.parent = 268435455;  // the orphan row, searched from row 1 only
    AppendEntryRow(table, entry);
    RecordingReporter reporter;
    ReattachOrphans(table, reporter, ProgressBar::MainScan, kNtfsRootId, 1);
    EXPECT_EQ(table.CellU32(0, kEntryParent), kNtfsRootId);
    EXPECT_EQ(table.CellU32(1, kEntryParent), kNtfsRootId);
    EXPECT_EQ(table.CellU32(2, kEntryParent), kOrphanFolderId);
    EXPECT_FALSE(IsDeletedRow(table, 1));
}

TEST(FolderNodeTest, AddingAFolderAppendsANodeAndAnUncheckedClosedFolder) {
    RecoveryRun run;
    const TreeItem top = AddFolderNode(run, kNoItem, "disk", 1, 0, 0, 0, false);
    const TreeItem a = AddFolderNode(run, top, "A", 5, 22049, 4660, 0, false);
    const TreeItem b = AddFolderNode(run, top, "B", 5, 0, 0, 0, true);
    ASSERT_TRUE(run.folderTree);
    EXPECT_EQ(run.folderTree->Children(top), (std::vector<TreeItem>{a, b}));
    EXPECT_EQ(run.folderTree->Image(a), kClosedFolderImage);
    EXPECT_EQ(run.folderTree->CheckState(a), kUncheckedState);
    EXPECT_EQ(run.folderTree->CheckState(top), kUncheckedState);
    EXPECT_EQ(run.folderNodes.Count(), 3);
    EXPECT_EQ(run.folderNodes.FindChild(5, 0)->name, "A");  // the first in list order
    EXPECT_EQ(run.folderNodes.FindByItem(b)->deleted, true);
    EXPECT_EQ(run.folderNodes.FindByItem(a)->date, 22049);
    EXPECT_EQ(run.folderNodes.FindChild(5, 1), nullptr);
    run.folderNodes.Clear();
    EXPECT_EQ(run.folderNodes.FindByItem(a), nullptr);
}

}  // namespace
}  // namespace lumarest

namespace lumarest {
namespace {

TEST(NameRootFoldersTest, EachEntryNamesTheFirstRootRowOfItsClusterButNeverTheOrphanFolder) {
    // FAT32, one sector per cluster, cluster 0 at sector 8: the root (cluster 2) is sector 10.
    std::vector<std::uint8_t> bytes(16 * kSectorSize, 0);
    const auto put = [&](std::size_t slot, const char* name11, std::uint32_t cluster) {
        std::uint8_t* entry = &bytes[10 * kSectorSize + slot * 32];
        std::copy(name11, name11 + 11, entry);
        entry[11] = 0x10;
        entry[20] = static_cast<std::uint8_t>(cluster >> 16);
        entry[21] = static_cast<std::uint8_t>(cluster >> 24);
        entry[26] = static_cast<std::uint8_t>(cluster);
        entry[27] = static_cast<std::uint8_t>(cluster >> 8);
    };
    put(0, "PHOTOS     ", 5);
    put(1, "\xE5OCS       ", 6);
    put(2, "JUNK       ", kOrphanFolderId);
    put(3, "NESTED     ", 7);
    RecoveryRun run;
    run.activeVolume.sectorsPerCluster = 1;
    run.activeVolume.cluster0Start = 8;
    run.activeVolume.rootStart = 2;
    TextTable& table = run.folderTable;
    AppendOrphanFolderRow(table, kFatRootId);
    for (const auto& [self, parent] :
         std::vector<std::pair<std::uint32_t, std::uint32_t>>{{5, 0}, {5, 0}, {6, 0}, {7, 5}}) {
        RecoveredEntry entry;
        entry.name = "Dir" + std::to_string(table.RowCount());
        entry.self = self;
        entry.parent = parent;
        AppendEntryRow(table, entry);
    }
    MemoryDisk disk(bytes);
    NameRootFolders(run, disk, table, "FAT32");
    EXPECT_EQ(table.Cell(0, kEntryName), kOrphanFolderName);
    EXPECT_EQ(table.Cell(1, kEntryName), "PHOTOS");
    EXPECT_EQ(table.Cell(2, kEntryName), "Dir2");
    EXPECT_EQ(table.Cell(3, kEntryName), "_OCS");
    EXPECT_TRUE(IsDeletedRow(table, 3));
    EXPECT_EQ(table.Cell(4, kEntryName), "Dir4");  // not under the root
}

// The caption starts at the range's first sector, not at 0, so it shows the range searched.
TEST(LostDirectoryScanTest, SectorCaptionStartsAtTheRangeSearched) {
    ScanDisk disk("FAT32", 1, 2000);
    disk.run.selectedPartition.startSector = 500;
    disk.run.selectedPartition.endSector = 1499;
    RecordingReporter reporter;
    disk.ScanSelves(reporter);
    std::vector<std::string> captions;
    for (const std::string& call : reporter.Calls()) {
        if (call.starts_with("value 6: ")) {
            captions.push_back(call);
        }
    }
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.front(), "value 6: Sectors  500 of 1499");
}

}  // namespace
}  // namespace lumarest

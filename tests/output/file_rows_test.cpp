#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "core/table_columns.h"
#include "fat/fat_file_rows.h"
#include "ntfs/ntfs_file_rows.h"

namespace lumarest {
namespace {

using Cells = std::vector<std::string>;

// 5 March 2009 9:05:00 in DOS words and as an NTFS stamp.
constexpr std::uint16_t kMarch5th2009 = (29 << 9) | (3 << 5) | 5;
constexpr std::uint16_t kFiveAfterNine = (9 << 11) | (5 << 5);
constexpr const char* kMarch5th2009Stamp = "128807175000000000";

// One FileTable row as the MFT scan writes it.
void AddFileTableRow(RecoveryRun& run, const std::string& name, const std::string& sector,
                     const std::string& self, const std::string& parent, const std::string& date,
                     const std::string& size, const std::string& deleted = "") {
    run.fileTable.AppendRow(
        {name, sector, self, parent, date, "0", size, "0", "0", "FILE", deleted});
}

TEST(FileListRow, CellsFollowTheListColumns) {
    const FileListRow row{"a", "b", "c", "d", "e", "f", "g", "h"};
    EXPECT_EQ(row.Cells().size(), FileListColumns().size());
    RecoveryRun run;
    EXPECT_EQ(InsertFileListRow(run.fileList, 5, row), 1u);
    EXPECT_EQ(run.fileList.Row(0), row.Cells());
}

TEST(AddNtfsFileRows, ListsTheFolderFilesInTableOrderWithTheirKeys) {
    RecoveryRun run;
    AddFileTableRow(run, "photo.jpg", "2048", "40", "37", kMarch5th2009Stamp, "1234");
    AddFileTableRow(run, "other.txt", "2050", "41", "5", "0", "10");
    AddFileTableRow(run, "ARCHIVE.ZIP", "2052", "42", "37", "0", "99", "1");
    AddFileTableRow(run, "report.reg", "2054", "43", "037", "0", "7");
    // A parent that is not a number reads as 0 and so belongs to no folder but 0.
    AddFileTableRow(run, "stray.doc", "2056", "44", "x37", "0", "1");

    EXPECT_EQ(AddNtfsFileRows(run, 0, 37), 3u);
    ASSERT_EQ(run.fileList.RowCount(), 3u);
    EXPECT_EQ(run.fileList.Row(0), (Cells{"photo.jpg", "Image File", "1234", "05-MAR-2009",
                                          "09:05:00", "2048", "37", "40"}));
    // Deleted files are listed like the others; archives read "Winzip File" on NTFS.
    EXPECT_EQ(run.fileList.Row(1), (Cells{"ARCHIVE.ZIP", "Winzip File", "99", "01-JAN-1601",
                                          "00:00:00", "2052", "37", "42"}));
    EXPECT_EQ(run.fileList.Row(2), (Cells{"report.reg", "Registry file", "7", "01-JAN-1601",
                                          "00:00:00", "2054", "37", "43"}));
}

TEST(AddNtfsFileRows, InsertsAfterTheFolderRows) {
    RecoveryRun run;
    run.fileList.AppendRow({"SUB", "FOLDER", "0"});
    run.fileList.AppendRow({"later"});
    AddFileTableRow(run, "a.txt", "100", "64", "5", "0", "1");
    AddFileTableRow(run, "b.txt", "102", "65", "5", "0", "2");

    EXPECT_EQ(AddNtfsFileRows(run, 1, 5), 3u);
    ASSERT_EQ(run.fileList.RowCount(), 4u);
    EXPECT_EQ(run.fileList.Cell(0, 0), "SUB");
    EXPECT_EQ(run.fileList.Cell(1, 0), "a.txt");
    EXPECT_EQ(run.fileList.Cell(2, 0), "b.txt");
    EXPECT_EQ(run.fileList.Cell(3, 0), "later");
}

TEST(AddNtfsFileRows, EmptyFolderAddsNothing) {
    RecoveryRun run;
    AddFileTableRow(run, "a.txt", "100", "64", "5", "0", "1");
    EXPECT_EQ(AddNtfsFileRows(run, 0, 6), 0u);
    EXPECT_TRUE(run.fileList.Empty());
}

TEST(AddNtfsFileRows, UnassignedParentMatchesOnlyItsOwnNumber) {
    RecoveryRun run;
    AddFileTableRow(run, "lost.jpg", "100", "4294967295", "4294967295", "-1", "1");
    EXPECT_EQ(AddNtfsFileRows(run, 0, 0), 0u);
    EXPECT_EQ(AddNtfsFileRows(run, 0, 0xFFFFFFFF), 1u);
    EXPECT_EQ(run.fileList.Row(0), (Cells{"lost.jpg", "Image File", "1", "31-DEC-1600", "23:59:59",
                                          "100", "4294967295", "4294967295"}));
}

TEST(FatFileRow, EntryFactsBecomeTheRow) {
    const FatFileFacts photo{"_MAGE.JPG", 48213, kMarch5th2009, kFiveAfterNine, 77, 0x20, true};
    EXPECT_EQ(FatFileRow(photo, FileTypeWording::ClusterChainFolder).Cells(),
              (Cells{"_MAGE.JPG", "Image File", "48213", "05-MAR-2009", "09:05", "77",
                     kFatDeletedMark, ""}));

    const FatFileFacts archive{"ARCHIVE.ZIP", 4294967295u, 0, 0, 3, 0x20, false};
    EXPECT_EQ(FatFileRow(archive, FileTypeWording::ClusterChainFolder).Cells(),
              (Cells{"ARCHIVE.ZIP", "Compressed File", "4294967295", "00-ERR-1980", "00:00", "3",
                     "", ""}));
    EXPECT_EQ(FatFileRow(archive, FileTypeWording::RootFolderOrNtfs).type, "Winzip File");
}

TEST(FatFileRow, ListsFilesButNotFoldersOrLongNameParts) {
    EXPECT_TRUE(ListsAsFatFile(0x00));
    EXPECT_TRUE(ListsAsFatFile(0x20));
    EXPECT_TRUE(ListsAsFatFile(0x27));  // read-only, hidden, system, archive
    EXPECT_FALSE(ListsAsFatFile(0x0F));
    EXPECT_FALSE(ListsAsFatFile(0x10));
    EXPECT_FALSE(ListsAsFatFile(0x30));
    EXPECT_FALSE(ListsAsFatFile(0x1F));
}

TEST(AddFatFileRow, RowsFollowOneAnotherFromTheFirstIndex) {
    RecoveryRun run;
    run.fileList.AppendRow({"DCIM", "FOLDER", "0"});
    std::size_t next = 1;
    next = AddFatFileRow(run.fileList, next, {"a.txt", 1, 0, 0, 5, 0x20, false},
                         FileTypeWording::ClusterChainFolder);
    next = AddFatFileRow(run.fileList, next, {"b.reg", 2, 0, 0, 6, 0x20, false},
                         FileTypeWording::RootFolderOrNtfs);
    EXPECT_EQ(next, 3u);
    EXPECT_EQ(run.fileList.Cell(1, 0), "a.txt");
    EXPECT_EQ(run.fileList.Cell(2, 1), "Registry file");
    EXPECT_EQ(run.fileList.Cell(2, 5), "6");
}

}  // namespace
}  // namespace lumarest

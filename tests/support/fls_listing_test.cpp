#include "support/fls_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumarest::testing {
namespace {

struct ListingLine {
    const char* line;
    FlsEntry expected;
};

// Each kind of line fls writes: a FAT entry, an NTFS address, the deleted and reallocated
// marks, an entry without a record, a virtual folder and the fields -l adds.
TEST(FlsListing, ReadsEveryKindOfEntryLine) {
    const ListingLine cases[] = {
        {"r/r 4:\tNOTES.TXT", {'r', false, "NOTES.TXT", 4, 'r', false, "4", {}}},
        {"d/d * 522:\tDocuments/Old Letters",
         {'d', true, "Documents/Old Letters", 522, 'd', false, "522", {}}},
        {"r/r 64-128-2:\tPhotos/a b.jpg",
         {'r', false, "Photos/a b.jpg", 64, 'r', false, "64-128-2", {}}},
        {"r/r * 70-128-1(realloc):\tgone.txt",
         {'r', true, "gone.txt", 70, 'r', true, "70-128-1", {}}},
        {"r/- * 0:\ttest_dir/B-del.txt", {'-', true, "test_dir/B-del.txt", 0, 'r', false, "0", {}}},
        {"V/V 1152:\t$OrphanFiles", {'V', false, "$OrphanFiles", 1152, 'V', false, "1152", {}}},
        {"r/r 65-128-2:\tscan.bin\t2009-07-14\t2009-07-15\t2009-07-16\t2009-07-17\t4096\t0\t0",
         {'r',
          false,
          "scan.bin",
          65,
          'r',
          false,
          "65-128-2",
          {"2009-07-14", "2009-07-15", "2009-07-16", "2009-07-17", "4096", "0", "0"}}},
    };
    for (const ListingLine& c : cases) {
        SCOPED_TRACE(c.line);
        const std::vector<FlsEntry> entries = ParseFlsListing(c.line);
        ASSERT_EQ(entries.size(), 1u);
        const FlsEntry& entry = entries.front();
        EXPECT_EQ(entry.kind, c.expected.kind);
        EXPECT_EQ(entry.nameKind, c.expected.nameKind);
        EXPECT_EQ(entry.deleted, c.expected.deleted);
        EXPECT_EQ(entry.reallocated, c.expected.reallocated);
        EXPECT_EQ(entry.path, c.expected.path);
        EXPECT_EQ(entry.inode, c.expected.inode);
        EXPECT_EQ(entry.address, c.expected.address);
        EXPECT_EQ(entry.details, c.expected.details);
    }
}

// A stored listing's comments and anything not an entry are passed over, the order kept.
TEST(FlsListing, LeavesOutLinesThatAreNoEntry) {
    const std::vector<FlsEntry> entries = ParseFlsListing(
        "# fls -r -p image.raw\n"
        "r/r 4:\tA.TXT\n"
        "\n"
        "+ r/r 5:\tnested without -p\n"
        "Cannot determine file system type\n"
        "d/d 6:\tB\n"
        "# exit status: 0\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, "A.TXT");
    EXPECT_EQ(entries[1].path, "B");
}

TEST(FlsListing, TellsTheFileSystemsOwnFromTheUsers) {
    for (const char* own :
         {"$MFT", "$OrphanFiles/OrphanFile-16", "a.txt:$DATA", "MYDISK (Volume Label Entry)"}) {
        EXPECT_TRUE(FileSystemOwn(own)) << own;
    }
    for (const char* user : {"a.txt", "Docs/$ in the middle.txt", "Docs/a.txt:extra"}) {
        EXPECT_FALSE(FileSystemOwn(user)) << user;
    }
}

// Timeline lines: the path without its marks, the deleted mark and the name's own times told
// apart, too short a line passed over.
TEST(FlsListing, ReadsTheTimelineBody) {
    const std::vector<FlsBodyLine> lines = ParseFlsBody(
        "0|/Docs/a.txt|64-128-2|r/rrwxrwxrwx|0|0|12|1247565000|1247565600|1247565000|1247565000\n"
        "0|/Docs/a.txt ($FILE_NAME)|64-48-3|r/rrwxrwxrwx|0|0|12|1|2|3|4\n"
        "0|/Old/b.txt (deleted)|70-128-1|r/rrwxrwxrwx|0|0|5|10|20|30|40\n"
        "0|/short|1|r/r\n"
        "0||9|r/r|0|0|0|0|0|0|0\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].path, "Docs/a.txt");
    EXPECT_EQ(lines[0].modified, 1247565600);
    EXPECT_FALSE(lines[0].deleted);
    EXPECT_FALSE(lines[0].fileNameTimes);
    EXPECT_TRUE(lines[1].fileNameTimes);
    EXPECT_EQ(lines[2].path, "Old/b.txt");
    EXPECT_TRUE(lines[2].deleted);
    EXPECT_EQ(lines[2].modified, 20);
}

}  // namespace
}  // namespace lumarest::testing

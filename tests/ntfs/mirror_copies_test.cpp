#include "ntfs/mirror_copies.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/table_columns.h"
#include "core/text_table.h"
#include "ntfs/ntfs_work_tables.h"

namespace lumarest {
namespace {

struct Record {
    std::uint64_t sector;
    const char* self;  // empty: a record of the older layout, without a number
};

TextTable RecordTable(const std::vector<Record>& records) {
    TextTable table(NtfsRecordColumns());
    for (const Record& r : records) {
        table.AppendRow({"name", std::to_string(r.sector), "5", r.self, "0", kRecordFileType, "0",
                         "0", "0", "", "2"});
    }
    return table;
}

std::vector<std::string> Sectors(const TextTable& table) {
    std::vector<std::string> sectors;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        sectors.push_back(table.Cell(row, kRecordSector));
    }
    return sectors;
}

TEST(MirrorCopies, OnlyTheMirrorsFourRecordsGo) {
    const std::vector<Record> table = {{100, "0"}, {102, "1"}, {104, "2"},
                                       {106, "3"}, {108, "4"}, {110, "5"}};
    const std::vector<Record> mirror = {{500, "0"}, {502, "1"}, {504, "2"}, {506, "3"}};
    struct Case {
        const char* name;
        std::vector<Record> records;
        std::uint64_t examinedEnd;
        std::vector<std::string> kept;
    };
    const std::vector<Case> cases = {
        {"table before mirror",
         {table[0],
          table[1],
          table[2],
          table[3],
          table[4],
          mirror[0],
          mirror[1],
          mirror[2],
          mirror[3],
          {520, "40"}},
         1000,
         {"100", "102", "104", "106", "108", "520"}},
        {"mirror before table",
         {mirror[0],
          mirror[1],
          mirror[2],
          mirror[3],
          {600, "0"},
          {602, "1"},
          {604, "2"},
          {606, "3"},
          {608, "4"}},
         1000,
         {"600", "602", "604", "606", "608"}},
        {"mirror followed by a record of the older layout",
         {mirror[0], mirror[1], mirror[2], mirror[3], {508, ""}},
         1000,
         {"508"}},
        {"table whose record 4 was not examined yet",
         {table[0], table[1], table[2], table[3]},
         109,
         {"100", "102", "104", "106"}},
        {"older-layout records stay", {{40, ""}, {42, ""}, {44, ""}}, 1000, {"40", "42", "44"}},
    };
    for (const Case& c : cases) {
        TextTable records = RecordTable(c.records);
        DropMirrorCopies(records, c.examinedEnd);
        EXPECT_EQ(Sectors(records), c.kept) << c.name;
    }
}

}  // namespace
}  // namespace lumarest

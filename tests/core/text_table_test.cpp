#include "core/text_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/table_columns.h"
#include "core/text_number.h"

namespace lumarest {
namespace {

std::vector<std::string> SortedColumn(std::vector<std::string> cells) {
    TextTable table({"key", "row"});
    for (std::size_t i = 0; i < cells.size(); ++i) {
        table.AppendRow({cells[i], NumberText(static_cast<std::uint64_t>(i))});
    }
    table.SortByColumn(0);
    std::vector<std::string> keys;
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        keys.push_back(table.Cell(r, 0));
    }
    return keys;
}

TEST(CompareCells, DecimalTextOrdersByValueUpToEightDigits) {
    EXPECT_LT(CompareCells("9", "10"), 0);
    EXPECT_LT(CompareCells("99999999", "100000000"), 0);
    // Nine digits and more overflow the 32-bit hexadecimal reading and are all equal.
    EXPECT_EQ(CompareCells("268435455", "4294967295"), 0);
    EXPECT_GT(CompareCells("268435455", "99999999"), 0);
}

TEST(CompareCells, FallsBackThroughNumbersDatesAndText) {
    EXPECT_LT(CompareCells("-5", "3"), 0);      // not hex: decimal numbers
    EXPECT_LT(CompareCells("2.5%", "10%"), 0);  // percentages
    EXPECT_LT(CompareCells("5-MAR-2009", "12-JAN-2010"), 0);
    EXPECT_LT(CompareCells("9:5:0", "10:0:0"), 0);   // times without leading zeros
    EXPECT_LT(CompareCells("Photos", "photos"), 0);  // plain text, character by character
    EXPECT_EQ(CompareCells("", ""), 0);
}

TEST(TextTable, SortsTheEntryTableBySelfWithTheOrphanLast) {
    TextTable table(EntryTableColumns());
    const std::size_t self = table.ColumnIndex("self");
    for (const char* value : {"268435455", "17", "3", "2", "120", "5"}) {
        const std::size_t row = table.AppendRow();
        table.SetCell(row, self, value);
    }
    table.SortByColumn(self);
    std::vector<std::uint32_t> order;
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        order.push_back(table.CellU32(r, self));
    }
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 3, 5, 17, 120, 268435455}));
}

TEST(TextTable, SortKeepsEveryRowWhateverTheKeys) {
    // Mixed kinds of cells make the comparison intransitive; the sort must still only permute.
    std::mt19937 random(7);
    const std::vector<std::string> pool = {"",           "0",    "10",         "ff",    "x",
                                           "1.5",        "1.5%", "5-MAR-2009", "9:5:0", "-1",
                                           "4294967295", "abc",  "A",          "10:00"};
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> cells(random() % 40);
        for (auto& cell : cells) {
            cell = pool[random() % pool.size()];
        }
        auto sorted = SortedColumn(cells);
        auto expected = cells;
        std::sort(sorted.begin(), sorted.end());
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(sorted, expected);
    }
}

TEST(TextTable, SortsLargeOrderedAndReversedTables) {
    std::vector<std::string> cells;
    for (int i = 100000; i > 0; --i) {
        cells.push_back(std::to_string(i));
    }
    const auto sorted = SortedColumn(cells);
    ASSERT_EQ(sorted.size(), cells.size());
    EXPECT_EQ(sorted.front(), "1");
    EXPECT_EQ(sorted.back(), "100000");
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return CompareCells(a, b) < 0;
    }));
}

TEST(TextTable, ReadsOutsideTheTableAsEmptyAndIgnoresWritesThere) {
    TextTable table({"a", "b"});
    table.AppendRow({"1", "2", "dropped"});
    EXPECT_EQ(table.Cell(0, 1), "2");
    EXPECT_EQ(table.Cell(0, 2), "");
    EXPECT_EQ(table.Cell(5, 0), "");
    table.SetCell(5, 0, "x");
    table.DeleteRow(9);
    EXPECT_EQ(table.RowCount(), 1u);
    EXPECT_EQ(table.ColumnIndex("missing"), table.ColumnCount());
    EXPECT_EQ(table.CellNumber(0, 0), 1);
}

// A row keeps its cells in one text: rewriting one cell, to any length or bytes, leaves its
// neighbours as they were.
TEST(TextTable, RewritesOneCellOfARowWithoutTouchingTheOthers) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"one-byte length", std::string(127, 'a')},
        {"two-byte length", std::string(128, 'b')},
        {"three-byte length", std::string(20000, 'c')},
        {"bytes of every value", std::string("\0\x7F\x80\xFF\xC3\xA9", 6)},
        {"short again", "x"},
    };
    TextTable table({"before", "cell", "after"});
    table.AppendRow({"left", "", "right"});
    table.AppendRow({"next row", "", ""});
    for (const auto& [what, text] : cases) {
        table.SetCell(0, 1, text);
        EXPECT_EQ(table.Row(0), (std::vector<std::string>{"left", text, "right"})) << what;
        EXPECT_EQ(table.Row(1), (std::vector<std::string>{"next row", "", ""})) << what;
    }
}

TEST(TextNumber, ParsesLeadingDigitsAndReadsJunkAsZero) {
    EXPECT_EQ(ParseTextNumber("123"), 123);
    EXPECT_EQ(ParseTextNumber("  -42"), -42);
    EXPECT_EQ(ParseTextNumber("12abc"), 12);
    EXPECT_EQ(ParseTextNumber("abc"), 0);
    EXPECT_EQ(ParseTextNumber(""), 0);
    EXPECT_EQ(ParseTextNumber("99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(ParseTextNumber("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseTextU32("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseTextU32("268435455"), 0x0FFFFFFFu);
    // A sector past 2 TiB keeps its high bits where a cluster number would drop them.
    TextTable sectors({"sector"});
    sectors.AppendRow({"5000000000"});
    EXPECT_EQ(sectors.CellU64(0, 0), 5000000000u);
    EXPECT_EQ(sectors.CellU32(0, 0), 5000000000u & 0xFFFFFFFFu);
    EXPECT_TRUE(IsTextNumber("-7"));
    EXPECT_FALSE(IsTextNumber("7x"));
    EXPECT_FALSE(IsTextNumber("-"));
}

}  // namespace
}  // namespace lumarest

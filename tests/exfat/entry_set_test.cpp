#include "exfat/entry_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exfat/exfat_time.h"
#include "output/file_dates.h"
#include "support/exfat_volume_builder.h"

namespace lumarest {
namespace {

using testing::ExFatSetBytes;
using testing::ExFatSetShape;
using testing::SetShape;

constexpr std::uint64_t kFirstSector = 1000;

std::vector<ExFatEntrySet> Parse(const std::vector<std::uint8_t>& bytes) {
    return ParseExFatEntrySets(bytes,
                               [](std::size_t offset) { return kFirstSector + offset / 512; });
}

std::vector<std::uint8_t> Joined(const std::vector<std::vector<std::uint8_t>>& parts) {
    std::vector<std::uint8_t> bytes;
    for (const auto& part : parts) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

std::vector<std::uint8_t> Entry(std::uint8_t type) {
    std::vector<std::uint8_t> entry(kExFatEntrySize, 0);
    entry[0] = type;
    return entry;
}

struct Expected {
    std::string name;
    bool deleted = false;
    bool checksumGood = true;
};

// What a directory's bytes list, set by set.
TEST(ExFatEntrySets, ListsLiveAndDeletedSetsAsFarAsTheyGo) {
    const ExFatSetShape plain = SetShape(u"photo.jpg", 0x20, 5, 1234);
    ExFatSetShape deleted = SetShape(u"gone.txt", 0x20, 9, 10);
    deleted.deleted = true;
    const ExFatSetShape longName = SetShape(std::u16string(255, u'n'), 0x20, 6, 1);
    // U+1F389 as a surrogate pair, and a lone high surrogate.
    const ExFatSetShape surrogates = SetShape(u"party \xD83C\xDF89.txt", 0x20, 7, 1);
    const ExFatSetShape lone = SetShape(
        u"a\xD800"
        u"b",
        0x20, 7, 1);
    ExFatSetShape countOf255 = plain;
    countOf255.secondaryCount = 255;
    ExFatSetShape countOf1 = plain;
    countOf1.secondaryCount = 1;
    std::vector<std::uint8_t> brokenChecksum = ExFatSetBytes(plain);
    brokenChecksum[kExFatEntrySize + 24] ^= 1;
    const std::vector<std::uint8_t> twoNames =
        ExFatSetBytes(SetShape(u"a name of twenty chars", 0x20, 5, 1));
    const std::vector<std::uint8_t> cutAfterFirstName(twoNames.begin(), twoNames.end() - 32);
    const std::vector<std::uint8_t> deletedSet = ExFatSetBytes(deleted);
    const std::vector<std::uint8_t> cutBeforeStream(twoNames.begin(), twoNames.begin() + 32);

    struct Row {
        std::string name;
        std::vector<std::uint8_t> bytes;
        std::vector<Expected> expected;
    };
    const std::vector<Row> rows = {
        {"one live set", ExFatSetBytes(plain), {{"photo.jpg"}}},
        {"a deleted set", ExFatSetBytes(deleted), {{"gone.txt", true}}},
        {"a name of 255 units", ExFatSetBytes(longName), {{std::string(255, 'n')}}},
        {"a surrogate pair", ExFatSetBytes(surrogates), {{"party \xF0\x9F\x8E\x89.txt"}}},
        {"a lone surrogate",
         ExFatSetBytes(lone),
         {{"a\xEF\xBF\xBD"
           "b"}}},
        {"system entries around sets",
         Joined(
             {Entry(0x81), Entry(0x82), ExFatSetBytes(plain), Entry(0x83), ExFatSetBytes(deleted)}),
         {{"photo.jpg"}, {"gone.txt", true}}},
        {"the end entry stops the listing",
         Joined({ExFatSetBytes(plain), Entry(0x00), ExFatSetBytes(deleted)}),
         {{"photo.jpg"}}},
        {"stray secondaries are skipped",
         Joined({Entry(0xC1), Entry(0x41), ExFatSetBytes(plain)}),
         {{"photo.jpg"}}},
        {"a secondary count of 255",
         Joined({ExFatSetBytes(countOf255), ExFatSetBytes(deleted)}),
         {{"photo.jpg", false, false}, {"gone.txt", true}}},
        {"a secondary count of 1", ExFatSetBytes(countOf1), {{"", false, false}}},
        {"a broken checksum", brokenChecksum, {{"photo.jpg", false, false}}},
        {"a set cut after its first name entry",
         cutAfterFirstName,
         {{"a name of twent", false, false}}},
        {"a set cut before its stream entry", cutBeforeStream, {}},
        {"a live set broken by a deleted one",
         Joined({std::vector<std::uint8_t>(twoNames.begin(), twoNames.begin() + 96),
                 ExFatSetBytes(deleted)}),
         {{"a name of twent", false, false}, {"gone.txt", true}}},
        {"a deleted set partly overwritten by a live one",
         Joined({std::vector<std::uint8_t>(deletedSet.begin(), deletedSet.begin() + 64),
                 ExFatSetBytes(plain)}),
         {{"", true, false}, {"photo.jpg"}}},
        {"a partial last entry is ignored",
         Joined({ExFatSetBytes(plain), std::vector<std::uint8_t>{0x85, 0x02}}),
         {{"photo.jpg"}}},
    };
    for (const Row& row : rows) {
        const std::vector<ExFatEntrySet> sets = Parse(row.bytes);
        ASSERT_EQ(sets.size(), row.expected.size()) << row.name;
        for (std::size_t i = 0; i < sets.size(); ++i) {
            EXPECT_EQ(sets[i].name, row.expected[i].name) << row.name << " #" << i;
            EXPECT_EQ(sets[i].deleted, row.expected[i].deleted) << row.name << " #" << i;
            EXPECT_EQ(sets[i].checksumGood, row.expected[i].checksumGood) << row.name << " #" << i;
        }
    }
}

TEST(ExFatEntrySets, ReadsTheStreamAndPlacesTheFileEntry) {
    ExFatSetShape shape = SetShape(u"DCIM", 0x10, 0x12345, 0x100000000ull);
    shape.validDataLength = 4096;
    shape.contiguous = false;
    const std::vector<std::uint8_t> bytes =
        Joined({std::vector<std::uint8_t>(17 * kExFatEntrySize, 0x01), ExFatSetBytes(shape)});
    const std::vector<ExFatEntrySet> sets = Parse(bytes);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_TRUE(sets[0].folder);
    EXPECT_EQ(sets[0].attributes, 0x10);
    EXPECT_EQ(sets[0].firstCluster, 0x12345u);
    EXPECT_FALSE(sets[0].contiguous);
    EXPECT_EQ(sets[0].dataLength, 0x100000000ull);
    EXPECT_EQ(sets[0].validDataLength, 4096u);
    EXPECT_EQ(sets[0].entrySector, kFirstSector + 1);
    EXPECT_EQ(sets[0].entryOffset, 17 * kExFatEntrySize - 512);
}

// 2023-07-14 13:45:30 as an exFAT stamp.
constexpr std::uint32_t kStamp =
    ((2023u - 1980) << 25) | (7u << 21) | (14u << 16) | (13u << 11) | (45u << 5) | (30u / 2);
constexpr std::int64_t kStampAsUtc = 1689342330;

TEST(ExFatEntrySets, TimeStampsHonourTheirUtcOffset) {
    struct Row {
        std::string name;
        std::uint32_t stamp;
        std::uint8_t tenMs;
        std::uint8_t offset;
        std::optional<std::int64_t> seconds;
    };
    const std::vector<Row> rows = {
        {"UTC", kStamp, 0, 0x80, kStampAsUtc},
        {"two hours east", kStamp, 0, 0x80 | 8, kStampAsUtc - 7200},
        {"five hours west", kStamp, 0, 0x80 | (0x80 - 20), kStampAsUtc + 18000},
        {"an odd second in the 10 ms count", kStamp, 150, 0x80, kStampAsUtc + 1},
        {"a 10 ms count past its range", kStamp, 250, 0x80, kStampAsUtc},
        {"month 13", (kStamp & ~(0xFu << 21)) | (13u << 21), 0, 0x80, std::nullopt},
        {"day 0", kStamp & ~(0x1Fu << 16), 0, 0x80, std::nullopt},
        {"29 February 2023", (kStamp & ~(0x1FFu << 16)) | (2u << 21) | (29u << 16), 0, 0x80,
         std::nullopt},
        {"29 February 2024", (kStamp & ~(0xFFFFu << 16)) | (44u << 25) | (2u << 21) | (29u << 16),
         0, 0x80, 1709214330},
        {"hour 24", (kStamp & ~(0x1Fu << 11)) | (24u << 11), 0, 0x80, std::nullopt},
        {"no stamp", 0, 0, 0, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ExFatTimeSeconds(row.stamp, row.tenMs, row.offset), row.seconds) << row.name;
    }
    // Without a valid offset the stamp is the local wall clock, as on FAT.
    EXPECT_EQ(ExFatTimeSeconds(kStamp, 0, 0x08), FatLocalTime(kStamp >> 16, kStamp & 0xFFFF));
}

}  // namespace
}  // namespace lumarest

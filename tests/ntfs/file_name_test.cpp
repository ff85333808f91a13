#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "core/memory_disk.h"
#include "ntfs/attributes.h"
#include "ntfs/extension_records.h"
#include "ntfs/file_name.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/name_text.h"
#include "ntfs/record_builder.h"

namespace lumarest {
namespace {

using testing::RecordBuilder;

std::string Decode(const std::u16string& units) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return Utf16LeToUtf8(bytes, units.size());
}

TEST(NameText, NamesInEveryScriptBecomeUtf8) {
    EXPECT_EQ(Decode(u"Fotos Año 2009"), "Fotos Año 2009");
    EXPECT_EQ(Decode(u"Φωτογραφίες"), "Φωτογραφίες");
    EXPECT_EQ(Decode(u"写真"), "写真");
    EXPECT_EQ(Decode(u"📷 Camera"), "📷 Camera");
}

// NTFS stores whatever 16-bit units a driver wrote: a surrogate without its partner becomes
// U+FFFD and the characters around it survive.
TEST(NameText, LoneSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Decode(std::u16string{u'a', char16_t(0xD83D), u'b'}),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Decode(std::u16string{u'a', char16_t(0xDC37)}), "a\xEF\xBF\xBD");
    EXPECT_EQ(Decode(std::u16string{char16_t(0xD83D)}), "\xEF\xBF\xBD");
    EXPECT_EQ(Decode(std::u16string{char16_t(0xDC37), char16_t(0xD83D)}),
              "\xEF\xBF\xBD\xEF\xBF\xBD");
    // A count longer than the bytes decodes what is there.
    EXPECT_EQ(Utf16LeToUtf8(std::vector<std::uint8_t>{'a', 0, 'b'}, 40), "a");
}

TEST(FileName, LongNameWinsAndShortNameIsTheLastChoice) {
    RecordBuilder both;
    both.AddFileName(u"ANNUAL~1.TXT", 2);
    both.AddFileName(u"Annual Report 2009.txt", 1, 70);
    const std::vector<MftRecordBuffer> bothRecords{both.Fixed()};
    const auto name = RecordName(bothRecords);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "Annual Report 2009.txt");
    EXPECT_EQ(name->parent, 70u);
    EXPECT_EQ(name->creationTime, 0x01CA047E5A1C2000u);

    RecordBuilder dosOnly;
    dosOnly.AddFileName(u"IMG_0001.JPG", 2);
    EXPECT_EQ(RecordName(std::vector<MftRecordBuffer>{dosOnly.Fixed()})->name, "IMG_0001.JPG");

    RecordBuilder posix;
    posix.AddFileName(u"PROGRA~1", 2);
    posix.AddFileName(u"Program files", 0);
    EXPECT_EQ(RecordName(std::vector<MftRecordBuffer>{posix.Fixed()})->name, "Program files");
    EXPECT_FALSE(FindFileName(posix.Fixed(), NameSpace::Win32));

    EXPECT_FALSE(RecordName(std::vector<MftRecordBuffer>{RecordBuilder().Fixed()}));
}

// Hard links: each long or POSIX name with its parent; a short name is the twin of the long
// name in its folder, and a link of its own only where no long name is.
TEST(FileName, EveryHardLinkIsANameAndShortTwinsAreNot) {
    using Name = std::tuple<std::u16string, std::uint8_t, std::uint32_t>;
    using Link = std::pair<std::string, std::uint32_t>;
    struct Case {
        const char* name;
        std::vector<Name> names;
        std::vector<Link> links;  // the listed name first
    };
    const Case cases[] = {
        {"long name and its short twin",
         {{u"ANNUAL~1.TXT", 2, 5}, {u"Annual Report.txt", 1, 5}},
         {{"Annual Report.txt", 5}}},
        {"links in three folders",
         {{u"a.txt", 0, 5}, {u"b.txt", 0, 64}, {u"c.txt", 0, 65}},
         {{"a.txt", 5}, {"b.txt", 64}, {"c.txt", 65}}},
        {"two links with twins",
         {{u"LONGNA~1.TXT", 2, 5},
          {u"Long name.txt", 1, 5},
          {u"OTHERN~1.TXT", 2, 64},
          {u"Other name.txt", 1, 64}},
         {{"Long name.txt", 5}, {"Other name.txt", 64}}},
        {"short name alone in another folder",
         {{u"Long name.txt", 1, 5}, {u"SHORT.TXT", 2, 64}},
         {{"Long name.txt", 5}, {"SHORT.TXT", 64}}},
        {"one name and its combined twin", {{u"NOTES.TXT", 3, 5}}, {{"NOTES.TXT", 5}}},
        {"a name written twice", {{u"x.txt", 0, 5}, {u"x.txt", 0, 5}}, {{"x.txt", 5}}},
        {"no name", {}, {}},
    };
    for (const Case& c : cases) {
        RecordBuilder builder;
        for (const auto& [text, nameSpace, parent] : c.names) {
            builder.AddFileName(text, nameSpace, parent);
        }
        std::vector<Link> links;
        for (const FileNameInfo& link :
             RecordLinks(std::vector<MftRecordBuffer>{builder.Fixed()})) {
            links.emplace_back(link.name, link.parent);
        }
        EXPECT_EQ(links, c.links) << c.name;
    }
}

TEST(FileName, NameLongerThanItsContentIsNotTaken) {
    RecordBuilder builder;
    builder.AddFileName(u"notes.txt", 1);
    MftRecordBuffer record = builder.Fixed();
    record[RecordBuilder::kFirstAttribute + 24 + 64] = 200;  // name length
    EXPECT_FALSE(FindFileName(record, NameSpace::Win32));
}

std::vector<std::uint8_t> AttributeList(const std::vector<std::uint32_t>& records) {
    std::vector<std::uint8_t> list;
    for (const std::uint32_t record : records) {
        std::vector<std::uint8_t> entry(32);
        entry[0] = 0x30;
        entry[4] = 32;
        for (std::size_t i = 0; i < 4; ++i) {
            entry[16 + i] = static_cast<std::uint8_t>(record >> (8 * i));
        }
        list.insert(list.end(), entry.begin(), entry.end());
    }
    return list;
}

// Own number first, each listed record once, at most kMaxExtensionRecords.
TEST(ExtensionRecords, DistinctRecordsUpToTheBound) {
    RecordBuilder builder;
    builder.AddResident(kAttrAttributeList, AttributeList({40, 41, 40, 42}));
    EXPECT_EQ(CollectExtensionRecords(builder.Fixed(), 40).records,
              (std::vector<std::uint32_t>{40, 41, 42}));

    std::vector<std::uint32_t> many;
    for (std::uint32_t i = 0; i < 100; ++i) {
        many.push_back(100 + i);
    }
    const ExtensionRecordList list = ExtensionRecordsFromList(AttributeList(many), 7);
    EXPECT_EQ(list.records.size(), kMaxExtensionRecords);
    EXPECT_EQ(list.records.front(), 7u);
    EXPECT_TRUE(list.truncated);

    // An entry length of 0 ends the list.
    std::vector<std::uint8_t> broken = AttributeList({41, 42});
    broken[32 + 4] = 0;
    EXPECT_EQ(ExtensionRecordsFromList(broken, 40).records, (std::vector<std::uint32_t>{40, 41}));
}

// The name of a file whose $FILE_NAME lies in an extension record is found there; a record
// that has since become another file's is passed over.
TEST(ExtensionRecords, NameIsFoundInAnExtensionRecord) {
    MemoryDisk disk(std::vector<std::uint8_t>(512 * 64));
    const auto put = [&](std::uint32_t number, const MftRecordBuffer& record) {
        std::copy(record.begin(), record.end(), disk.Bytes().begin() + number * 1024);
    };
    RecordBuilder base;
    base.AddResident(kAttrAttributeList, AttributeList({20, 21}));
    RecordBuilder named;
    named.Put32(32, 20);
    named.AddFileName(u"Lost Sunset.jpg", 1, 66);
    RecordBuilder stranger;
    stranger.Put32(32, 9);
    stranger.AddFileName(u"Someone else.jpg", 1);
    put(20, base.OnDisk());
    put(21, named.OnDisk());
    MftRunTable table;
    table.runs = {{0, 64, false}};

    MftRecordBuffer record;
    ASSERT_TRUE(ReadMftRecord(disk, MftRecordSector(table, 20), record));
    const ExtensionRecordList list = CollectExtensionRecords(record, 20);
    auto name = RecordName(ReadFileRecords(disk, table, record, list));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "Lost Sunset.jpg");
    EXPECT_EQ(name->parent, 66u);

    // Read by sector alone, the record holding the name gives it; the base record has none.
    EXPECT_EQ(ReadFileName(disk, MftRecordSector(table, 21), NameSpace::Win32)->name,
              "Lost Sunset.jpg");
    EXPECT_FALSE(ReadFileName(disk, MftRecordSector(table, 20), NameSpace::Win32));
    EXPECT_FALSE(ReadFileName(disk, MftRecordSector(table, 30), NameSpace::Win32));

    put(21, stranger.OnDisk());
    EXPECT_FALSE(RecordName(ReadFileRecords(disk, table, record, list)));
}

}  // namespace
}  // namespace lumarest

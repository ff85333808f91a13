#include "fat/directory_entry.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/memory_disk.h"

namespace lumarest {
namespace {

using Sector = std::array<std::uint8_t, kSectorSize>;
constexpr std::array<std::size_t, 13> kCharOffsets{1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

void PutShortEntry(std::uint8_t* entry, const std::string& name11, std::uint8_t attr = 0x10) {
    for (std::size_t i = 0; i < 11; ++i) {
        entry[i] = static_cast<std::uint8_t>(name11[i]);
    }
    entry[11] = attr;
}

// The checksum long-name entries carry for the short entry named `short11`.
std::uint8_t ChecksumOf(std::string short11) {
    short11.resize(11, '\0');  // as PutShortEntry stores a shorter text
    return ShortNameChecksum(
        ByteSpan(reinterpret_cast<const std::uint8_t*>(short11.data()), short11.size()));
}

// One long-name entry with up to 13 characters; a shorter piece gets the terminator and
// 0xFFFF padding, as drivers write it.
void PutLongEntry(std::uint8_t* entry, std::uint8_t sequence, const std::u16string& piece,
                  std::uint8_t checksum) {
    entry[0] = sequence;
    entry[11] = kLongNameAttribute;
    entry[13] = checksum;
    for (std::size_t i = 0; i < kCharOffsets.size(); ++i) {
        const char16_t unit = i < piece.size() ? piece[i] : (i == piece.size() ? 0 : 0xFFFF);
        entry[kCharOffsets[i]] = static_cast<std::uint8_t>(unit & 0xFF);
        entry[kCharOffsets[i] + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
}

// Writes the long-name entries of `name` followed by its short entry, ending at entry slot
// `shortSlot` of `sector`; returns the short entry's offset.
std::size_t PutNamedEntry(Sector& sector, std::size_t shortSlot, const std::u16string& name,
                          const std::string& short11) {
    const std::size_t pieces = (name.size() + 12) / 13;
    for (std::size_t p = 0; p < pieces; ++p) {
        const std::size_t slot = shortSlot - 1 - p;
        const auto sequence = static_cast<std::uint8_t>((p + 1) | (p + 1 == pieces ? 0x40 : 0));
        PutLongEntry(&sector[slot * 32], sequence, name.substr(p * 13, 13), ChecksumOf(short11));
    }
    PutShortEntry(&sector[shortSlot * 32], short11);
    return shortSlot * 32;
}

ByteSpan Span(const Sector& sector) {
    return ByteSpan(sector.data(), sector.size());
}

TEST(ShortNameTest, SpacesAreLeftOutAndTheDeletedMarkBecomesAnUnderscore) {
    Sector s{};
    PutShortEntry(&s[0], "PHOTOS     ");
    PutShortEntry(&s[32], "IMG_0001JPG");
    PutShortEntry(&s[64], "\xE5HOTOS     ");
    PutShortEntry(&s[96], "AB\0\0\0\0\0\0TXT");
    EXPECT_EQ(ShortNameOf(EntryAt(Span(s), 0)).name, "PHOTOS");
    EXPECT_FALSE(ShortNameOf(EntryAt(Span(s), 0)).deleted);
    EXPECT_EQ(ShortNameOf(EntryAt(Span(s), 32)).name, "IMG_0001.JPG");
    EXPECT_EQ(ShortNameOf(EntryAt(Span(s), 64)).name, "_HOTOS");
    EXPECT_TRUE(ShortNameOf(EntryAt(Span(s), 64)).deleted);
    EXPECT_EQ(ShortNameOf(EntryAt(Span(s), 96)).name, "AB");
    EXPECT_EQ(ShortNameOf(ByteSpan{}).name, "");
}

TEST(ShortNameTest, CaseBitsShowTheNameOrTheExtensionInLowerCase) {
    struct Case {
        std::string short11;
        std::uint8_t caseBits;
        std::string shown;
    };
    const std::vector<Case> cases{
        {"NOTES   TXT", 0x18, "notes.txt"},
        {"README  TXT", 0x10, "README.txt"},
        {"PHOTO   JPG", 0x08, "photo.JPG"},
        {"DIR1       ", 0x08, "dir1"},
        {"DIR1       ", 0x10, "DIR1"},
        {"A_1~2-B TX3", 0x18, "a_1~2-b.tx3"},
        // Only the letters A to Z change: a code-page byte is shown as stored.
        {"M\x9ALLER  TXT", 0x18, "m\xC3\x9Cller.txt"},
        // The first byte of a deleted name stays "_"; a first byte 0x05 still reads as 0xE5.
        {"\xE5RASED  TXT", 0x18, "_rased.txt"},
        {"\x05"
         "BC     TXT",
         0x18,
         "\xCF\x83"
         "bc.txt"},
        // Bits other than the two cases change nothing.
        {"PLAIN   TXT", 0xE7, "PLAIN.TXT"},
    };
    const LongNameSource cp437{nullptr, 0, {}, *OemCodePage::Load("437")};
    for (const Case& c : cases) {
        Sector s{};
        PutShortEntry(&s[0], c.short11, 0x20);
        s[12] = c.caseBits;
        const auto name = EntryName(cp437, Span(s), 0, 0);
        ASSERT_TRUE(name) << c.shown;
        EXPECT_EQ(name->name, c.shown);
        EXPECT_EQ(name->deleted, c.short11[0] == '\xE5') << c.shown;
    }
    // A long name is still the name, whatever the case bits of its short entry.
    Sector s{};
    const std::size_t mixed = PutNamedEntry(s, 1, u"Mixed", "MIXED      ");
    s[mixed + 12] = 0x18;
    EXPECT_EQ(EntryName(cp437, Span(s), mixed, 0)->name, "Mixed");
}

TEST(DirectoryEntryTest, DotAndLongNameEntriesAreSkippedAndClustersFollowTheFileSystem) {
    Sector s{};
    PutShortEntry(&s[0], ".          ");
    PutShortEntry(&s[32], "..         ");
    PutLongEntry(&s[64], 0x41, u"x", ChecksumOf("FOLDER     "));
    PutShortEntry(&s[96], "FOLDER     ");
    s[96 + 20] = 0x01;  // high word 1, low word 4464: cluster 70000 on FAT32
    s[96 + 26] = 0x70;
    s[96 + 27] = 0x11;
    EXPECT_TRUE(IsSkippedEntry(EntryAt(Span(s), 0)));
    EXPECT_TRUE(IsSkippedEntry(EntryAt(Span(s), 32)));
    EXPECT_TRUE(IsSkippedEntry(EntryAt(Span(s), 64)));
    EXPECT_FALSE(IsSkippedEntry(EntryAt(Span(s), 96)));
    EXPECT_EQ(EntryFirstCluster(EntryAt(Span(s), 96), "FAT32"), 70000u);
    EXPECT_EQ(EntryFirstCluster(EntryAt(Span(s), 96), "FAT16"), 4464u);
    EXPECT_EQ(EntryFirstCluster(EntryAt(Span(s), 96), "NTFS"), 0u);
    EXPECT_TRUE(IsEndOfDirectory(EntryAt(Span(s), 128)));
}

TEST(LongNameTest, NamesOfOneOrSeveralEntriesAndExactlyThirteenCharacters) {
    Sector s{};
    const std::size_t thirteen = PutNamedEntry(s, 2, u"Thirteen_Char", "THIRTE~1   ");
    const std::size_t longer = PutNamedEntry(s, 6, u"Holiday in Spain 2024", "HOLIDA~1   ");
    const LongNameSource none;
    EXPECT_EQ(LongNameOf(none, Span(s), thirteen, 0), u"Thirteen_Char");
    EXPECT_EQ(LongNameOf(none, Span(s), longer, 0), u"Holiday in Spain 2024");

    // Without its end mark a 13-character piece must be followed by a short entry.
    s[thirteen - 32] = 0x01;
    EXPECT_EQ(LongNameOf(none, Span(s), thirteen, 0), u"Thirteen_Char");
    Sector t{};
    PutShortEntry(&t[0], "PLAIN      ");
    PutLongEntry(&t[32], 0x01, u"abcdefghijklm", ChecksumOf("X          "));
    PutShortEntry(&t[64], "X          ");
    EXPECT_EQ(LongNameOf(none, Span(t), 64, 0), u"abcdefghijklm");
    EXPECT_FALSE(LongNameOf(none, Span(t), 0, 0));
}

TEST(LongNameTest, TheWalkReadsTheSectorBeforeButNeverLeavesTheVolume) {
    // Sector 10 ends with the long-name entries, sector 11 starts with the short entry.
    std::vector<std::uint8_t> bytes(16 * kSectorSize, 0);
    const std::uint8_t across = ChecksumOf("ACROSS~1   ");
    PutLongEntry(&bytes[10 * kSectorSize + 15 * 32], 0x01, u"Across a sect", across);
    PutLongEntry(&bytes[10 * kSectorSize + 14 * 32], 0x42, u"or", across);
    Sector current{};
    PutShortEntry(&current[0], "ACROSS~1   ");
    MemoryDisk disk(bytes);
    EXPECT_EQ(LongNameOf({&disk, 0}, Span(current), 0, 11), u"Across a sector");
    EXPECT_FALSE(LongNameOf({&disk, 11}, Span(current), 0, 11));
    EXPECT_FALSE(LongNameOf({&disk, 0}, Span(current), 0, 0));
    EXPECT_FALSE(LongNameOf({nullptr, 0}, Span(current), 0, 11));
}

TEST(LongNameTest, TheWalkFollowsTheChainBackIntoTheClusterBeforeAndNeverOutOfTheDirectory) {
    // The short entry opens sector 11; the cluster before it in the chain ends at sector 4,
    // while sector 10 holds another name's entries.
    std::vector<std::uint8_t> bytes(16 * kSectorSize, 0);
    const std::uint8_t across = ChecksumOf("ACROSS~1   ");
    PutLongEntry(&bytes[4 * kSectorSize + 15 * 32], 0x01, u"Across a clus", across);
    PutLongEntry(&bytes[4 * kSectorSize + 14 * 32], 0x42, u"ter", across);
    PutLongEntry(&bytes[10 * kSectorSize + 15 * 32], 0x41, u"Wrong", across);
    Sector current{};
    PutShortEntry(&current[0], "ACROSS~1   ");
    MemoryDisk disk(bytes);
    LongNameSource source{&disk, 0};
    EXPECT_EQ(LongNameOf(source, Span(current), 0, 11), u"Wrong");
    source.previousSector = {{11, 4}};
    EXPECT_EQ(LongNameOf(source, Span(current), 0, 11), u"Across a cluster");
    // The directory's first sector: what lies before it is no part of it.
    source.previousSector = {{11, kNoPreviousSector}};
    EXPECT_FALSE(LongNameOf(source, Span(current), 0, 11));
    // The volume's bound still holds where the chain leads.
    source.previousSector = {{11, 4}};
    source.lowestSector = 5;
    EXPECT_FALSE(LongNameOf(source, Span(current), 0, 11));
}

TEST(LongNameTest, AChainWithoutAnEndStopsPastTwoHundredFiftyFiveCharacters) {
    std::vector<std::uint8_t> bytes(4 * kSectorSize, 0);
    for (std::size_t slot = 0; slot < 3 * kEntriesPerSector; ++slot) {
        PutLongEntry(&bytes[slot * 32], 0x01, u"abcdefghijklm", ChecksumOf("LONG       "));
    }
    Sector current{};
    PutShortEntry(&current[0], "LONG       ");
    MemoryDisk disk(bytes);
    const auto name = LongNameOf({&disk, 0}, Span(current), 0, 3);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->size(), 260u);  // 20 entries: the first count past 255
}

// A long-name set belongs to the short entry whose checksum it carries: a live entry's is known
// whole; a deleted entry lost its first byte, so its set need only agree with itself.
TEST(LongNameTest, OnlyASetCarryingItsShortEntrysChecksumNamesIt) {
    struct Case {
        const char* row;
        std::uint8_t first;   // checksum of the set's entry nearest the short entry
        std::uint8_t second;  // of the entry before it
        bool deleted;
        bool named;
    };
    const std::uint8_t own = ChecksumOf("HOLIDA~1JPG");
    const std::uint8_t other = static_cast<std::uint8_t>(own + 1);
    const std::vector<Case> cases{
        {"live, its own checksum", own, own, false, true},
        {"live, another entry's checksum", other, other, false, false},
        {"live, a set that disagrees", own, other, false, false},
        {"deleted, any checksum the set agrees on", other, other, true, true},
        {"deleted, a set that disagrees", own, other, true, false},
    };
    for (const Case& c : cases) {
        Sector s{};
        PutLongEntry(&s[32], 0x02 | 0x40, u"2024.jpg", c.second);
        PutLongEntry(&s[64], 0x01, u"Holiday in Sp", c.first);
        PutShortEntry(&s[96], "HOLIDA~1JPG", 0x20);
        if (c.deleted) {
            s[32] = s[64] = s[96] = kDeletedEntryMark;
        }
        const auto name = EntryName(LongNameSource{}, Span(s), 96, 0);
        ASSERT_TRUE(name) << c.row;
        EXPECT_EQ(name->name,
                  c.named ? "Holiday in Sp2024.jpg" : (c.deleted ? "_OLIDA~1.JPG" : "HOLIDA~1.JPG"))
            << c.row;
    }
    // The checksum rotates right and adds each of the 11 bytes: a known pair.
    EXPECT_EQ(ChecksumOf("SHORT   TXT"), 0xB5);
}

TEST(NameTestTest, ShortNamesAndLongNamesRefuseTheSameCharacters) {
    const OemCodePage asciiOnly;
    EXPECT_EQ(ShortNameText("IMG_0001.JPG", asciiOnly), "IMG_0001.JPG");
    EXPECT_EQ(ShortNameText("A:B", asciiOnly), "A:B");
    for (const std::string bad :
         {"A?B", "A*B", "A\"B", "A\\B", "A/B", "A<B", "A>B", "A|B", "A\x1F", "\x80X", "N\xD1O"}) {
        EXPECT_FALSE(ShortNameText(bad, asciiOnly)) << bad;
    }
    EXPECT_TRUE(IsValidLongName(u"Φωτογραφίες"));
    EXPECT_TRUE(IsValidLongName(u"写真"));
    EXPECT_TRUE(IsValidLongName(u"Party \U0001F389"));
    EXPECT_TRUE(IsValidLongName(u"Año: Größe"));
    EXPECT_FALSE(IsValidLongName(u"What?"));
    EXPECT_FALSE(IsValidLongName(u"tab\there"));
    EXPECT_FALSE(IsValidLongName(std::u16string{u'a', char16_t{0xD83C}}));
    EXPECT_FALSE(IsValidLongName(std::u16string{char16_t{0xDF89}, u'a'}));
    EXPECT_FALSE(IsValidLongName(std::u16string{u'a', char16_t{0xFFFF}}));
    EXPECT_EQ(LongNameToUtf8(u"Party \U0001F389 写真"),
              "Party \xF0\x9F\x8E\x89 \xE5\x86\x99\xE7\x9C\x9F");
}

TEST(EntryNameTest, TheLongNameWinsAndGarbageGivesNoName) {
    Sector s{};
    // A short alias with a code-page letter does not spoil a good long name.
    const std::size_t spanish = PutNamedEntry(s, 1, u"Año nuevo", "A\xA5ONUE~1   ");
    const std::size_t deleted = PutNamedEntry(s, 3, u"Old Stuff", "OLDSTU~1   ");
    s[deleted] = kDeletedEntryMark;
    s[deleted - 32] = kDeletedEntryMark;
    PutShortEntry(&s[6 * 32], "A?B        ");
    PutShortEntry(&s[7 * 32], "PLAIN   TXT");
    PutShortEntry(&s[8 * 32], "\xE5HOTOS     ");
    const LongNameSource none;
    EXPECT_EQ(EntryName(none, Span(s), spanish, 0)->name, "A\xC3\xB1o nuevo");
    const auto old = EntryName(none, Span(s), deleted, 0);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->name, "Old Stuff");
    EXPECT_TRUE(old->deleted);
    EXPECT_FALSE(EntryName(none, Span(s), 6 * 32, 0));
    EXPECT_EQ(EntryName(none, Span(s), 7 * 32, 0)->name, "PLAIN.TXT");
    EXPECT_EQ(EntryName(none, Span(s), 8 * 32, 0)->name, "_HOTOS");
    EXPECT_TRUE(EntryName(none, Span(s), 8 * 32, 0)->deleted);
    EXPECT_FALSE(EntryName(none, Span(s), 600, 0));
}

// A long name the name test refuses is damaged; the file keeps its short name instead of
// vanishing from the listing.
TEST(EntryNameTest, ARefusedLongNameFallsBackToTheShortName) {
    struct Case {
        const char* row;
        std::u16string longName;
        std::string short11;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases{
        {"slash", u"a/b.txt", "AB~1    TXT", "AB~1.TXT"},
        {"question mark", u"Why?", "WHY        ", "WHY"},
        {"control character", u"tab\there", "TABHER~1   ", "TABHER~1"},
        {"good long name", u"Año", "A\xA5O       ", "A\xC3\xB1o"},
        {"both refused", u"a/b", "A|B        ", std::nullopt},
    };
    const LongNameSource none;
    for (const Case& c : cases) {
        Sector s{};
        const std::size_t offset = PutNamedEntry(s, 2, c.longName, c.short11);
        const auto name = EntryName(none, Span(s), offset, 0);
        EXPECT_EQ(name ? std::optional<std::string>(name->name) : std::nullopt, c.expected)
            << c.row;
    }
}

// DOS writes a short-only name in its code page: the same byte is another letter under
// another code page, and a first byte 0x05 stands for a real 0xE5.
TEST(EntryNameTest, ShortNamesReadThroughTheCodePage) {
    struct Case {
        const char* row;
        std::string short11;
        std::string codePage;  // empty: ASCII only
        std::optional<std::string> expected;
        bool deleted = false;
    };
    const std::vector<Case> cases{
        {"umlaut 437", "M\x9ALLER  TXT", "437", "MÜLLER.TXT"},
        {"umlaut 850", "M\x9ALLER  TXT", "850", "MÜLLER.TXT"},
        {"0x9D in 437", "S\x9DREN   TXT", "437", "S¥REN.TXT"},
        {"0x9D in 850", "S\x9DREN   TXT", "CP850", "SØREN.TXT"},
        {"cyrillic 866", "\x8C\x88\x90     TXT", "866", "МИР.TXT"},
        {"deleted 437", "\xE5\x9ALLER  TXT", "437", "_ÜLLER.TXT", true},
        {"escaped lead byte 437", "\x05NTRY   TXT", "437", "σNTRY.TXT"},
        {"ascii only", "M\x9ALLER  TXT", "", std::nullopt},
    };
    for (const Case& c : cases) {
        Sector s{};
        PutShortEntry(&s[0], c.short11, 0x20);
        LongNameSource source;
        if (!c.codePage.empty()) {
            const auto page = OemCodePage::Load(c.codePage);
            ASSERT_TRUE(page) << c.row;
            source.codePage = *page;
        }
        const auto name = EntryName(source, Span(s), 0, 0);
        EXPECT_EQ(name ? std::optional<std::string>(name->name) : std::nullopt, c.expected)
            << c.row;
        EXPECT_EQ(name && name->deleted, c.deleted) << c.row;
    }
}

}  // namespace
}  // namespace lumarest

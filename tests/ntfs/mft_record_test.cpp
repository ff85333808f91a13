#include <gtest/gtest.h>

#include "core/memory_disk.h"

#include "ntfs/attributes.h"
#include "ntfs/file_data.h"
#include "ntfs/file_name.h"
#include "ntfs/mft_record.h"
#include "ntfs/record_builder.h"

namespace lumarest {
namespace {

using testing::RecordBuilder;

RecordBuilder NamedFile() {
    RecordBuilder builder;
    builder.AddResident(kAttrStandardInformation, std::vector<std::uint8_t>(72, 0x11));
    builder.AddFileName(u"Beach Day.jpg", 1);
    builder.AddNonResident(kAttrData, {0x21, 0x10, 0x00, 0x01}, 5000000);
    return builder;
}

// With three entries both sector ends come back from the array, and a torn sector (its end
// not holding the check value) is counted but still restored.
TEST(MftRecord, FixupRestoresBothSectorEnds) {
    RecordBuilder builder = NamedFile();
    builder.Put16(510, 0xA1B2);
    builder.Put16(1022, 0xC3D4);
    MftRecordBuffer record = builder.OnDisk();
    EXPECT_EQ(LoadLe16(record, 510), 0x0001);
    FixupResult result = ApplyFixup(record);
    EXPECT_EQ(result.sectorsRestored, 2u);
    EXPECT_EQ(result.mismatchedSectors, 0u);
    EXPECT_EQ(LoadLe16(record, 510), 0xA1B2);
    EXPECT_EQ(LoadLe16(record, 1022), 0xC3D4);

    MftRecordBuffer torn = builder.OnDisk();
    torn[1022] = 0x77;
    result = ApplyFixup(torn);
    EXPECT_EQ(result.mismatchedSectors, 1u);
    EXPECT_EQ(LoadLe16(torn, 1022), 0xC3D4);
}

// Counts and offsets from the disk never move a write or read out of the buffer.
TEST(MftRecord, FixupStaysInsideTheBuffer) {
    for (const auto& [offset, count] : std::vector<std::pair<std::uint16_t, std::uint16_t>>{
             {48, 0xFFFF}, {1020, 3}, {1023, 3}, {0xFFFF, 3}, {48, 0}, {48, 1}}) {
        MftRecordBuffer record = NamedFile().OnDisk();
        record[4] = static_cast<std::uint8_t>(offset);
        record[5] = static_cast<std::uint8_t>(offset >> 8);
        record[6] = static_cast<std::uint8_t>(count);
        record[7] = static_cast<std::uint8_t>(count >> 8);
        const FixupResult result = ApplyFixup(record);
        EXPECT_LE(result.sectorsRestored, 2u) << offset << " " << count;
    }
    // A buffer of one sector restores one sector only.
    const MftRecordBuffer whole = NamedFile().OnDisk();
    std::vector<std::uint8_t> half(whole.begin(), whole.begin() + 512);
    EXPECT_EQ(ApplyFixup(half).sectorsRestored, 1u);
}

// Records of every size are fixed up at each 512-byte end, read whole from the disk and
// walked to their own end: the name sits past the first 1024 bytes in the larger ones.
TEST(MftRecord, LargerRecordsAreFixedUpReadAndWalkedWhole) {
    for (const std::uint32_t sectors : {2u, 4u, 8u}) {
        SCOPED_TRACE(sectors);
        RecordBuilder builder(kRecordInUse, sectors);
        const std::size_t filler = std::size_t{sectors} * kSectorSize - 400;
        builder.AddResident(kAttrStandardInformation, std::vector<std::uint8_t>(filler, 0x11));
        builder.AddFileName(u"Far.txt", 1);
        for (std::uint32_t i = 1; i <= sectors; ++i) {
            builder.Put16(kSectorSize * i - 2, 0xA000 + i);
        }
        MftRecordBuffer torn = builder.OnDisk();
        ASSERT_EQ(torn.size(), std::size_t{sectors} * kSectorSize);
        torn[torn.size() - 2] = 0x77;  // the last stride written halfway
        const FixupResult result = ApplyFixup(torn);
        EXPECT_EQ(result.sectorsRestored, sectors);
        EXPECT_EQ(result.mismatchedSectors, 1u);
        for (std::uint32_t i = 1; i <= sectors; ++i) {
            EXPECT_EQ(LoadLe16(torn, kSectorSize * i - 2), 0xA000 + i) << i;
        }

        const MftRecordBuffer onDisk = builder.OnDisk();
        std::vector<std::uint8_t> bytes(kSectorSize * 20, 0);
        std::copy(onDisk.begin(), onDisk.end(), bytes.begin() + 4 * kSectorSize);
        MemoryDisk disk(bytes);
        MftRecordBuffer read(sectors);
        ASSERT_TRUE(ReadMftRecord(disk, 4, read));
        EXPECT_EQ(FindFileName(read, NameSpace::Win32)->name, "Far.txt");
        EXPECT_EQ(ReadFileName(disk, 4, NameSpace::Win32, sectors)->name, "Far.txt");
        // Read as 1024 bytes, a larger record's name lies out of reach, never read past.
        EXPECT_EQ(ReadFileName(disk, 4, NameSpace::Win32).has_value(), sectors == 2);
    }
}

TEST(MftRecord, HeaderOfTheOlderLayoutIsReadFromItsOwnOffsets) {
    RecordBuilder builder;
    builder.Put16(4, 0x2A);
    builder.Put16(20, 0x30);
    const MftRecordBuffer record = builder.Fixed();
    const auto header = ParseMftRecordHeader(record);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->updateSequenceOffset, 0x2A);
    EXPECT_EQ(header->firstAttributeOffset, 0x30);
    MftRecordBuffer notFile = record;
    notFile[0] = 'B';
    EXPECT_FALSE(ParseMftRecordHeader(notFile));
}

std::vector<std::uint32_t> Types(ByteSpan record) {
    std::vector<std::uint32_t> types;
    WalkAttributes(record, [&](const Attribute& attribute) {
        types.push_back(attribute.type);
        return true;
    });
    return types;
}

// The walk ends at the end marker, at a length of 0, at an attribute running past the
// record and at a first-attribute offset past it; contents that leave their attribute are
// marked out of bounds instead of read.
TEST(Attributes, WalkStopsAtEveryBrokenLength) {
    const RecordBuilder builder = NamedFile();
    const MftRecordBuffer good = builder.Fixed();
    EXPECT_EQ(Types(good), (std::vector<std::uint32_t>{0x10, 0x30, 0x80}));

    MftRecordBuffer zeroLength = good;
    zeroLength[RecordBuilder::kFirstAttribute + 96 + 4] = 0;  // the $FILE_NAME's length
    EXPECT_EQ(Types(zeroLength), (std::vector<std::uint32_t>{0x10}));

    MftRecordBuffer pastEnd = good;
    pastEnd[RecordBuilder::kFirstAttribute + 5] = 0x04;  // 72 + 1024
    EXPECT_TRUE(Types(pastEnd).empty());

    MftRecordBuffer firstPastEnd = good;
    firstPastEnd[20] = 0xFC;
    firstPastEnd[21] = 0x03;
    EXPECT_TRUE(Types(firstPastEnd).empty());

    MftRecordBuffer contentPastAttribute = good;
    contentPastAttribute[RecordBuilder::kFirstAttribute + 96 + 16] = 0xF0;  // content length
    const auto name = FindUnnamedAttribute(contentPastAttribute, kAttrFileName);
    ASSERT_TRUE(name);
    EXPECT_FALSE(name->contentInBounds);
    EXPECT_FALSE(FindFileName(contentPastAttribute, NameSpace::Win32));
}

// A buffer larger than any record, filled with the smallest attributes, meets the bound.
TEST(Attributes, WalkEndsAtItsBound) {
    std::vector<std::uint8_t> many(24 + 24 * (kMaxAttributesPerRecord + 10));
    many[20] = 24;
    for (std::size_t at = 24; at + 24 <= many.size(); at += 24) {
        many[at] = 0x40;
        many[at + 4] = 24;
    }
    EXPECT_EQ(WalkAttributes(many, [](const Attribute&) { return true; }), kMaxAttributesPerRecord);
}

TEST(Attributes, DataSizeOfResidentAndNonResidentData) {
    EXPECT_EQ(DataSize(NamedFile().Fixed()), 5000000u);
    RecordBuilder resident;
    resident.AddFileName(u"notes.txt", 3);
    resident.AddResident(kAttrData, std::vector<std::uint8_t>(300, 'x'));
    EXPECT_EQ(DataSize(resident.Fixed()), 300u);
    // A named stream is not the file's data.
    RecordBuilder named;
    named.AddResident(kAttrData, std::vector<std::uint8_t>(10, 'x'), 4);
    EXPECT_FALSE(DataSize(named.Fixed()));
}

// Every byte of a real-shaped record broken in turn: the readers stay inside the record.
TEST(Attributes, BrokenTwinsOfARecordAreReadSafely) {
    const MftRecordBuffer good = NamedFile().Fixed();
    for (std::size_t at = 0; at < 400; ++at) {
        for (const std::uint8_t value : {0x00, 0x7F, 0xFF}) {
            MftRecordBuffer broken = good;
            broken[at] = value;
            ApplyFixup(broken);
            std::vector<FileNameInfo> names;
            CollectFileNames(broken, names);
            DataSize(broken);
            EXPECT_LE(names.size(), 1u);
        }
    }
}

}  // namespace
}  // namespace lumarest

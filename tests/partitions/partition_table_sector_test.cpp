#include "partitions/partition_table_sector.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>

namespace lumarest {
namespace {

using Sector = std::array<std::uint8_t, 512>;

Sector TableWith(int index, std::uint8_t type, std::uint32_t first, std::uint32_t count) {
    Sector sector{};
    std::uint8_t* entry = sector.data() + 446 + 16 * index;
    entry[0] = 0x80;
    entry[1] = 0xFE;  // CHS fields are not read
    entry[4] = type;
    for (int i = 0; i < 4; ++i) {
        entry[8 + i] = static_cast<std::uint8_t>(first >> (8 * i));
        entry[12 + i] = static_cast<std::uint8_t>(count >> (8 * i));
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

void Put(Sector& sector, std::size_t offset, const char* text) {
    std::memcpy(sector.data() + offset, text, std::strlen(text));
}

TEST(PartitionTableSector, EitherSignatureByteAcceptsTheSector) {
    Sector sector = TableWith(0, 0x0C, 2048, 4096);
    EXPECT_TRUE(HasTableSignature(sector));
    sector[510] = 0x00;
    EXPECT_TRUE(HasTableSignature(sector));
    sector[510] = 0x55;
    sector[511] = 0x00;
    EXPECT_TRUE(HasTableSignature(sector));
    sector[510] = 0xAA;  // swapped bytes are no signature
    sector[511] = 0x55;
    EXPECT_FALSE(HasTableSignature(sector));
    EXPECT_FALSE(HasTableSignature(ByteSpan(sector).first(511)));
}

TEST(PartitionTableSector, ReadsTypeStartAndSizeOfEachEntry) {
    Sector sector = TableWith(3, 0x07, 0xFFFFFFF0u, 0x12345678u);
    const PartitionEntry last = ParsePartitionEntry(sector, 3);
    EXPECT_EQ(last.type, 0x07);
    EXPECT_EQ(last.firstSector, 0xFFFFFFF0u);
    EXPECT_EQ(last.sectorCount, 0x12345678u);
    EXPECT_EQ(ParsePartitionEntry(sector, 0).type, 0x00);
    // Out of range indexes and short buffers give an empty entry, never a read past the end.
    EXPECT_EQ(ParsePartitionEntry(sector, 4).type, 0x00);
    EXPECT_EQ(ParsePartitionEntry(sector, -1).type, 0x00);
    EXPECT_EQ(ParsePartitionEntry(ByteSpan(sector).first(500), 3).type, 0x00);
}

TEST(PartitionTableSector, BootSectorNamesOverrideTheTypeInTheirOrder) {
    Sector boot{};
    EXPECT_EQ(ApplyBootSectorMarkers(boot, 0x83), 0x83);
    Put(boot, 3, "NTFS    ");
    EXPECT_EQ(ApplyBootSectorMarkers(boot, 0x83), kTypeNtfs);
    Put(boot, 54, "FAT16   ");
    EXPECT_EQ(ApplyBootSectorMarkers(boot, 0x07), kTypeFat16);
    Put(boot, 82, "FAT32   ");
    EXPECT_EQ(ApplyBootSectorMarkers(boot, 0x07), kTypeFat32);

    Sector broken{};
    Put(broken, 82, "FAT3 ");
    Put(broken, 54, "fat16");
    Put(broken, 4, "NTFS");  // one byte off
    EXPECT_EQ(ApplyBootSectorMarkers(broken, 0x01), 0x01);
    EXPECT_EQ(ApplyBootSectorMarkers(ByteSpan(boot).first(86), 0x00), kTypeFat16);
}

// exFAT shares type 0x07 with NTFS: only the name at 3 tells them apart, and it wins over any
// type and over FAT names its own fields may spell.
TEST(PartitionTableSector, EntriesAreNamedByTheirBootSectorBeforeTheirType) {
    struct Case {
        const char* name;       // at 3
        const char* fat32Mark;  // at 82
        std::uint8_t type;
        std::optional<FileSystem> listed;
    };
    const Case cases[] = {
        {"EXFAT   ", "", 0x07, FileSystem::ExFat},
        {"EXFAT   ", "FAT32   ", 0x07, FileSystem::ExFat},
        {"EXFAT   ", "", 0x83, FileSystem::ExFat},
        {"EXFAT   ", "", 0x05, FileSystem::ExFat},
        {"NTFS    ", "", 0x07, FileSystem::Ntfs},
        {"", "", 0x07, FileSystem::Ntfs},
        {"EXFAT1  ", "", 0x07, FileSystem::Ntfs},
        {"exfat   ", "", 0x07, FileSystem::Ntfs},
        {"EXFAT", "", 0x07, FileSystem::Ntfs},
        {"", "", 0x83, std::nullopt},
    };
    for (const Case& c : cases) {
        Sector boot{};
        Put(boot, 3, c.name);
        Put(boot, 82, c.fat32Mark);
        for (const TableKind kind : {TableKind::Master, TableKind::Extended}) {
            EXPECT_EQ(EntryFileSystem(boot, c.type, kind), c.listed)
                << '"' << c.name << "\" type " << int{c.type};
        }
    }
    Sector exfat{};
    Put(exfat, 3, "EXFAT   ");
    EXPECT_EQ(MarkedFileSystem(exfat), FileSystem::ExFat);
    // Treated as a volume, never as an extended partition to walk into.
    EXPECT_FALSE(IsExtendedType(ApplyBootSectorMarkers(exfat, 0x05)));
    EXPECT_EQ(MarkedFileSystem(ByteSpan(exfat).first(10)), std::nullopt);
}

TEST(PartitionTableSector, TypeBytesGiveTheListedNames) {
    for (std::uint8_t type : {0x04, 0x06, 0x0E}) {
        EXPECT_EQ(ListedFileSystem(type, TableKind::Master), FileSystem::Fat16) << int{type};
    }
    EXPECT_EQ(ListedFileSystem(0x0B, TableKind::Master), FileSystem::Fat32);
    EXPECT_EQ(ListedFileSystem(0x0C, TableKind::Extended), FileSystem::Fat32);
    EXPECT_EQ(ListedFileSystem(0x07, TableKind::Master), FileSystem::Ntfs);
    EXPECT_EQ(ListedFileSystem(0x01, TableKind::Extended), FileSystem::Fat16);
    EXPECT_EQ(ListedFileSystem(0x01, TableKind::Master), std::nullopt);
    for (std::uint8_t type : {0x00, 0x05, 0x0F, 0x83, 0xEE, 0x0D, 0xFF}) {
        EXPECT_EQ(ListedFileSystem(type, TableKind::Extended), std::nullopt) << int{type};
    }
    EXPECT_TRUE(IsExtendedType(0x05));
    EXPECT_TRUE(IsExtendedType(0x0F));
    EXPECT_FALSE(IsExtendedType(0x85));
}

}  // namespace
}  // namespace lumarest

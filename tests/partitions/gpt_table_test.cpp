#include "partitions/gpt_table.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <bit>
#include <cstring>
#include <functional>
#include <regex>

#include "core/memory_disk.h"
#include "partitions/partition_table.h"
#include "partitions/partition_test_disks.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;
using testing::Walk;
using Spans = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

void PutLe(Bytes& bytes, std::uint64_t offset, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void PutText(Bytes& bytes, std::uint64_t offset, const char* text) {
    std::memcpy(bytes.data() + offset, text, std::strlen(text));
}

// A boot sector at byte `offset` naming `fileSystem`, its size in sectors of `sectorBytes`.
void PutBootSector(Bytes& bytes, std::uint64_t offset, FileSystem fileSystem, std::uint64_t sectors,
                   std::uint32_t sectorBytes = 512) {
    PutLe(bytes, offset + 11, sectorBytes, 2);
    switch (fileSystem) {
        case FileSystem::Fat32:
            PutText(bytes, offset + 82, "FAT32   ");
            PutLe(bytes, offset + 32, sectors, 4);
            break;
        case FileSystem::Fat16:
            PutText(bytes, offset + 54, "FAT16   ");
            PutLe(bytes, offset + 19, sectors, 2);
            break;
        case FileSystem::Ntfs:
            PutText(bytes, offset + 3, "NTFS    ");
            PutLe(bytes, offset + 40, sectors, 8);
            break;
        case FileSystem::ExFat:
            // exFAT leaves the FAT fields zero and gives its sector size as a power of two.
            PutLe(bytes, offset + 11, 0, 2);
            PutText(bytes, offset + 3, "EXFAT   ");
            PutLe(bytes, offset + 72, sectors, 8);
            bytes.at(offset + 108) = static_cast<std::uint8_t>(std::countr_zero(sectorBytes));
            break;
    }
    PutLe(bytes, offset + 510, 0xAA55, 2);
}

void PutMbrEntry(Bytes& bytes, int index, std::uint8_t type, std::uint32_t first,
                 std::uint32_t count) {
    const std::uint64_t entry = 446 + 16 * index;
    bytes.at(entry + 4) = type;
    PutLe(bytes, entry + 8, first, 4);
    PutLe(bytes, entry + 12, count, 4);
    PutLe(bytes, 510, 0xAA55, 2);
}

struct GptPart {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    bool formatted = true;  // a FAT32 boot sector at its first LBA
    bool used = true;       // a non-zero type GUID
};

// The shape of an in-memory GPT disk, in its logical sectors.
struct GptLayout {
    std::uint32_t sectorBytes = 512;
    std::uint64_t lbas = 4096;
    std::uint32_t entryCount = 128;
    std::uint32_t entrySize = 128;
    std::uint32_t headerSize = 92;
    std::uint64_t entriesLba = 2;
    bool protectiveEntry = true;
    std::vector<GptPart> parts = {{40, 1039}, {1040, 1099, false}};

    std::uint64_t ArrayLbas() const {
        return (std::uint64_t{entryCount} * entrySize + sectorBytes - 1) / sectorBytes;
    }
};

std::uint32_t Crc(const Bytes& bytes, std::uint64_t offset, std::uint64_t size) {
    return static_cast<std::uint32_t>(
        crc32(crc32(0, Z_NULL, 0), bytes.data() + offset, static_cast<uInt>(size)));
}

// Writes the entry array at `entriesLba` and a header at `lba` pointing at it; the entries
// are written only as far as the array's real size allows.
void PutGpt(Bytes& bytes, const GptLayout& layout, std::uint64_t lba, std::uint64_t entriesLba) {
    const std::uint64_t array = entriesLba * layout.sectorBytes;
    const std::uint64_t arrayBytes = std::uint64_t{layout.entryCount} * layout.entrySize;
    const bool fits = array + arrayBytes <= bytes.size();
    for (std::size_t i = 0; fits && i < layout.parts.size() && i < layout.entryCount; ++i) {
        const GptPart& part = layout.parts[i];
        const std::uint64_t entry = array + i * layout.entrySize;
        bytes.at(entry) = part.used ? 0xA2 : 0;
        PutLe(bytes, entry + 32, part.first, 8);
        PutLe(bytes, entry + 40, part.last, 8);
    }
    const std::uint64_t header = lba * layout.sectorBytes;
    PutText(bytes, header, "EFI PART");
    PutLe(bytes, header + 12, layout.headerSize, 4);
    PutLe(bytes, header + 24, lba, 8);
    PutLe(bytes, header + 72, entriesLba, 8);
    PutLe(bytes, header + 80, layout.entryCount, 4);
    PutLe(bytes, header + 84, layout.entrySize, 4);
    PutLe(bytes, header + 88, fits ? Crc(bytes, array, arrayBytes) : 0, 4);
    PutLe(bytes, header + 16, 0, 4);
    const std::uint64_t crcSize = std::min<std::uint64_t>(layout.headerSize, layout.sectorBytes);
    PutLe(bytes, header + 16, Crc(bytes, header, crcSize), 4);
}

Bytes MakeGptDisk(const GptLayout& layout) {
    Bytes bytes(layout.lbas * layout.sectorBytes, 0);
    PutMbrEntry(bytes, 0, layout.protectiveEntry ? 0xEE : 0x83, 1,
                static_cast<std::uint32_t>(layout.lbas - 1));
    for (const GptPart& part : layout.parts) {
        if (part.formatted && (part.first + 1) * layout.sectorBytes <= bytes.size()) {
            PutBootSector(bytes, part.first * layout.sectorBytes, FileSystem::Fat32,
                          part.last - part.first + 1, layout.sectorBytes);
        }
    }
    PutGpt(bytes, layout, 1, layout.entriesLba);
    const std::uint64_t arrayLbas = std::min(layout.ArrayLbas(), layout.lbas - 2);
    PutGpt(bytes, layout, layout.lbas - 1, layout.lbas - 1 - arrayLbas);
    return bytes;
}

// "FAT32 40-1040 GPT table" per listed partition.
Spans SpansWithSources(const Walk& walk) {
    Spans spans = walk.Spans();
    for (std::size_t i = 0; i < spans.size(); ++i) {
        spans[i] += " " + std::string(PartitionSourceName(walk.List().partitions[i].source));
    }
    return spans;
}

// Each row: a change to the intact layout, damage done to the bytes afterwards, and what the
// walk lists (in engine sectors) and whether it says the table is damaged.
TEST(GptTable, ListsFormattedEntriesAndSurvivesBrokenHeaders) {
    const auto breakByte = [](std::uint64_t offset) {
        return [offset](Bytes& bytes, const GptLayout&) { bytes.at(offset) ^= 0xFF; };
    };
    struct Case {
        const char* name;
        std::function<void(GptLayout&)> change;
        std::function<void(Bytes&, const GptLayout&)> damage;
        Spans listed;
        bool damaged;
    };
    const Spans intact = {"FAT32 40-1040 GPT"};
    std::vector<GptPart> thirty;
    for (std::uint64_t i = 0; i < 30; ++i) {
        thirty.push_back({100 + i * 10, 109 + i * 10});
    }
    const std::vector<Case> cases = {
        {"intact", {}, {}, intact, false},
        {"4096-byte sectors",
         [](GptLayout& l) {
             l.sectorBytes = 4096;
             l.lbas = 1200;
         },
         {},
         {"FAT32 320-8320 GPT"},
         false},
        {"primary header broken: the backup", {}, breakByte(512 + 20), intact, true},
        {"primary array broken: the backup", {}, breakByte(1024), intact, true},
        {"both headers broken",
         {},
         [](Bytes& b, const GptLayout& l) {
             b.at(512 + 20) ^= 1;
             b.at((l.lbas - 1) * 512 + 20) ^= 1;
         },
         {},
         true},
        {"both arrays broken",
         {},
         [](Bytes& b, const GptLayout& l) {
             b.at(1024) ^= 1;
             b.at((l.lbas - 33) * 512) ^= 1;
         },
         {},
         true},
        {"absurd entry count", [](GptLayout& l) { l.entryCount = 0xFFFFFFFF; }, {}, {}, true},
        {"entry size not a multiple of 128", [](GptLayout& l) { l.entrySize = 200; }, {}, {}, true},
        {"entry size of 8192",
         [](GptLayout& l) {
             l.entrySize = 8192;
             l.entryCount = 4;
         },
         {},
         {},
         true},
        {"primary's array past the disk: the backup",
         [](GptLayout& l) { l.entriesLba = 5000; },
         {},
         intact,
         true},
        {"header larger than its sector", [](GptLayout& l) { l.headerSize = 600; }, {}, {}, true},
        {"entries past the end skipped, running past listed",
         [](GptLayout& l) {
             l.parts = {{40, 1039}, {5000, 6000}, {3000, 9000}};
         },
         {},
         {"FAT32 40-1040 GPT", "FAT32 3000-9001 GPT"},
         true},
        {"last before first, or unused: skipped",
         [](GptLayout& l) {
             l.parts = {{40, 1039}, {1100, 1050}, {2000, 2100, true, false}};
         },
         {},
         intact,
         false},
        {"no 0xEE entry: the GPT is not read",
         [](GptLayout& l) { l.protectiveEntry = false; },
         {},
         {},
         false},
        {"thirty formatted entries", [&](GptLayout& l) { l.parts = thirty; }, {}, {}, false},
    };
    for (const Case& c : cases) {
        GptLayout layout;
        if (c.change) {
            c.change(layout);
        }
        Bytes bytes = MakeGptDisk(layout);
        if (c.damage) {
            c.damage(bytes, layout);
        }
        MemoryDisk disk(std::move(bytes));
        disk.SetLogicalSectorBytes(layout.sectorBytes);
        Walk walk(disk);
        if (layout.parts.size() == 30) {
            EXPECT_EQ(walk.Count(), kMaxListedPartitions) << c.name;
        } else {
            EXPECT_EQ(SpansWithSources(walk), c.listed) << c.name;
        }
        EXPECT_EQ(walk.notices > 0, c.damaged) << c.name;
    }
}

// Each row: sector 0 of a 10000-sector disk, and what is listed.
TEST(WholeDiskVolume, ListsABootSectorAtZeroUnlessItHoldsAPlausibleTable) {
    struct Case {
        const char* name;
        FileSystem fileSystem;
        std::uint64_t sectors;
        std::uint32_t sectorBytes;
        std::function<void(Bytes&)> table;
        Spans listed;
    };
    const auto entry = [](std::uint8_t type, std::uint32_t first, std::uint32_t count) {
        return [=](Bytes& b) {
            PutMbrEntry(b, 1, type, first, count);
            PutBootSector(b, std::uint64_t{first} * 512, FileSystem::Fat16, count);
        };
    };
    const std::vector<Case> cases = {
        {"FAT32 of 5000 sectors", FileSystem::Fat32, 5000, 512, {}, {"FAT32 0-5000 whole disk"}},
        {"FAT16", FileSystem::Fat16, 8000, 512, {}, {"FAT16 0-8000 whole disk"}},
        {"NTFS keeps its backup one past its count",
         FileSystem::Ntfs,
         5000,
         512,
         {},
         {"NTFS 0-5001 whole disk"}},
        {"NTFS of 4096-byte sectors", FileSystem::Ntfs, 600, 4096, {}, {"NTFS 0-4808 whole disk"}},
        {"exFAT", FileSystem::ExFat, 6000, 512, {}, {"exFAT 0-6000 whole disk"}},
        {"exFAT of 4096-byte sectors",
         FileSystem::ExFat,
         600,
         4096,
         {},
         {"exFAT 0-4800 whole disk"}},
        {"size 0: the disk's end", FileSystem::Fat32, 0, 512, {}, {"FAT32 0-10000 whole disk"}},
        {"size past the disk: cut", FileSystem::Ntfs, 50000, 512, {}, {"NTFS 0-10000 whole disk"}},
        {"a plausible table is walked instead",
         FileSystem::Fat32,
         5000,
         512,
         entry(0x06, 63, 2000),
         {"FAT16 63-2063 partition table"}},
        {"an entry running past the end is no table",
         FileSystem::Fat32,
         5000,
         512,
         entry(0x06, 63, 20000),
         {"FAT32 0-5000 whole disk"}},
        {"an unknown type is no table",
         FileSystem::Fat32,
         5000,
         512,
         entry(0x54, 63, 2000),
         {"FAT32 0-5000 whole disk"}},
    };
    for (const Case& c : cases) {
        Bytes bytes(10000 * 512, 0);
        PutBootSector(bytes, 0, c.fileSystem, c.sectors, c.sectorBytes);
        if (c.table) {
            c.table(bytes);
        }
        MemoryDisk disk(std::move(bytes));
        Walk walk(disk);
        EXPECT_EQ(SpansWithSources(walk), c.listed) << c.name;
        EXPECT_EQ(walk.notices, 0) << c.name;
    }
}

// The same MBR and extended record on disks of 512- and 4096-byte sectors: their numbers
// count the disk's own sectors, so the listed engine sectors scale with the sector.
TEST(LargeSectorTables, MbrAndExtendedRecordCountInTheDisksSectors) {
    for (const std::uint32_t sectorBytes : {512u, 4096u}) {
        Bytes bytes(std::uint64_t{600} * sectorBytes, 0);
        PutMbrEntry(bytes, 0, 0x0B, 8, 100);
        PutMbrEntry(bytes, 1, 0x05, 200, 300);
        PutBootSector(bytes, std::uint64_t{8} * sectorBytes, FileSystem::Fat32, 100, sectorBytes);
        Bytes record(512, 0);
        PutMbrEntry(record, 0, 0x06, 2, 50);
        std::copy(record.begin(), record.end(), bytes.begin() + std::uint64_t{200} * sectorBytes);
        PutBootSector(bytes, std::uint64_t{202} * sectorBytes, FileSystem::Fat16, 50, sectorBytes);
        MemoryDisk disk(std::move(bytes));
        disk.SetLogicalSectorBytes(sectorBytes);
        Walk walk(disk);
        const std::uint64_t unit = sectorBytes / 512;
        EXPECT_EQ(SpansWithSources(walk),
                  (Spans{"FAT32 " + std::to_string(8 * unit) + "-" + std::to_string(108 * unit) +
                             " partition table",
                         "FAT16 " + std::to_string(202 * unit) + "-" + std::to_string(252 * unit) +
                             " extended record"}))
            << sectorBytes;
        EXPECT_EQ(walk.notices, 0) << sectorBytes;
    }
}

std::string Made(const std::string& name) {
    return testing::MadeImage("tests/partitions/make_gpt_images.sh", "gpt_test", name);
}

// Images made by the partitioning tools: FAT32 and NTFS listed whatever their type GUID, the
// ext2 partition not; a hybrid table lists them once; volumes made on the whole image list as
// one partition each. Starts and ends agree with mmls where it reads the image.
TEST(GptTable, MadeImagesListTheirFatAndNtfsPartitionsOnce) {
    struct Case {
        const char* image;
        std::uint64_t brokenByte;  // flipped in memory; 0 for none
        Spans listed;
        int notices;
    };
    const Spans gpt = {"FAT32 2048-71680 GPT", "NTFS 71680-88064 GPT"};
    const std::vector<Case> cases = {
        {"gpt.img", 0, gpt, 0},
        {"gpt.img", 512 + 20, gpt, 1},
        {"hybrid.img",
         0,
         {"FAT32 2048-71680 partition table", "NTFS 71680-88064 partition table"},
         0},
        {"whole_fat32.img", 0, {"FAT32 0-69984 whole disk"}, 0},
        {"whole_ntfs.img", 0, {"NTFS 0-32768 whole disk"}, 0},
    };
    for (const Case& c : cases) {
        const std::string image = Made(c.image);
        ASSERT_FALSE(image.empty()) << c.image;
        ImageGuard guard(image);
        PatchedImage disk(image);
        if (c.brokenByte != 0) {
            disk.Patch(c.brokenByte, 0x5A);
        }
        Walk walk(disk);
        EXPECT_EQ(SpansWithSources(walk), c.listed) << c.image << " " << c.brokenByte;
        EXPECT_EQ(walk.notices, c.notices) << c.image;
        EXPECT_EQ(disk.readsOutside_, 0u) << c.image;
        if (testing::ToolInstalled("mmls") && c.brokenByte == 0) {
            const std::string out = image + ".mmls";
            const std::string command = "mmls '" + image + "' > '" + out + "' 2>/dev/null";
            if (std::system(command.c_str()) == 0) {
                const std::string text = testing::ReadText(out);
                for (const PartitionRecord& p : walk.List().partitions) {
                    const std::regex row(":\\s+\\d+\\s+0*" + std::to_string(p.startSector) +
                                         "\\s+0*" + std::to_string(p.endSector - 1) + "\\s");
                    EXPECT_TRUE(std::regex_search(text, row)) << c.image << " " << p.startSector;
                }
            }
        }
        EXPECT_TRUE(guard.Unchanged()) << c.image;
    }
}

// The GPT made by another tool: its three entries as its listing gives them, none formatted.
TEST(GptTable, RealGptEntriesAgreeWithTheirListing) {
    const std::string image = testing::RealImage("gpt-512-3p.raw");
    if (image.empty()) {
        GTEST_SKIP() << "the shared real images are not there";
    }
    ImageGuard guard(image);
    const std::string listing =
        testing::ReadText(std::string(LUMAREST_REALDATA_DIR) + "/listings/gpt-512-3p.raw.mmls.txt");
    std::vector<std::pair<std::uint64_t, std::uint64_t>> expected;
    static const std::regex row(R"(^\d+:\s+\d{3}\s+(\d+)\s+(\d+)\s)");
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_search(line, match, row)) {
            expected.emplace_back(std::stoull(match[1]), std::stoull(match[2]));
        }
    }
    ASSERT_EQ(expected.size(), 3u);
    PatchedImage disk(image);
    const auto table = ReadGptTable(disk);
    ASSERT_TRUE(table.has_value());
    EXPECT_FALSE(table->primaryDamaged);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> read;
    for (const GptEntry& entry : table->entries) {
        read.emplace_back(entry.firstLba, entry.lastLba);
    }
    EXPECT_EQ(read, expected);
    EXPECT_EQ(Walk(disk).Count(), 0u);
    EXPECT_TRUE(guard.Unchanged());
}

// Bare volumes made by other people list as one whole-disk partition.
TEST(WholeDiskVolume, RealBareVolumesListAsOnePartition) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"fat16.raw", "FAT16 0-24576 whole disk"},
        {"fat_lfn_test.raw", "FAT32 0-131072 whole disk"},
        {"ntfs3.raw", "NTFS 0-131072 whole disk"},
    };
    for (const auto& [name, listed] : cases) {
        const std::string image = testing::RealImage(name);
        if (image.empty()) {
            continue;
        }
        ImageGuard guard(image);
        PatchedImage disk(image);
        Walk walk(disk);
        EXPECT_EQ(SpansWithSources(walk), Spans{listed}) << name;
        EXPECT_EQ(walk.notices, 0) << name;
        EXPECT_TRUE(guard.Unchanged()) << name;
    }
}

}  // namespace
}  // namespace lumarest

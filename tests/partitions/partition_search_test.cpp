#include "partitions/partition_search.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "core/memory_disk.h"
#include "disk/disk_sources.h"
#include "partitions/partition_table.h"
#include "partitions/partition_test_disks.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::ImageGuard;
using testing::PatchedImage;
using testing::SparseDisk;
using Spans = std::vector<std::string>;

constexpr SearchGeometry kStandardGeometry{1000, 255, 63};
constexpr std::uint64_t kCylinder = 255 * 63;
constexpr std::uint64_t kMebibyte = 2048;

// A boot sector the search recognises, with its size where that file system keeps it.
void PutBootSector(testing::SectorBytes& sector, FileSystem fileSystem, std::uint64_t sectors) {
    sector.fill(0);
    const auto put = [&sector](std::size_t offset, const char* text) {
        std::memcpy(sector.data() + offset, text, std::strlen(text));
    };
    const auto putLe = [&sector](std::size_t offset, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            sector[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    switch (fileSystem) {
        case FileSystem::Fat32:
            put(82, "FAT32   ");
            putLe(32, sectors, 4);
            break;
        case FileSystem::Fat16:
            put(54, "FAT16   ");
            if (sectors < 0x10000) {
                putLe(19, sectors, 2);
            } else {
                putLe(32, sectors, 4);
            }
            break;
        case FileSystem::Ntfs:
            put(3, "NTFS    ");
            putLe(40, sectors, 8);
            break;
        case FileSystem::ExFat:
            put(3, "EXFAT   ");
            putLe(72, sectors, 8);
            sector[108] = 9;  // 512-byte sectors
            break;
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
}

// The geometry the inventory shows a disk of this size with.
SearchGeometry InventoryGeometryOfImage(const SectorSource& disk) {
    DiskProperties properties;
    properties.totalSectors = disk.TotalSectors();
    ApplyStandardGeometry(properties);
    return {static_cast<std::uint32_t>(properties.totalCylinders), properties.totalHeads,
            properties.sectorsPerTrack};
}

// The table walk of disk 0, then the search, with the tree items added as the window adds them.
struct Search {
    testing::Walk walk;
    testing::RecordingReporter reporter;
    std::stop_source stop;
    PartitionSearchResult result;
    std::vector<std::size_t> reported;

    Search(SectorSource& disk, const SearchGeometry& geometry,
           const std::function<void(Search&)>& onFound = {})
        : walk(disk) {
        result = SearchPartitions(walk.run, disk, 0, geometry, reporter, stop.get_token(),
                                  [&](std::size_t index) {
                                      reported.push_back(index);
                                      AddPartitionItem(*walk.run.partitionTree, walk.diskItem,
                                                       walk.run.diskPartitionLists[0], index);
                                      if (onFound) {
                                          onFound(*this);
                                      }
                                  });
    }

    // "FAT32 63-70047 cylinder search" per listed partition.
    Spans Found() const {
        Spans spans;
        for (const PartitionRecord& p : walk.List().partitions) {
            spans.push_back(std::string(FileSystemName(p.fileSystem)) + " " +
                            std::to_string(p.startSector) + "-" + std::to_string(p.endSector) +
                            " " + std::string(PartitionSourceName(p.source)));
        }
        return spans;
    }
};

class PartitionSearchTest : public ::testing::Test {
  protected:
    std::string Own(const std::string& name) {
        return testing::MadeImage("tests/partitions/make_partition_images.sh", "partitions_test",
                                  name);
    }
};

// three.img holds FAT32 at 63 (one track in: candidate A), NTFS at 80325 (a cylinder's first
// sector: candidate B) and a FAT16 volume whose size is only in its 16-bit field.
TEST_F(PartitionSearchTest, FindsTheVolumesOfAMadeDiskThroughEitherCandidate) {
    const std::string image = Own("three.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    struct Case {
        const char* name;
        std::function<void(PatchedImage&)> damage;
        Spans found;
    };
    const std::vector<Case> cases = {
        {"the table lists one, the search adds the others",
         [](PatchedImage&) {},
         {"FAT32 63-70047 partition table", "NTFS 80325-100325 cylinder search",
          "FAT16 112518-152518 cylinder search"}},
        {"first sector zeroed",
         [](PatchedImage& disk) { disk.ZeroSector(0); },
         {"FAT32 63-70047 cylinder search", "NTFS 80325-100325 cylinder search",
          "FAT16 112518-152518 cylinder search"}},
        {"the same start with another size is listed again",
         [](PatchedImage& disk) { disk.PatchLe32(446 + 12, 69000); },
         {"FAT32 63-69063 partition table", "FAT32 63-70047 cylinder search",
          "NTFS 80325-100325 cylinder search", "FAT16 112518-152518 cylinder search"}},
    };
    for (const Case& c : cases) {
        PatchedImage disk(image);
        c.damage(disk);
        Search search(disk, InventoryGeometryOfImage(disk));
        EXPECT_EQ(search.Found(), c.found) << c.name;
        EXPECT_EQ(search.result.added, search.reported.size()) << c.name;
        EXPECT_EQ(search.walk.ItemTexts().size(), c.found.size()) << c.name;
        EXPECT_EQ(disk.readsOutside_, 0u) << c.name;
        // At most two one-sector reads per cylinder and one per 1 MiB, after the table walk's few.
        EXPECT_LE(disk.readCalls_, 2 * (disk.TotalSectors() / kCylinder + 1) +
                                       disk.TotalSectors() / kMebibyte + 1 + 4)
            << c.name;
    }
    EXPECT_TRUE(guard.Unchanged());
}

// aligned.img: NTFS at 2048 (its boot sector counts one sector less than the table) and FAT32 at
// 8192, on no cylinder's candidates.
TEST_F(PartitionSearchTest, FindsTheVolumesOfAMadeDiskOnMebibyteBoundaries) {
    const std::string image = Own("aligned.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    struct Case {
        const char* name;
        bool zeroFirstSector;
        Spans found;
    };
    const std::vector<Case> cases = {
        {"the table lists both: the NTFS entry ends after its backup boot sector, as the "
         "search counts it",
         false,
         {"NTFS 2048-8192 partition table", "FAT32 8192-78176 partition table"}},
        {"first sector zeroed",
         true,
         {"NTFS 2048-8192 aligned search", "FAT32 8192-78176 aligned search"}},
    };
    for (const Case& c : cases) {
        PatchedImage disk(image);
        if (c.zeroFirstSector) {
            disk.ZeroSector(0);
        }
        Search search(disk, InventoryGeometryOfImage(disk));
        EXPECT_EQ(search.Found(), c.found) << c.name;
        EXPECT_EQ(search.walk.ItemTexts().size(), c.found.size()) << c.name;
        EXPECT_EQ(disk.readsOutside_, 0u) << c.name;
    }
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionSearchTest, AnIntactTableOfAnEightMegabyteDiskIsListedWithoutTheNotice) {
    const std::string image = Own("intact8.img");
    ASSERT_FALSE(image.empty());
    ImageGuard guard(image);
    PatchedImage disk(image);
    Search search(disk, InventoryGeometryOfImage(disk));
    EXPECT_EQ(search.walk.notices, 0);
    EXPECT_TRUE(search.walk.run.partitionsListed);
    // The search finds the same volume and does not list it twice.
    EXPECT_EQ(search.Found(), (Spans{"FAT16 63-16383 partition table"}));
    EXPECT_TRUE(guard.Unchanged());
}

struct Boot {
    std::uint64_t sector;
    FileSystem fileSystem;
    std::uint64_t sectors;
};

// Each row: a disk that claims `diskSectors`, its boot sectors, the geometry searched, and what
// is listed afterwards.
TEST(PartitionSearch, ScansCylindersByTheRulesAndNeverLeavesTheDisk) {
    struct Case {
        const char* name;
        std::uint64_t diskSectors;
        SearchGeometry geometry;
        std::vector<Boot> boots;
        Spans found;
        bool listFull = false;
    };
    std::vector<Boot> thirty;
    for (std::uint64_t n = 0; n < 30; ++n) {
        thirty.push_back({n * kCylinder + 63, FileSystem::Fat32, 1000 + n});
    }
    const std::vector<Case> cases = {
        {"candidate A wins; B is not looked at",
         1'000'000,
         kStandardGeometry,
         {{kCylinder + 63, FileSystem::Fat32, 5000}, {kCylinder, FileSystem::Ntfs, 9000}},
         {"FAT32 16128-21128"}},
        {"A with the signature but no file system hides B",
         1'000'000,
         kStandardGeometry,
         {{kCylinder, FileSystem::Ntfs, 9000}},
         {}},
        {"a FAT16 size only in the 16-bit field",
         1'000'000,
         kStandardGeometry,
         {{2 * kCylinder, FileSystem::Fat16, 20000}},
         {"FAT16 32130-52130"}},
        {"an NTFS size beyond 32 bits",
         1'000'000,
         kStandardGeometry,
         {{kCylinder, FileSystem::Ntfs, (std::uint64_t{1} << 33) + 5}},
         {"NTFS 16065-8589950663"}},
        {"16 heads, 32 sectors, 1000 cylinders are searched as 31 of 255 x 63",
         1'000'000,
         {1000, 16, 32},
         {{30 * kCylinder + 63, FileSystem::Fat32, 100},
          {31 * kCylinder + 63, FileSystem::Ntfs, 100}},
         {"FAT32 482013-482113"}},
        {"empty geometry scans nothing", 1'000'000, {}, {{63, FileSystem::Fat32, 100}}, {}},
        {"no heads scans nothing", 1'000'000, {1000, 0, 63}, {{63, FileSystem::Fat32, 100}}, {}},
        {"a disk of unknown size scans nothing",
         0,
         kStandardGeometry,
         {{63, FileSystem::Fat32, 100}},
         {}},
        {"a disk smaller than one cylinder is searched where it has sectors",
         10'000,
         {1, 255, 63},
         {{63, FileSystem::Fat16, 9000}},
         {"FAT16 63-9063"}},
        {"absurd cylinders end at the disk's end",
         100'000,
         {0xFFFFFFFFu, 255, 63},
         {{6 * kCylinder, FileSystem::Ntfs, 100}},
         {"NTFS 96390-96491"}},
        {"no boot sector", 1'000'000, kStandardGeometry, {}, {}},
        {"26 at most", 1'000'000, kStandardGeometry, thirty, {}, true},
    };
    for (const Case& c : cases) {
        SparseDisk disk(std::max<std::uint64_t>(c.diskSectors, 1'000'000), c.diskSectors);
        for (const Boot& boot : c.boots) {
            PutBootSector(disk.At(boot.sector), boot.fileSystem, boot.sectors);
        }
        if (c.name == std::string("A with the signature but no file system hides B")) {
            disk.At(kCylinder + 63)[510] = 0x55;
            disk.At(kCylinder + 63)[511] = 0xAA;
        }
        Search search(disk, c.geometry);
        Spans found;
        for (const PartitionRecord& p : search.walk.List().partitions) {
            found.push_back(std::string(FileSystemName(p.fileSystem)) + " " +
                            std::to_string(p.startSector) + "-" + std::to_string(p.endSector));
        }
        if (c.listFull) {
            EXPECT_EQ(found.size(), kMaxListedPartitions) << c.name;
            EXPECT_EQ(found.back(), "FAT32 401688-402713") << c.name;
        } else {
            EXPECT_EQ(found, c.found) << c.name;
        }
        EXPECT_EQ(search.result.listFull, c.listFull) << c.name;
        EXPECT_EQ(disk.readsOutside_, 0u) << c.name;
    }
}

TEST(PartitionSearch, ASecondSearchListsNothingTwiceAndReportsItsProgress) {
    SparseDisk disk(20 * kCylinder);
    PutBootSector(disk.At(63), FileSystem::Fat32, 5000);
    PutBootSector(disk.At(4 * kCylinder), FileSystem::Ntfs, 5000);
    Search search(disk, {20, 255, 63});
    ASSERT_EQ(search.result.added, 2u);
    EXPECT_EQ(search.reported, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(search.walk.ItemTexts(),
              (Spans{"Partition - 1 ( FAT32 )", "Partition - 2 ( NTFS )"}));
    // One bar over 20 cylinders and 157 boundaries: each percentage once.
    const auto calls = search.reporter.Calls();
    ASSERT_EQ(calls.size(), 100u);
    EXPECT_EQ(calls.front(), "progress 1: 0 Completed ");
    EXPECT_EQ(calls.back(), "progress 1: 99 Completed ");

    testing::RecordingReporter again;
    const auto second =
        SearchPartitions(search.walk.run, disk, 0, {20, 255, 63}, again, std::stop_token{}, {});
    EXPECT_EQ(second.added, 0u);
    EXPECT_EQ(search.walk.Count(), 2u);
}

TEST(PartitionSearch, AStopRequestedFromTheHandlerKeepsWhatWasAdded) {
    struct Case {
        const char* name;
        std::uint64_t firstVolume;
        std::uint64_t step;
        const char* lastFound;
    };
    const std::vector<Case> cases = {
        {"in the cylinder pass", 63, kCylinder, "FAT16 32193-33193 cylinder search"},
        {"in the aligned pass", kMebibyte, kMebibyte, "FAT16 6144-7144 aligned search"},
    };
    for (const Case& c : cases) {
        SparseDisk disk(40 * kCylinder);
        for (std::uint64_t n = 0; n < 10; ++n) {
            PutBootSector(disk.At(c.firstVolume + n * c.step), FileSystem::Fat16, 1000);
        }
        Search search(disk, {40, 255, 63}, [](Search& s) {
            if (s.reported.size() == 3) {
                s.stop.request_stop();
            }
        });
        EXPECT_TRUE(search.result.stopped) << c.name;
        EXPECT_EQ(search.result.added, 3u) << c.name;
        ASSERT_EQ(search.walk.Count(), 3u) << c.name;
        EXPECT_EQ(search.Found().back(), c.lastFound) << c.name;
        EXPECT_EQ(search.walk.ItemTexts().back(), "Partition - 3 ( FAT16 )") << c.name;
    }
}

// Each row: boot sectors of a disk of `diskSectors` searched with `geometry`, and what is listed.
// No sector is read twice by the search, none outside the disk.
TEST(PartitionSearch, TestsEachMebibyteBoundaryAfterTheCylindersOnce) {
    struct Case {
        const char* name;
        std::uint64_t diskSectors;
        SearchGeometry geometry;
        std::vector<Boot> boots;
        Spans found;
        bool listFull = false;
    };
    // 257 cylinders in, candidate A lies on a 1 MiB boundary.
    constexpr std::uint64_t kAlignedTrack = 257 * kCylinder + 63;
    // 2048 cylinders in, the cylinder's first sector lies on one.
    constexpr std::uint64_t kUnreadBoundary = 2048 * kCylinder;
    std::vector<Boot> thirty;
    for (std::uint64_t n = 1; n <= 20; ++n) {
        thirty.push_back({n * kCylinder + 63, FileSystem::Fat32, 100});
    }
    for (std::uint64_t k = 1; k <= 10; ++k) {
        thirty.push_back({k * kMebibyte, FileSystem::Fat32, 100});
    }
    const std::vector<Case> cases = {
        {"listed after the cylinders, in ascending order",
         1'000'000,
         kStandardGeometry,
         {{5 * kMebibyte, FileSystem::Ntfs, 100},
          {3 * kMebibyte, FileSystem::Fat16, 100},
          {kCylinder + 63, FileSystem::Fat32, 100},
          {7 * kMebibyte, FileSystem::ExFat, 100}},
         {"FAT32 16128-16228 cylinder search", "FAT16 6144-6244 aligned search",
          "NTFS 10240-10341 aligned search", "exFAT 14336-14436 aligned search"}},
        {"a boundary that is a candidate A is the cylinder pass's",
         5'000'000,
         kStandardGeometry,
         {{kAlignedTrack, FileSystem::Ntfs, 100}},
         {"NTFS 4128768-4128869 cylinder search"}},
        {"sector 0: the whole disk's, read once by the cylinder pass",
         1'000'000,
         kStandardGeometry,
         {{0, FileSystem::Fat16, 100}},
         {"FAT16 0-100 whole disk"}},
        {"a boundary the cylinder rule left unread is tested",
         40'000'000,
         {2490, 255, 63},
         {{kUnreadBoundary + 63, FileSystem::Fat32, 100},
          {kUnreadBoundary, FileSystem::Ntfs, 9000}},
         {"FAT32 32901183-32901283 cylinder search", "NTFS 32901120-32910121 aligned search"}},
        {"the last boundary of a disk that ends inside its mebibyte",
         10 * kMebibyte + 1,
         kStandardGeometry,
         {{10 * kMebibyte, FileSystem::Fat16, 1}},
         {"FAT16 20480-20481 aligned search"}},
        {"no geometry: the boundaries alone",
         1'000'000,
         {},
         {{63, FileSystem::Fat32, 100}, {kMebibyte, FileSystem::Fat32, 100}},
         {"FAT32 2048-2148 aligned search"}},
        {"between boundaries: nothing", 1'000'000, {}, {{kMebibyte + 1, FileSystem::Ntfs, 9}}, {}},
        {"26 at most over both passes", 1'000'000, kStandardGeometry, thirty, {}, true},
    };
    for (const Case& c : cases) {
        SparseDisk disk(c.diskSectors);
        for (const Boot& boot : c.boots) {
            PutBootSector(disk.At(boot.sector), boot.fileSystem, boot.sectors);
        }
        Search search(disk, c.geometry);
        if (c.listFull) {
            ASSERT_EQ(search.walk.Count(), kMaxListedPartitions) << c.name;
            EXPECT_EQ(search.Found().back(), "FAT32 12288-12388 aligned search") << c.name;
        } else {
            EXPECT_EQ(search.Found(), c.found) << c.name;
        }
        EXPECT_EQ(search.result.listFull, c.listFull) << c.name;
        EXPECT_EQ(disk.readsOutside_, 0u) << c.name;
        for (const auto& [sector, reads] : disk.readsOf_) {
            // The table walk reads sector 0 first.
            EXPECT_EQ(reads, sector == 0 ? 2 : 1) << c.name << ", sector " << sector;
        }
    }
}

// An exFAT boot sector is known by its name alone, whatever its other bytes hold (FAT marks
// among them); its size counts in its own sectors of 2^(byte 108) bytes.
TEST(PartitionSearch, ExFatBootSectorsAreRecognisedByTheirName) {
    struct Case {
        const char* name;
        std::uint8_t sectorShift;
        std::uint64_t counted;
        bool garbage;
        std::uint64_t sectors;
    };
    const Case cases[] = {
        {"512-byte sectors", 9, 500000, false, 500000},
        {"4096-byte sectors", 12, 1000, false, 8000},
        {"a shift below 512 bytes gives no size", 8, 1000, false, 0},
        {"a shift above 4096 bytes gives no size", 13, 1000, false, 0},
        {"a size past 64 bits is held at the largest", 12, std::uint64_t{1} << 62, false,
         std::numeric_limits<std::uint64_t>::max()},
        {"FAT marks and garbage in its fields", 9, 2048, true, 2048},
    };
    for (const Case& c : cases) {
        testing::SectorBytes sector;
        if (c.garbage) {
            for (std::size_t i = 0; i < sector.size(); ++i) {
                sector[i] = static_cast<std::uint8_t>(i * 37 + 11);
            }
        }
        const auto putLe = [&sector](std::size_t offset, std::uint64_t value) {
            for (int i = 0; i < 8; ++i) {
                sector[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
            }
        };
        std::memcpy(sector.data() + 3, "EXFAT   ", 8);
        if (c.garbage) {
            std::memcpy(sector.data() + 54, "FAT16   ", 8);
            std::memcpy(sector.data() + 82, "FAT32   ", 8);
        }
        putLe(72, c.counted);
        sector[108] = c.sectorShift;
        sector[510] = 0x55;
        sector[511] = 0xAA;
        const auto volume = RecogniseBootSector(sector);
        ASSERT_TRUE(volume) << c.name;
        EXPECT_EQ(volume->fileSystem, FileSystem::ExFat) << c.name;
        EXPECT_EQ(volume->sectors, c.sectors) << c.name;
        sector[511] = 0x00;
        EXPECT_FALSE(RecogniseBootSector(sector)) << c.name << ": no boot signature";
    }
}

// On a disk of 4096-byte sectors a cylinder is 16065 of them and one track 63: the volume one
// track into cylinder 1 lies at engine sector 129024, the one at 16128 is no candidate. 1 MiB
// stays 2048 engine sectors, and sizes count in the volume's own sectors.
TEST(PartitionSearch, CountsCylindersInTheDisksOwnSectors) {
    constexpr std::uint64_t kEngineSectors = 131072;
    MemoryDisk disk(std::vector<std::uint8_t>(kEngineSectors * kSectorSize));
    disk.SetLogicalSectorBytes(4096);
    const std::vector<Boot> boots = {{2048, FileSystem::Fat32, 1000},
                                     {16128, FileSystem::Fat16, 1000},
                                     {129024, FileSystem::Ntfs, 100}};
    for (const Boot& boot : boots) {
        testing::SectorBytes sector;
        PutBootSector(sector, boot.fileSystem, boot.sectors);
        sector[11] = 0x00;  // 4096 bytes per sector
        sector[12] = 0x10;
        std::memcpy(disk.Bytes().data() + boot.sector * kSectorSize, sector.data(), kSectorSize);
    }
    Search search(disk, {2, 255, 63});
    EXPECT_EQ(search.Found(),
              (Spans{"NTFS 129024-129832 cylinder search", "FAT32 2048-10048 aligned search"}));
}

TEST(PartitionSearch, InventoryGeometryIsTheShownDisksOwn) {
    RecoveryRun run;
    EXPECT_EQ(InventoryGeometry(run, 0).cylinders, 0u);
    run.shownDisk.diskNumber = 2;
    run.shownDisk.cylinders = "1000";
    run.shownDisk.heads = "16";
    run.shownDisk.sectorsPerTrack = "32";
    const SearchGeometry shown = InventoryGeometry(run, 2);
    EXPECT_EQ(shown.cylinders, 1000u);
    EXPECT_EQ(shown.heads, 16u);
    EXPECT_EQ(shown.sectorsPerTrack, 32u);
    EXPECT_EQ(NormaliseGeometry(shown).cylinders, 31u);
    EXPECT_EQ(InventoryGeometry(run, 1).heads, 0u);
}

// Bare volumes made by other people are listed as whole disks, and the search finds them again
// at sector 0 only where its end differs (NTFS's count leaves out the backup boot sector); the
// partitioned ones start at 128 or 2048, on no cylinder boundary, so with their first sector
// zeroed nothing is found.
TEST(PartitionSearch, RealImagesAreFoundWhereTheyStartOnACylinder) {
    struct Case {
        const char* image;
        bool zeroFirstSector;
        Spans found;
    };
    const std::vector<Case> cases = {
        {"fat16.raw", false, {"FAT16 0-24576 whole disk"}},
        {"fat_deleted_dir_2.raw", false, {"FAT16 0-32768 whole disk"}},
        {"fat32_loop.raw", false, {"FAT32 0-131072 whole disk"}},
        {"ntfs3.raw", false, {"NTFS 0-131072 whole disk"}},
        {"fat64.raw", true, {}},
        {"ntfs_index.raw", true, {}},
        {"mbr-win-512.raw", true, {}},
        {"fat64.raw", false, {"FAT32 2048-131072 partition table"}},
    };
    int seen = 0;
    for (const Case& c : cases) {
        const std::string image = testing::RealImage(c.image);
        if (image.empty()) {
            continue;
        }
        ++seen;
        ImageGuard guard(image);
        PatchedImage disk(image);
        if (c.zeroFirstSector) {
            disk.ZeroSector(0);
        }
        Search search(disk, InventoryGeometryOfImage(disk));
        EXPECT_EQ(search.Found(), c.found) << c.image;
        EXPECT_EQ(disk.readsOutside_, 0u) << c.image;
        EXPECT_TRUE(guard.Unchanged()) << c.image;
    }
    if (seen == 0) {
        GTEST_SKIP() << "the shared real images are not there";
    }
}

}  // namespace
}  // namespace lumarest

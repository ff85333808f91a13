#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "ntfs/attributes.h"
#include "ntfs/mft_number_assignment.h"
#include "ntfs/mft_record.h"
#include "ntfs/ntfs_raw_scan.h"
#include "ntfs/ntfs_test_volumes.h"
#include "ntfs/ntfs_work_tables.h"
#include "partitions/volume_params.h"
#include "search/advance_search.h"
#include "search/standard_search.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "support/recording_reporter.h"
#include "tree/folder_browse.h"
#include "tree/folder_tree_events.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {
namespace {

using testing::ImageGuard;

constexpr const char* kScript = "tests/ntfs/make_advance_ntfs_images.sh";
constexpr const char* kFolder = "advance_ntfs";
constexpr std::uint64_t kTreeStart = 3001;
constexpr std::uint32_t kTreeSpc = 4;

std::string MadeImage(const std::string& name) {
    return testing::MadeImage(kScript, kFolder, name);
}

std::string MadeFile(const std::string& name) {
    const std::string image = MadeImage("tree.vol");
    return image.empty() ? image : image.substr(0, image.rfind('/')) + "/files/" + name;
}

// The first phase over the whole disk, as an Advance NTFS search of "Unknown Partition" runs it.
std::size_t SearchWholeDisk(RecoveryRun& run, SectorSource& disk) {
    run.selectedPartition.fsName = "NTFS";
    run.selectedPartition.startSector = 0;
    run.selectedPartition.endSector = static_cast<std::int64_t>(disk.TotalSectors()) - 1;
    NullReporter reporter;
    ScanNtfsRaw(run, disk, reporter, run.scanStop.get_token());
    return AssignMftNumbers(run, disk, reporter);
}

// The found volume starting at `first`, or the number of volumes when there is none.
std::size_t VolumeAt(const RecoveryRun& run, std::uint64_t first) {
    for (std::size_t row = 0; row < run.fileSystemTable.RowCount(); ++row) {
        if (run.fileSystemTable.CellNumber(row, kVolumeSector) ==
            static_cast<std::int64_t>(first)) {
            return row;
        }
    }
    return run.fileSystemTable.RowCount();
}

bool SystemPath(const std::string& path) {
    return path.starts_with('$') || path.find("/$") != std::string::npos;
}

// "Photos/2009" for every folder of the rebuilt tree, the orphan folder and system folders
// left out.
std::set<std::string> TreeFolders(const RecoveryRun& run) {
    std::set<std::string> paths;
    const TreeModel& tree = *run.folderTree;
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        std::string path = node.name;
        for (TreeItem item = tree.Parent(node.treeItem);
             item != kNoItem && tree.Parent(item) != kNoItem; item = tree.Parent(item)) {
            path = tree.Text(item) + "/" + path;
        }
        if (!path.starts_with("LMR_Miscellaneous") && !SystemPath(path)) {
            paths.insert(path);
        }
    }
    return paths;
}

std::set<std::string> FlsFolders(const std::string& image) {
    std::set<std::string> paths = testing::FlsFolders(image);
    std::erase_if(paths, [](const std::string& path) { return SystemPath(path); });
    return paths;
}

TreeItem FolderItem(const RecoveryRun& run, const std::string& name) {
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        if (node.name == name) {
            return node.treeItem;
        }
    }
    return kNoItem;
}

// Names of the files the rebuilt volume lists anywhere.
std::set<std::string> FileNames(const RecoveryRun& run) {
    std::set<std::string> names;
    for (std::size_t row = 0; row < run.fileTable.RowCount(); ++row) {
        names.insert(run.fileTable.Cell(row, 0));
    }
    return names;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(AdvanceNtfs, VolumeIsFoundAndItsTreeAgreesWithFls) {
    const std::string original = MadeImage("tree.vol");
    ASSERT_FALSE(original.empty());
    const std::set<std::string> expected = FlsFolders(original);
    ASSERT_GT(expected.size(), 30u) << "fls lists the folders of the original";
    struct Case {
        const char* image;
        std::size_t bootSectors;  // rows of the boot-sector table
    };
    for (const Case& c : {Case{"intact.img", 2}, Case{"wiped.img", 0}}) {
        const std::string image = MadeImage(c.image);
        const ImageGuard guard(image);
        MemoryDisk disk = testing::LoadDisk(image);
        RecoveryRun run;
        SearchWholeDisk(run, disk);
        EXPECT_EQ(run.bootSectorTable.RowCount(), c.bootSectors) << c.image;
        const std::size_t volume = VolumeAt(run, kTreeStart);
        ASSERT_LT(volume, run.volumesFound) << c.image;
        EXPECT_EQ(run.fileSystemTable.CellU32(volume, kVolumeSpc), kTreeSpc) << c.image;
        EXPECT_EQ(run.fileSystemTable.Cell(volume, kVolumePartType), "NTFS") << c.image;
        NullReporter reporter;
        ASSERT_TRUE(RebuildFoundVolume(run, disk, reporter, volume)) << c.image;
        EXPECT_EQ(TreeFolders(run), expected) << c.image;
        EXPECT_TRUE(guard.Unchanged()) << c.image;
    }
}

TEST(AdvanceNtfs, FileOfAFoundVolumeSavesWithItsBytes) {
    struct Case {
        const char* image;
        const char* folder;
        const char* file;
    };
    const Case cases[] = {
        {"intact.img", "Letters", "report.bin"},
        {"wiped.img", "Letters", "report.bin"},
        {"wiped.img", "Beach", "beach.txt"},
    };
    for (const Case& c : cases) {
        const std::string row = std::string(c.image) + " " + c.file;
        const std::string image = MadeImage(c.image);
        const ImageGuard guard(image);
        MemoryDisk disk = testing::LoadDisk(image);
        RecoveryRun run;
        SearchWholeDisk(run, disk);
        NullReporter reporter;
        ASSERT_TRUE(RebuildFoundVolume(run, disk, reporter, VolumeAt(run, kTreeStart))) << row;
        const TreeItem item = FolderItem(run, c.folder);
        ASSERT_NE(item, kNoItem) << row;
        ListFolder(run, disk, item);
        std::optional<FileRef> listed;
        for (std::size_t r = 0; r < run.fileList.RowCount(); ++r) {
            if (run.fileList.Cell(r, 0) == c.file) {
                listed = ListedRowRef(run, r);
            }
        }
        ASSERT_TRUE(listed) << row << ": the folder lists the file";
        std::ostringstream out;
        EXPECT_EQ(WriteListedFile(run, disk, *listed, out), RecoveredFileStatus::Written) << row;
        const std::string wanted = c.file == std::string("beach.txt") ? "note.txt" : c.file;
        EXPECT_EQ(out.str(), FileBytes(MadeFile(wanted))) << row;
        EXPECT_TRUE(guard.Unchanged()) << row;
    }
}

// A second volume chosen after the first still has its files, and each lists only its own.
TEST(AdvanceNtfs, EachOfTwoVolumesListsItsOwnFilesInAnyOrder) {
    const std::string image = MadeImage("two.img");
    const ImageGuard guard(image);
    MemoryDisk disk = testing::LoadDisk(image);
    RecoveryRun run;
    ASSERT_EQ(SearchWholeDisk(run, disk), 2u);
    struct Case {
        std::size_t volume;
        const char* own;
        const char* other;
    };
    const Case order[] = {{0, "first.txt", "report.bin"},
                          {1, "report.bin", "first.txt"},
                          {0, "first.txt", "report.bin"}};
    NullReporter reporter;
    for (std::size_t step = 0; step < std::size(order); ++step) {
        const Case& c = order[step];
        ASSERT_TRUE(RebuildFoundVolume(run, disk, reporter, c.volume)) << "step " << step;
        const std::set<std::string> names = FileNames(run);
        EXPECT_TRUE(names.contains(c.own)) << "step " << step;
        EXPECT_FALSE(names.contains(c.other)) << "step " << step;
    }
    EXPECT_TRUE(guard.Unchanged());
}

// Clears the own-number field of the named folder's record on the disk copy and the mark of
// the record before it; returns the folder's true number, or 0 when the scan did not find it.
std::uint32_t ClearOwnNumber(MemoryDisk& disk, const RecoveryRun& scanned,
                             const std::string& name) {
    const TextTable& records = scanned.ntfsRecordTable;
    for (std::size_t row = 0; row < records.RowCount(); ++row) {
        if (records.Cell(row, kRecordName) == name &&
            records.Cell(row, kRecordType) == kRecordFolderType) {
            const auto at = static_cast<std::size_t>(records.CellNumber(row, kRecordSector)) * 512;
            std::fill_n(disk.Bytes().begin() + static_cast<std::ptrdiff_t>(at + 44), 4, 0);
            // The record before it goes too, so its neighbour's number plus one is not its own.
            std::fill_n(disk.Bytes().begin() + static_cast<std::ptrdiff_t>(at - 1024), 4, 0);
            return records.CellU32(row, kRecordSelf);
        }
    }
    return 0;
}

TEST(AdvanceNtfs, FolderWithoutItsOwnNumberGetsItFromAnIndexBlock) {
    const std::string image = MadeImage("wiped.img");
    ASSERT_FALSE(image.empty());
    for (const std::string name :
         {"Letters", "Album 07 with a long folder name", "Album 20 with a long folder name"}) {
        MemoryDisk disk = testing::LoadDisk(image);
        RecoveryRun first;
        SearchWholeDisk(first, disk);
        const std::uint32_t number = ClearOwnNumber(disk, first, name);
        ASSERT_GT(number, 5u) << name;
        RecoveryRun run;
        SearchWholeDisk(run, disk);
        bool seen = false;
        for (std::size_t row = 0; row < run.ntfsRecordTable.RowCount(); ++row) {
            if (run.ntfsRecordTable.Cell(row, kRecordName) == name) {
                EXPECT_EQ(run.ntfsRecordTable.CellU32(row, kRecordSelf), number) << name;
                seen = true;
            }
        }
        EXPECT_TRUE(seen) << name;
    }
}

// What the user sees while the search runs, in order: each phase's caption as written.
TEST(AdvanceNtfs, SearchShowsItsPhasesInOrder) {
    const std::string image = MadeImage("wiped.img");
    ASSERT_FALSE(image.empty());
    MemoryDisk disk = testing::LoadDisk(image);
    RecoveryRun run;
    run.selectedPartition.fsName = "NTFS";
    run.selectedPartition.endSector = static_cast<std::int64_t>(disk.TotalSectors()) - 1;
    testing::RecordingReporter reporter;
    ScanNtfsRaw(run, disk, reporter, run.scanStop.get_token());
    const std::string blocks = std::to_string(run.indexBlockTable.RowCount());
    const std::string records = std::to_string(run.ntfsRecordTable.RowCount());
    AssignMftNumbers(run, disk, reporter);
    const std::string last = std::to_string(disk.TotalSectors() - 1);
    const std::string wanted[] = {
        "value 6: Sectors  0 of " + last,
        "value 4: " + records,
        "value 6: Sectors  " + std::to_string(disk.TotalSectors()) + " of " + last,
        "status: Please wait...",
        "phase:  Assigning MFT Numbers Phase 1 \\ 2   ...",
        "phase:  Assigning MFT Numbers Phase 1 \\ 2 ( " + blocks + "/" + blocks + " ) .....",
        "phase:  Assigning MFT Numbers Phase 2 \\ 2   ...",
        "phase:  Extracting Directory Entries .........",
        "phase: Analysining File Systems List",
        "phase: Assigned " + std::to_string(run.foundDirectoryTable.RowCount()) + " / " +
            std::to_string(run.foundDirectoryTable.RowCount()),
    };
    const std::vector<std::string> calls = reporter.Calls();
    auto from = calls.begin();
    for (const std::string& line : wanted) {
        from = std::find(from, calls.end(), line);
        ASSERT_NE(from, calls.end()) << "missing or out of order: " << line;
    }
}

// Two folders without boot sector, each with its first index block on the disk: their first
// index clusters and block sectors give the cluster size and the volume's first sector.
TEST(AdvanceNtfs, PairOfFoldersGivesAVolumeOnlyWhenItHoldsTogether) {
    struct Case {
        const char* name;
        std::uint64_t runA, sectorA, runB, sectorB;
        const char* first;  // the volume's first sector; empty when none is found
        const char* spc;
    };
    const Case cases[] = {
        {"clusters of 4 sectors", 10, 1040, 20, 1080, "1000", "4"},
        {"the later folder's run first", 20, 1080, 10, 1040, "1000", "4"},
        {"a cluster size that divides unevenly", 10, 1040, 13, 1053, "1000", "4"},
        {"clusters of 256 sectors", 1, 300, 2, 556, "", ""},
        {"a first sector before the disk", 100, 50, 101, 54, "", ""},
        {"equal first runs", 10, 1040, 10, 1080, "", ""},
        {"runs and sectors in opposite order", 10, 1080, 20, 1040, "", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes(4096 * 512, 0);
        for (const std::uint64_t sector : {c.sectorA, c.sectorB}) {
            std::copy_n("INDX", 4, bytes.begin() + static_cast<std::ptrdiff_t>(sector * 512));
        }
        MemoryDisk disk(std::move(bytes));
        RecoveryRun run;
        run.selectedPartition.endSector = 4095;
        run.ntfsRecordTable.AppendRow(
            {"A", "2000", "5", "40", "0", kRecordFolderType, "0", "1", std::to_string(c.runA), ""});
        run.ntfsRecordTable.AppendRow(
            {"B", "2002", "5", "41", "0", kRecordFolderType, "0", "2", std::to_string(c.runB), ""});
        run.indexBlockTable.AppendRow({std::to_string(c.sectorA), "40", "0", "4294967295"});
        run.indexBlockTable.AppendRow({std::to_string(c.sectorB), "41", "0", "4294967295"});
        NullReporter reporter;
        const std::size_t volumes = AssignMftNumbers(run, disk, reporter);
        if (std::string(c.first).empty()) {
            EXPECT_EQ(volumes, 0u) << c.name;
            continue;
        }
        ASSERT_EQ(volumes, 1u) << c.name;
        EXPECT_EQ(run.fileSystemTable.Cell(0, kVolumeSector), c.first) << c.name;
        EXPECT_EQ(run.fileSystemTable.Cell(0, kVolumeCluster0Start), c.first) << c.name;
        EXPECT_EQ(run.fileSystemTable.Cell(0, kVolumeSpc), c.spc) << c.name;
        EXPECT_EQ(run.fileSystemTable.Cell(0, kVolumeSpf), "4095") << c.name << ": its end";
        EXPECT_EQ(run.foundDirectoryTable.CellU32(0, kFoundFolderFsNumber), 1u) << c.name;
    }
}

// Sectors of a crafted disk, for the rows the scan writes.
std::vector<std::uint8_t> BootSector(std::uint8_t spc, std::uint8_t indexClusters) {
    std::vector<std::uint8_t> sector(512, 0);
    std::copy_n("\xEB\x52\x90NTFS    ", 11, sector.begin());
    sector[13] = spc;
    sector[40] = 0x00;
    sector[41] = 0x10;  // 4096 sectors
    sector[68] = indexClusters;
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

// An index block of `sectors` sectors claiming `claimed` bytes, with one directory entry whose
// parent is `owner`; the update sequence is in place.
std::vector<std::uint8_t> IndexBlock(std::uint32_t sectors, std::uint32_t claimed,
                                     std::uint32_t owner) {
    std::vector<std::uint8_t> block(std::size_t{sectors} * 512, 0);
    const auto put = [&](std::size_t at, std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i) {
            block[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    std::copy_n("INDX", 4, block.begin());
    put(4, 40, 2);             // update sequence at 40
    put(6, sectors + 1, 2);    // check value and one entry a sector
    put(16, 0, 8);             // vcn
    put(24, 40, 4);            // first entry at 24 + 40 = 64
    put(28, claimed - 24, 4);  // used
    put(32, claimed - 24, 4);  // allocated
    put(40, 1, 2);             // check value
    const std::size_t entry = 64;
    put(entry, 77, 8);         // file reference
    put(entry + 8, 0x60, 2);   // entry length
    put(entry + 10, 0x48, 2);  // key length
    put(entry + 16, owner, 8);
    put(entry + 16 + 56, 0x10000000, 4);
    block[entry + 16 + 64] = 1;  // name of one unit
    block[entry + 16 + 66] = 'A';
    put(entry + 0x60 + 8, 16, 2);  // the end entry
    put(entry + 0x60 + 12, 2, 2);
    for (std::uint32_t s = 1; s <= sectors; ++s) {
        put(s * 512 - 2, 1, 2);
    }
    return block;
}

void Place(std::vector<std::uint8_t>& disk, std::uint64_t sector,
           const std::vector<std::uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), disk.begin() + static_cast<std::ptrdiff_t>(sector * 512));
}

TEST(AdvanceNtfs, ScanRowsOfCraftedSectors) {
    struct Case {
        const char* name;
        std::uint64_t sector;
        std::vector<std::uint8_t> bytes;
        std::size_t bootRows;
        std::size_t blockRows;
        std::string cell;  // boot: sectors per index record; block: its owner
    };
    const Case cases[] = {
        {"boot sector, 4 KiB index records", 7, BootSector(8, 0xF4), 1, 0, "8"},
        {"boot sector, index records of 2 clusters", 7, BootSector(8, 2), 1, 0, "16"},
        {"index block across a chunk's end", 1020, IndexBlock(8, 4096, 40), 0, 1, "40"},
        {"index block of a system directory", 30, IndexBlock(8, 4096, 4), 0, 0, ""},
        {"index block claiming more than 64 KiB", 30, IndexBlock(8, 70000, 40), 0, 0, ""},
        {"index block in the range's last sectors", 2044, IndexBlock(4, 2048, 41), 0, 1, "41"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes(2048 * 512, 0);
        Place(bytes, c.sector, c.bytes);
        MemoryDisk disk(std::move(bytes));
        RecoveryRun run;
        run.selectedPartition.endSector = 2047;
        NullReporter reporter;
        ScanNtfsRaw(run, disk, reporter, run.scanStop.get_token());
        ASSERT_EQ(run.bootSectorTable.RowCount(), c.bootRows) << c.name;
        ASSERT_EQ(run.indexBlockTable.RowCount(), c.blockRows) << c.name;
        if (c.bootRows == 1) {
            EXPECT_EQ(run.bootSectorTable.Cell(0, kBootIndexSectors), c.cell) << c.name;
            EXPECT_EQ(run.bootSectorTable.Cell(0, kBootSector), std::to_string(c.sector)) << c.name;
        }
        if (c.blockRows == 1) {
            EXPECT_EQ(run.indexBlockTable.Cell(0, kBlockOwner), c.cell) << c.name;
            EXPECT_EQ(run.indexBlockTable.Cell(0, kBlockFsNumber), "4294967295") << c.name;
        }
    }
}

// A record starting in a chunk's last sector is read whole: its name lies past the chunk.
TEST(AdvanceNtfs, RecordAcrossAChunkEndKeepsItsName) {
    const std::string image = MadeImage("tree.vol");
    ASSERT_FALSE(image.empty());
    MemoryDisk volume = testing::LoadDisk(image);
    RecoveryRun scanned;
    SearchWholeDisk(scanned, volume);
    const TextTable& records = scanned.ntfsRecordTable;
    ASSERT_GT(records.RowCount(), 0u);
    std::size_t row = 0;
    while (row < records.RowCount() && records.Cell(row, kRecordName) != "Letters") {
        ++row;
    }
    ASSERT_LT(row, records.RowCount());
    const auto from = static_cast<std::size_t>(records.CellNumber(row, kRecordSector)) * 512;
    std::vector<std::uint8_t> bytes(2048 * 512, 0);
    std::copy_n(volume.Bytes().begin() + static_cast<std::ptrdiff_t>(from), 1024,
                bytes.begin() + 1023 * 512);
    MemoryDisk disk(std::move(bytes));
    RecoveryRun run;
    run.selectedPartition.endSector = 2047;
    NullReporter reporter;
    ScanNtfsRaw(run, disk, reporter, run.scanStop.get_token());
    ASSERT_EQ(run.ntfsRecordTable.RowCount(), 1u);
    EXPECT_EQ(run.ntfsRecordTable.Cell(0, kRecordName), "Letters");
    EXPECT_EQ(run.ntfsRecordTable.Cell(0, kRecordSector), "1023");
    EXPECT_EQ(run.ntfsRecordTable.Cell(0, kRecordSelf), records.Cell(row, kRecordSelf));
}

// Random bytes stamped with every mark the scan looks for.
std::vector<std::uint8_t> GarbageDisk(std::uint32_t sectors) {
    std::mt19937 random(15);
    std::vector<std::uint8_t> bytes(std::size_t{sectors} * 512);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    for (std::uint32_t s = 0; s < sectors; ++s) {
        std::uint8_t* sector = bytes.data() + std::size_t{s} * 512;
        switch (s % 4) {
            case 0:
                std::copy_n("FILE", 4, sector);
                sector[28] = 0;
                sector[29] = 4;
                sector[30] = sector[31] = 0;
                break;
            case 1:
                std::copy_n("INDX", 4, sector);
                sector[34] = sector[35] = 0;
                break;
            case 2:
                std::copy_n("NTFS", 4, sector + 3);
                sector[510] = 0x55;
                sector[511] = 0xAA;
                break;
            default:
                break;
        }
    }
    return bytes;
}

TEST(AdvanceNtfs, BadInputEndsWithoutHarm) {
    const std::string intact = MadeImage("intact.img");
    ASSERT_FALSE(intact.empty());
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::int64_t first;
        std::int64_t last;
        std::size_t volumes;
    };
    std::vector<std::uint8_t> truncated = testing::LoadDisk(intact).Bytes();
    truncated.resize(truncated.size() / 2);
    const std::vector<std::uint8_t> whole = testing::LoadDisk(intact).Bytes();
    const Case cases[] = {
        {"one sector of a volume", whole, 3001, 3001, 0},
        {"range past the disk's end", whole, 40000, 90000, 0},
        {"range ending before it starts", whole, 5000, 4000, 0},
        {"truncated image", truncated, 0, 40000, 1},
        {"garbage marks", GarbageDisk(6000), 0, 5999, 0},
    };
    for (const Case& c : cases) {
        MemoryDisk disk(c.bytes);
        RecoveryRun run;
        run.selectedPartition.fsName = "NTFS";
        run.selectedPartition.startSector = c.first;
        run.selectedPartition.endSector = c.last;
        NullReporter reporter;
        const auto started = std::chrono::steady_clock::now();
        ScanNtfsRaw(run, disk, reporter, run.scanStop.get_token());
        const std::size_t volumes = AssignMftNumbers(run, disk, reporter);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << c.name;
        if (c.volumes == 0) {
            EXPECT_EQ(volumes, 0u) << c.name;
        } else {
            EXPECT_GE(volumes, c.volumes) << c.name;
        }
        for (std::size_t v = 0; v < volumes; ++v) {
            EXPECT_TRUE(RebuildFoundVolume(run, disk, reporter, v)) << c.name;
        }
        EXPECT_EQ(disk.Bytes(), c.bytes) << c.name << ": the disk is unchanged";
    }
}

// Every folder as "path #self deleted" and every file as "path/name #record deleted", as the
// rebuilt tree and its file lists give them.
std::set<std::string> VolumeRows(RecoveryRun& run, SectorSource& disk) {
    std::set<std::string> rows;
    const auto mark = [](bool deleted) { return deleted ? " deleted" : " live"; };
    const std::unique_ptr<RebuiltVolume> volume = OpenRebuiltVolume(run, disk);
    const auto addFiles = [&](const std::string& path, std::uint32_t folder) {
        volume->ForEachFile(folder, [&](const FileListRow& row, const FileRef& file) {
            rows.insert(path + "/" + row.name + " #" + std::to_string(file.recordNumber) +
                        mark(file.deleted));
        });
    };
    addFiles("Root", volume->RootFolderId());
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        const std::string path = ItemPath(*run.folderTree, node.treeItem);
        rows.insert(path + " #" + std::to_string(node.selfId) + mark(node.deleted));
        addFiles(path, node.selfId);
    }
    return rows;
}

// The Advance search of a volume lists what the Standard search of it lists: the same folders
// and files under the same record numbers, deleted where they are deleted, and nothing twice.
TEST(AdvanceNtfs, RebuiltVolumeAgreesWithTheStandardSearch) {
    struct Case {
        const char* name;
        std::string image;
        std::int64_t first;   // the volume's first sector; its last is the partition's
        std::int64_t last;    // -1: the image's last sector
        const char* deleted;  // a deleted folder, or the whole row of a deleted file
        std::uint32_t spc;
        std::string searched;  // the copy the Advance search reads when it is not the image
    };
    const Case cases[] = {
        {"demo NTFS partition", testing::FixtureImage("demo.img"), 104448, 104448 + 32768 - 1,
         "Old Holiday\\Day 2 #71 deleted", 8, ""},
        {"volume written through ntfs-3g", MadeImage("deleted.vol"), 0, -1, "Gone\\Inner", 8, ""},
        {"older record layout", testing::RealImage("ntfs3.raw"), 0, -1, "", 8, ""},
        // Only the root has an index block here: no pair of folders gives the volume.
        {"small volume without boot sectors, 4 KiB clusters", MadeImage("small4096.img"), 2048,
         2048 + 6144 - 1, "Small/dropped.txt #67 deleted", 8, MadeImage("small4096-wiped.img")},
        {"small volume without boot sectors, 1 KiB clusters", MadeImage("small1024.img"), 2048,
         2048 + 6144 - 1, "Small/dropped.txt #67 deleted", 2, MadeImage("small1024-wiped.img")},
    };
    for (const Case& c : cases) {
        if (c.image.empty()) {
            // Only the shared real images may be missing.
            EXPECT_STREQ(c.name, "older record layout") << ": no image";
            continue;
        }
        const ImageGuard guard(c.image);
        MemoryDisk disk = testing::LoadDisk(c.image);
        const std::int64_t last =
            c.last < 0 ? static_cast<std::int64_t>(disk.TotalSectors()) - 1 : c.last;
        NullReporter reporter;
        RecoveryRun standard;
        SetPartitionFileSystem(standard.selectedPartition, "NTFS");
        standard.selectedPartition.startSector = c.first;
        standard.selectedPartition.endSector = last;
        ASSERT_EQ(ValidatePartition(standard, disk, reporter), 1) << c.name;
        RunStandardSearch(standard, disk, reporter, false, standard.scanStop.get_token());
        const std::set<std::string> expected = VolumeRows(standard, disk);

        const std::string searchedImage = c.searched.empty() ? c.image : c.searched;
        const ImageGuard searchedGuard(searchedImage);
        MemoryDisk searched = testing::LoadDisk(searchedImage);
        RecoveryRun advance;
        SetPartitionFileSystem(advance.selectedPartition, "NTFS");
        advance.selectedPartition.startSector = c.first;
        advance.selectedPartition.endSector = last;
        RunAdvanceSearch(advance, searched, reporter, advance.scanStop.get_token());
        const std::size_t volume = VolumeAt(advance, static_cast<std::uint64_t>(c.first));
        ASSERT_TRUE(RebuildFoundVolume(advance, searched, reporter, volume)) << c.name;
        EXPECT_EQ(advance.fileSystemTable.CellU32(volume, kVolumeSpc), c.spc) << c.name;
        EXPECT_EQ(advance.fileSystemTable.CellU32(volume, kVolumeCluster0Start), c.first) << c.name;
        const std::set<std::string> rows = VolumeRows(advance, searched);
        EXPECT_EQ(rows, expected) << c.name;
        if (*c.deleted != '\0') {
            const std::string folder = std::string(c.deleted) + " #";
            const auto marked = std::find_if(rows.begin(), rows.end(), [&](const std::string& r) {
                return r == c.deleted || (r.starts_with(folder) && r.ends_with(" deleted"));
            });
            EXPECT_NE(marked, rows.end()) << c.name << ": " << c.deleted << " is deleted";
        }
        std::size_t mftRows = 0;
        for (const std::string& r : rows) {
            mftRows += r.starts_with("Root/$MFT #") ? 1 : 0;
        }
        EXPECT_EQ(mftRows, 1u) << c.name << ": the mirror's copy is not a file";
        EXPECT_TRUE(rows.contains("Root/$MFT #0 live")) << c.name;
        EXPECT_TRUE(guard.Unchanged()) << c.name;
        EXPECT_TRUE(searchedGuard.Unchanged()) << c.name;
    }
}

// The disk offset of the $DATA run list of the record at `sector`, and the bytes it may take.
std::pair<std::size_t, std::size_t> DataRunsAt(MemoryDisk& disk, std::uint64_t sector) {
    MftRecordBuffer record;
    if (!ReadMftRecord(disk, sector, record)) {
        return {0, 0};
    }
    const auto data = FindUnnamedAttribute(ByteSpan(record.data(), record.size()), kAttrData);
    if (!data || !data->nonResident) {
        return {0, 0};
    }
    return {sector * 512 + static_cast<std::size_t>(data->runs.data() - record.data()),
            data->runs.size()};
}

// A small volume whose boot sectors are gone is found from its master file table only when
// records 0, 1 and 7 hold together; a record 0 that does not is passed over.
TEST(AdvanceNtfs, MasterFileTableGivesAVolumeOnlyWhenItsRecordsAgree) {
    const std::string image = MadeImage("small4096-wiped.img");
    ASSERT_FALSE(image.empty());
    constexpr std::uint64_t kStart = 2048;
    constexpr std::uint64_t kRecord0 = kStart + 4 * 8;  // cluster 4 of 8 sectors
    using Bytes = std::vector<std::uint8_t>;
    constexpr std::size_t kRunList = 0;  // the record's $DATA run list, wherever it lies
    constexpr std::size_t kOwnNumber = 44;
    struct Case {
        const char* name;
        std::uint32_t record;  // the record changed
        std::size_t at;        // where in it
        Bytes bytes;
        bool decoy;  // a copy of records 0 to 7 before the volume
        std::size_t volumes;
    };
    const Case cases[] = {
        {"intact table", 0, kRunList, {}, false, 1},
        {"a run past the disk's end",
         0,
         kRunList,
         {0x11, 0x20, 0x04, 0x21, 0x10, 0x00, 0x7F, 0},
         false,
         0},
        {"a run before cluster 0", 0, kRunList, {0x11, 0x20, 0x04, 0x11, 0x10, 0x80, 0}, false, 0},
        {"a run length of nine bytes", 0, kRunList, {0x19, 0x20, 0x04, 0}, false, 0},
        {"the first run at cluster 0", 0, kRunList, {0x11, 0x20, 0x00, 0}, false, 0},
        {"a mirror that holds no copy of record 0", 1, kRunList, {0x11, 0x01, 0x05, 0}, false, 0},
        {"the mirror's record numbered 9", 1, kOwnNumber, {9}, false, 0},
        {"the boot file away from cluster 0", 7, kRunList, {0x11, 0x02, 0x01, 0}, false, 0},
        {"a decoy table whose mirror is elsewhere", 0, kRunList, {}, true, 1},
    };
    for (const Case& c : cases) {
        MemoryDisk disk = testing::LoadDisk(image);
        Bytes& bytes = disk.Bytes();
        const std::uint64_t sector = kRecord0 + 2 * c.record;
        std::size_t at = sector * 512 + c.at;
        if (c.at == kRunList && !c.bytes.empty()) {
            std::size_t room = 0;
            std::tie(at, room) = DataRunsAt(disk, sector);
            ASSERT_GE(room, c.bytes.size()) << c.name;
        }
        std::copy(c.bytes.begin(), c.bytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        if (c.decoy) {
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(kRecord0 * 512), 16 * 512,
                        bytes.begin() + 100 * 512);
        }
        RecoveryRun run;
        ASSERT_EQ(SearchWholeDisk(run, disk), c.volumes) << c.name;
        if (c.volumes == 1) {
            EXPECT_EQ(run.fileSystemTable.Cell(0, kVolumeSector), "2048") << c.name;
            EXPECT_EQ(run.fileSystemTable.Cell(0, kVolumeSpc), "8") << c.name;
            // The volume ends with the furthest run of its table, mirror and bitmap: inside
            // the partition, past the table's first records.
            const std::uint32_t last = run.fileSystemTable.CellU32(0, kVolumeSpf);
            EXPECT_GT(last, kRecord0) << c.name;
            EXPECT_LE(last, kStart + 6144 - 1) << c.name;
        }
    }
}

TEST(AdvanceNtfs, RealImagesGiveTheirVolumes) {
    struct Case {
        const char* image;
        std::uint64_t first;
        std::uint32_t spc;
    };
    const Case cases[] = {
        {"ntfs_index.raw", 128, 4},
        {"ntfs3.raw", 0, 8},
        {"ntfs3_attrlist.raw", 0, 8},
    };
    for (const Case& c : cases) {
        const std::string image = testing::RealImage(c.image);
        if (image.empty()) {
            GTEST_SKIP() << "the shared real images are not here";
        }
        const ImageGuard guard(image);
        MemoryDisk disk = testing::LoadDisk(image);
        RecoveryRun run;
        SearchWholeDisk(run, disk);
        const std::size_t volume = VolumeAt(run, c.first);
        ASSERT_LT(volume, run.volumesFound) << c.image;
        EXPECT_EQ(run.fileSystemTable.CellU32(volume, kVolumeSpc), c.spc) << c.image;
        NullReporter reporter;
        EXPECT_TRUE(RebuildFoundVolume(run, disk, reporter, volume)) << c.image;
        EXPECT_GT(run.folderNodes.Count(), 1) << c.image;
        EXPECT_TRUE(guard.Unchanged()) << c.image;
    }
}

}  // namespace
}  // namespace lumarest

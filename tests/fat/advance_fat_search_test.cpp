#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/le_bytes.h"
#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "fat/advance_fat_search.h"
#include "fat/lost_directory_recovery.h"
#include "partitions/partition_test_disks.h"
#include "search/advance_search.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "support/recording_reporter.h"
#include "tree/folder_browse.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;

constexpr const char* kScript = "tests/fat/make_advance_fat_images.sh";
constexpr const char* kFolder = "advance_fat";

std::string Made(const std::string& name) {
    return testing::MadeImage(kScript, kFolder, name);
}

// Where a volume made by the script lies and how its clusters are laid out, from its intact
// copy's boot sector.
struct Layout {
    std::uint64_t offset = 0;
    std::uint32_t spc = 0;
    std::uint32_t cluster0Start = 0;
    std::uint64_t sectors = 0;
};

Layout LayoutOf(const std::string& volume) {
    std::ifstream offsetFile(Made(volume + ".offset"));
    Layout layout;
    offsetFile >> layout.offset;
    std::vector<std::uint8_t> boot(kSectorSize);
    std::ifstream(Made(volume + ".vol"), std::ios::binary)
        .read(reinterpret_cast<char*>(boot.data()), kSectorSize);
    const ByteSpan b(boot);
    layout.spc = LoadLe8(b, 13).value_or(0);
    const std::uint32_t reserved = LoadLe16(b, 14).value_or(0);
    const std::uint32_t fats = LoadLe8(b, 16).value_or(0);
    const std::uint32_t rootSectors = LoadLe16(b, 17).value_or(0) / 16;
    std::uint32_t spf = LoadLe16(b, 22).value_or(0);
    if (spf == 0) {
        spf = LoadLe32(b, 36).value_or(0);
    }
    std::uint64_t total = LoadLe16(b, 19).value_or(0);
    layout.sectors = total != 0 ? total : LoadLe32(b, 32).value_or(0);
    layout.cluster0Start = static_cast<std::uint32_t>(layout.offset + reserved + fats * spf +
                                                      rootSectors - 2 * layout.spc);
    return layout;
}

void SearchWholeDisk(RecoveryRun& run, SectorSource& disk, const std::string& fsName) {
    run.searchMode = SearchMode::Advance;
    run.selectedPartition.fsName = fsName;
    run.selectedPartition.startSector = 0;
    run.selectedPartition.endSector = static_cast<std::int64_t>(disk.TotalSectors()) - 1;
    NullReporter reporter;
    RunAdvanceSearch(run, disk, reporter, run.scanStop.get_token());
}

// Rebuilds `volume` and expands every folder once, as a user opening the whole tree would, so
// that each folder carries the name its parent's entry gives it.
std::set<std::string> RebuiltFolders(RecoveryRun& run, SectorSource& disk, std::size_t volume) {
    testing::RecordingReporter reporter;
    EXPECT_TRUE(RebuildFoundVolume(run, disk, reporter, volume));
    for (std::size_t i = 0; i < run.folderNodes.Nodes().size(); ++i) {
        OnFolderItemExpanding(run, disk, run.folderNodes.Nodes()[i].treeItem, ExpandAction::Expand);
    }
    std::set<std::string> paths;
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        if (node.selfId != kOrphanFolderId) {
            paths.insert(testing::PathOf(run.folderNodes, node));
        }
    }
    return paths;
}

// The lower-cased names run.fileList shows after listing `item`.
std::set<std::string> ListedNames(RecoveryRun& run, SectorSource& disk, TreeItem item) {
    ListFolder(run, disk, item);
    std::set<std::string> names;
    for (std::size_t row = 0; row < run.fileList.RowCount(); ++row) {
        std::string name = run.fileList.Cell(row, 0);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        names.insert(name);
    }
    return names;
}

TreeItem ItemNamed(const RecoveryRun& run, const std::string& name) {
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        if (node.name == name) {
            return node.treeItem;
        }
    }
    return kNoItem;
}

struct WipedDisk {
    const char* image;
    const char* fsName;
    std::vector<std::string> volumes;  // intact copies, in the order they lie on the disk
    bool bootSectorKept;
    const char* foundType;
};

void PrintTo(const WipedDisk& disk, std::ostream* out) {
    *out << disk.image << " searched for " << disk.fsName;
}

class AdvanceFatImageTest : public ::testing::TestWithParam<WipedDisk> {};

TEST_P(AdvanceFatImageTest, FindsEachVolumeAndRebuildsItsFolders) {
    const WipedDisk& c = GetParam();
    const std::string path = Made(c.image);
    ASSERT_FALSE(path.empty());
    ImageGuard guard(path);
    PatchedImage disk(path);
    RecoveryRun run;
    SearchWholeDisk(run, disk, c.fsName);
    ASSERT_EQ(run.volumesFound, c.volumes.size());
    ASSERT_EQ(run.fileSystemTable.RowCount(), c.volumes.size());
    for (std::size_t v = 0; v < c.volumes.size(); ++v) {
        const Layout layout = LayoutOf(c.volumes[v]);
        const TextTable& t = run.fileSystemTable;
        SCOPED_TRACE(c.volumes[v]);
        EXPECT_EQ(t.CellU32(v, kVolumeSpc), layout.spc);
        EXPECT_EQ(t.CellU32(v, kVolumeCluster0Start), layout.cluster0Start);
        EXPECT_EQ(t.Cell(v, kVolumePartType), c.foundType);
        EXPECT_EQ(t.CellU32(v, kVolumeSector), c.bootSectorKept ? layout.offset : 0);
        if (c.bootSectorKept) {
            EXPECT_EQ(t.CellU32(v, kVolumeFirstFat), layout.offset + 32);
            EXPECT_EQ(t.CellU32(v, kVolumeTotalSectors), layout.offset + layout.sectors);
        }

        const std::set<std::string> rebuilt = RebuiltFolders(run, disk, v);
        const std::set<std::string> listed = testing::FlsFolders(Made(c.volumes[v] + ".vol"));
        ASSERT_FALSE(listed.empty()) << "fls listed nothing";
        std::vector<std::string> missing;
        std::set_difference(listed.begin(), listed.end(), rebuilt.begin(), rebuilt.end(),
                            std::back_inserter(missing));
        EXPECT_TRUE(missing.empty())
            << ::testing::PrintToString(missing) << " of " << ::testing::PrintToString(rebuilt);
        // Listing reads the found volume: its root directory and a folder's own clusters.
        const std::set<std::string> root = ListedNames(run, disk, run.folderTree->TopItem());
        EXPECT_EQ(root.count("readme.txt"), 1u) << ::testing::PrintToString(root);
        EXPECT_EQ(root.count("photos"), 1u) << ::testing::PrintToString(root);
        const TreeItem summer = ItemNamed(run, "Summer");
        ASSERT_NE(summer, kNoItem);
        EXPECT_EQ(ListedNames(run, disk, summer).count("beach.txt"), 1u);
        // Only this volume's directories were rebuilt.
        for (std::size_t row = 0; row < run.folderTable.RowCount(); ++row) {
            const std::uint64_t sector = run.folderTable.CellU32(row, kEntrySector);
            if (run.folderTable.CellU32(row, kEntrySelf) == kOrphanFolderId) {
                continue;
            }
            EXPECT_GE(sector, layout.offset) << "row " << row;
            EXPECT_LT(sector, layout.offset + layout.sectors) << "row " << row;
        }
    }
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(
    MadeDisks, AdvanceFatImageTest,
    ::testing::Values(WipedDisk{"wiped_f16_s4.img", "FAT16", {"f16_s4"}, false, "FAT16"},
                      WipedDisk{"wiped_f32_s1.img", "FAT32", {"f32_s1"}, false, "FAT32"},
                      WipedDisk{"wiped_two.img", "FAT16", {"two_a", "two_b"}, false, "FAT16"},
                      WipedDisk{"intact_f32_s2.img", "FAT32", {"f32_s2"}, true, "FAT32"},
                      // The boot sector tells the type, whatever was looked for: the tree is
                      // read as the found volume's, not the selection's.
                      WipedDisk{"intact_f32_s2.img", "FAT16", {"f32_s2"}, true, "FAT32"}),
    [](const auto& info) {
        const std::string name = info.param.image;
        return name.substr(0, name.find('.')) + "_" + info.param.fsName;
    });

// Sector-level findings on a disk built byte by byte.
using Sector = std::vector<std::uint8_t>;

void PutLe(Sector& s, std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        s[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

Sector BootSector(bool fat32, std::uint32_t spc, std::uint32_t reserved, std::uint32_t spf,
                  std::uint32_t total, std::uint32_t rootEntriesOrCluster) {
    Sector s(kSectorSize, 0);
    s[510] = 0x55;
    s[511] = 0xAA;
    s[13] = static_cast<std::uint8_t>(spc);
    PutLe(s, 14, reserved, 2);
    PutLe(s, 32, total, 4);
    if (fat32) {
        PutLe(s, 36, spf, 4);
        PutLe(s, 44, rootEntriesOrCluster, 4);
        std::memcpy(&s[82], "FAT32   ", 8);
    } else {
        PutLe(s, 22, spf, 2);
        PutLe(s, 17, rootEntriesOrCluster, 2);
        std::memcpy(&s[54], "FAT16   ", 8);
    }
    return s;
}

// A volume under 32 MiB gives its size in the 16-bit field at 19 instead.
Sector SmallBootSector(Sector s, std::uint32_t total) {
    PutLe(s, 19, total, 2);
    return s;
}

Sector DirectoryStart(std::uint32_t self, std::uint32_t parent) {
    Sector s(kSectorSize, ' ');
    s[0] = '.';
    s[32] = '.';
    s[33] = '.';
    PutLe(s, 20, self >> 16, 2);
    PutLe(s, 26, self & 0xFFFF, 2);
    PutLe(s, 52, parent >> 16, 2);
    PutLe(s, 58, parent & 0xFFFF, 2);
    PutLe(s, 22, 0x6000, 2);  // time
    PutLe(s, 24, 0x5A21, 2);  // date
    return s;
}

struct Placed {
    std::uint64_t sector;
    Sector bytes;
};

struct SectorCase {
    const char* name;
    std::vector<Placed> sectors;
    std::int64_t first;
    std::int64_t last;
    std::vector<std::uint64_t> unreadable;
    std::vector<std::string> bootRows;       // every cell of each row, joined by ","
    std::vector<std::string> directoryRows;  // the same
    std::int64_t shownLast = -1;             // the last sector shown, when not `last`
};

std::string JoinedRow(const TextTable& t, std::size_t row) {
    std::string text;
    for (std::size_t c = 0; c < t.ColumnCount(); ++c) {
        text += (c == 0 ? "" : ",") + t.Cell(row, c);
    }
    return text;
}

TEST(AdvanceFatSearchTest, RecordsBootSectorsAndDirectoryStarts) {
    const SectorCase cases[] = {
        {"FAT32 boot sector",
         {{5000, BootSector(true, 8, 32, 1000, 200000, 2)}},
         0,
         9999,
         {},
         {"5000,1000,8,0,2,32,7016,5032,6032,205000,FAT32"},
         {}},
        {"FAT16 boot sector sized by its 16-bit field only",
         {{70, SmallBootSector(BootSector(false, 4, 4, 40, 0, 512), 24000)}},
         0,
         9999,
         {},
         {"70,40,4,32,154,4,178,74,114,24070,FAT16"},
         {}},
        {"FAT16 boot sector giving no size at all",
         {{70, BootSector(false, 4, 4, 40, 0, 512)}},
         0,
         9999,
         {},
         {"70,40,4,32,154,4,178,74,114,70,FAT16"},
         {}},
        {"directory start, clusters in two words",
         {{9000, DirectoryStart(0x12345, 0x10002)}},
         0,
         9999,
         {},
         {},
         {"9000,74565,65538,0,23073,24576,"}},
        {"range of one sector",
         {{4999, DirectoryStart(3, 0)}, {5000, DirectoryStart(4, 0)}, {5001, DirectoryStart(5, 0)}},
         5000,
         5000,
         {},
         {},
         {"5000,4,0,0,23073,24576,"}},
        {"unreadable sectors read as zeros",
         {{100, DirectoryStart(3, 0)}, {101, DirectoryStart(4, 0)}},
         0,
         9999,
         {100},
         {},
         {"101,4,0,0,23073,24576,"}},
        // Sector numbers are 64-bit: the largest fields give sectors past 2^32, not wrapped.
        {"absurd fields are taken whole without harm",
         {{9990, BootSector(true, 0, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)}},
         0,
         9999,
         {},
         {"9990,4294967295,0,0,0,65535,8590010115,75525,4295042820,4294977285,FAT32"},
         {}},
        {"nothing found", {}, 0, 9999, {}, {}, {}},
        {"range with nothing in it", {{5000, DirectoryStart(4, 0)}}, 5001, 5000, {}, {}, {}},
        // A range that runs past the disk's end is searched to the disk's last sector.
        {"range past the disk's end",
         {{9999, DirectoryStart(4, 0)}},
         9000,
         20000,
         {},
         {},
         {"9999,4,0,0,23073,24576,"},
         9999},
    };
    for (const SectorCase& c : cases) {
        std::vector<std::uint8_t> bytes(10000 * std::size_t{kSectorSize}, 0);
        for (const Placed& p : c.sectors) {
            std::copy(p.bytes.begin(), p.bytes.end(), bytes.begin() + p.sector * kSectorSize);
        }
        MemoryDisk disk(std::move(bytes));
        for (const std::uint64_t s : c.unreadable) {
            disk.MarkUnreadable(s);
        }
        RecoveryRun run;
        run.selectedPartition.fsName = "FAT32";
        run.selectedPartition.startSector = c.first;
        run.selectedPartition.endSector = c.last;
        testing::RecordingReporter reporter;
        AdvanceFatSearch(run, disk, reporter, run.scanStop.get_token());
        std::vector<std::string> boot;
        for (std::size_t r = 0; r < run.bootSectorTable.RowCount(); ++r) {
            boot.push_back(JoinedRow(run.bootSectorTable, r));
        }
        std::vector<std::string> dirs;
        for (std::size_t r = 0; r < run.foundDirectoryTable.RowCount(); ++r) {
            dirs.push_back(JoinedRow(run.foundDirectoryTable, r));
        }
        EXPECT_EQ(boot, c.bootRows) << c.name;
        EXPECT_EQ(dirs, c.directoryRows) << c.name;
        const std::vector<std::string> calls = reporter.Calls();
        const std::string startText =
            "Sectors  0 of " + std::to_string(c.shownLast < 0 ? c.last : c.shownLast);
        EXPECT_NE(std::find_if(calls.begin(), calls.end(),
                               [&](const std::string& call) { return call.ends_with(startText); }),
                  calls.end())
            << c.name;
        // The analysis takes whatever the search found, however absurd, without harm.
        EXPECT_LE(AnalyzeFoundVolumes(run, reporter), run.foundDirectoryTable.RowCount()) << c.name;
    }
}

// Asks the search to stop once it has read its first chunk.
class StoppingDisk : public MemoryDisk {
  public:
    StoppingDisk(std::vector<std::uint8_t> bytes, std::stop_source stop)
        : MemoryDisk(std::move(bytes)), stop_(std::move(stop)) {}
    int ReadSectors(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer) override {
        stop_.request_stop();
        return MemoryDisk::ReadSectors(first, count, buffer);
    }

  private:
    std::stop_source stop_;
};

TEST(AdvanceFatSearchTest, StopsBetweenChunksKeepingWhatItFound) {
    std::vector<std::uint8_t> bytes(40000 * std::size_t{kSectorSize}, 0);
    for (const std::uint64_t sector : {10u, 39000u}) {
        const Sector dir = DirectoryStart(3, 0);
        std::copy(dir.begin(), dir.end(), bytes.begin() + sector * kSectorSize);
    }
    RecoveryRun run;
    run.selectedPartition.fsName = "FAT16";
    run.selectedPartition.endSector = 39999;
    StoppingDisk disk(std::move(bytes), run.scanStop);
    NullReporter reporter;
    AdvanceFatSearch(run, disk, reporter, run.scanStop.get_token());
    EXPECT_EQ(disk.ReadCalls(), 1u);
    ASSERT_EQ(run.foundDirectoryTable.RowCount(), 1u);
    EXPECT_EQ(run.foundDirectoryTable.Cell(0, 0), "10");
}

TEST(AdvanceFatSearchTest, RebuildsAVolumeWhoseBootSectorGivesNoClusterSize) {
    // Cluster 0 of the FAT32 boot sector at 100 lies at 100 + 32 + 2 x 10: a directory there
    // matches it whatever its cluster, with 0 sectors per cluster.
    std::vector<std::uint8_t> bytes(400 * std::size_t{kSectorSize}, 0);
    const Sector boot = BootSector(true, 0, 32, 10, 200, 2);
    const Sector dir = DirectoryStart(7, 0);
    std::copy(boot.begin(), boot.end(), bytes.begin() + 100 * kSectorSize);
    std::copy(dir.begin(), dir.end(), bytes.begin() + 152 * kSectorSize);
    MemoryDisk disk(std::move(bytes));
    RecoveryRun run;
    run.selectedPartition.fsName = "FAT32";
    run.selectedPartition.endSector = 399;
    testing::RecordingReporter reporter;
    RunAdvanceSearch(run, disk, reporter, run.scanStop.get_token());
    ASSERT_EQ(run.volumesFound, 1u);
    EXPECT_EQ(run.fileSystemTable.Cell(0, kVolumeSpc), "0");
    EXPECT_TRUE(RebuildFoundVolume(run, disk, reporter, 0));
    ListFolder(run, disk, run.folderTree->TopItem());
    EXPECT_EQ(run.folderNodes.Count(), 2) << "the orphan folder and the found directory";
    const std::vector<std::string> calls = reporter.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "caption 5: Boot Sectors Found\t\t:"),
              calls.end());
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "fat/advance_fat_search.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

enum DirColumn : std::size_t { kSector = 0, kSelf, kParent, kFileSystem };
enum BootColumn : std::size_t { kSpc = 2, kCluster0Start = 6, kTotal = 9, kPartType = 10 };

constexpr std::uint64_t kClusterSizes[] = {1, 2, 4, 8, 16, 32, 64, 128};

std::uint64_t U(const TextTable& t, std::size_t row, std::size_t column) {
    return t.CellU32(row, column);
}

// The grouping as the text gives it, cell by cell and pair by pair: the reference the fast
// analysis must match row for row.
void NaiveAnalysis(RecoveryRun& run) {
    TextTable& boot = run.bootSectorTable;
    TextTable& dirs = run.foundDirectoryTable;
    TextTable& volumes = run.fileSystemTable;
    std::int64_t n = 0;
    const auto ungrouped = [&](std::size_t r) { return dirs.CellNumber(r, kFileSystem) == 0; };
    for (std::size_t b = 0; b < boot.RowCount(); ++b) {
        const std::uint64_t spc = U(boot, b, kSpc);
        const std::uint64_t c0 = U(boot, b, kCluster0Start);
        const std::uint64_t total = U(boot, b, kTotal);
        bool first = true;
        for (std::size_t d = 0; d < dirs.RowCount(); ++d) {
            const std::uint64_t sector = U(dirs, d, kSector);
            if (!ungrouped(d) || sector < c0 || sector > total ||
                sector != U(dirs, d, kSelf) * spc + c0) {
                continue;
            }
            if (first) {
                first = false;
                ++n;
                std::vector<std::string> cells;
                for (std::size_t c = 0; c < boot.ColumnCount(); ++c) {
                    cells.push_back(boot.Cell(b, c));
                }
                volumes.AppendRow(cells);
            }
            dirs.SetCellNumber(d, kFileSystem, n);
        }
    }
    const std::string fs = run.selectedPartition.fsName;
    for (std::size_t j = 0; j < dirs.RowCount(); ++j) {
        if (!ungrouped(j)) {
            continue;
        }
        const std::uint64_t l = U(dirs, j, kSelf);
        const std::uint64_t m = U(dirs, j, kSector);
        std::size_t partner = dirs.RowCount();
        std::uint64_t o = 0;
        for (std::size_t k = j + 1; k < dirs.RowCount() && partner == dirs.RowCount(); ++k) {
            const std::uint64_t h = U(dirs, k, kSelf);
            const std::uint64_t g = U(dirs, k, kSector);
            if (!ungrouped(k) || !(h > l && g > m && h < g && h < m) || (g - m) % (h - l) != 0) {
                continue;
            }
            const std::uint64_t ratio = (g - m) / (h - l);
            if (std::find(std::begin(kClusterSizes), std::end(kClusterSizes), ratio) ==
                    std::end(kClusterSizes) ||
                !(m > l * ratio && g > h * ratio)) {
                continue;
            }
            partner = k;
            o = ratio;
        }
        if (partner == dirs.RowCount()) {
            dirs.SetCellNumber(j, kFileSystem, -1);
            continue;
        }
        ++n;
        const std::uint64_t c0 = m - l * o;
        volumes.AppendRow(
            {"0", "", std::to_string(o), "", "", "", std::to_string(c0), "", "", "", fs});
        dirs.SetCellNumber(j, kFileSystem, n);
        dirs.SetCellNumber(partner, kFileSystem, n);
        std::uint64_t highest = U(dirs, partner, kSelf);
        for (std::size_t r = 0; r < dirs.RowCount(); ++r) {
            if (ungrouped(r) && U(dirs, r, kSector) == U(dirs, r, kSelf) * o + c0) {
                dirs.SetCellNumber(r, kFileSystem, n);
                highest = std::max(highest, U(dirs, r, kSelf));
            }
        }
        if (fs != "FAT32" && highest > 65536) {
            volumes.SetCell(volumes.RowCount() - 1, kPartType, "FAT32");
        }
    }
    run.volumesFound = static_cast<std::size_t>(n);
}

void AddDirectory(RecoveryRun& run, std::uint64_t sector, std::uint64_t self) {
    run.foundDirectoryTable.AppendRow(
        {std::to_string(sector), std::to_string(self), "0", "0", "0", "0", ""});
}

void AddBootSector(RecoveryRun& run, std::uint32_t sector, std::uint32_t spc, std::uint32_t c0,
                   std::uint32_t total, const std::string& type) {
    run.bootSectorTable.AppendRow({std::to_string(sector), "9", std::to_string(spc), "0", "2", "32",
                                   std::to_string(c0), "0", "0", std::to_string(total), type});
}

// Tables with hidden volumes (sizes up to 256, some of them out of the allowed set), boot
// sectors for some, noise, and values in narrow ranges so that pairs collide often.
void FillRandomTables(RecoveryRun& run, std::mt19937& rng) {
    const auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
        return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
    };
    run.selectedPartition.fsName = pick(0, 1) ? "FAT16" : "FAT32";
    const bool large = pick(0, 4) == 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> dirs;
    for (std::uint32_t v = pick(0, 4); v > 0; --v) {
        const std::uint32_t o = 1U << pick(0, 8);
        const std::uint32_t c0 = pick(0, 3000);
        const std::uint32_t top = large ? 80000 : 400;
        for (std::uint32_t d = pick(1, 30); d > 0; --d) {
            const std::uint64_t self = pick(0, top);
            dirs.emplace_back(self * o + c0, self);
        }
        if (pick(0, 2) == 0) {
            AddBootSector(run, c0 > 50 ? c0 - 50 : 0, o, c0, c0 + top * o + pick(0, 200), "FAT16");
        }
    }
    for (std::uint32_t noise = pick(0, 40); noise > 0; --noise) {
        dirs.emplace_back(pick(0, 6000), pick(0, 900));
    }
    for (std::uint32_t b = pick(0, 3); b > 0; --b) {
        AddBootSector(run, pick(0, 100), pick(0, 130), pick(0, 4000),
                      pick(0, 1) ? 0 : pick(0, 9000), "FAT32");
    }
    if (pick(0, 1) == 0) {
        std::sort(dirs.begin(), dirs.end());
    } else {
        std::shuffle(dirs.begin(), dirs.end(), rng);
    }
    for (const auto& [sector, self] : dirs) {
        AddDirectory(run, sector, self);
    }
}

TEST(FoundVolumeAnalysisTest, GroupsExactlyAsThePairByPairReading) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 1000; ++round) {
        RecoveryRun fast;
        FillRandomTables(fast, rng);
        RecoveryRun naive;
        naive.selectedPartition = fast.selectedPartition;
        naive.bootSectorTable = fast.bootSectorTable;
        naive.foundDirectoryTable = fast.foundDirectoryTable;
        testing::RecordingReporter reporter;
        AnalyzeFoundVolumes(fast, reporter);
        NaiveAnalysis(naive);
        ASSERT_EQ(fast.volumesFound, naive.volumesFound) << "round " << round;
        ASSERT_EQ(fast.fileSystemTable.RowCount(), naive.fileSystemTable.RowCount())
            << "round " << round;
        for (std::size_t r = 0; r < fast.fileSystemTable.RowCount(); ++r) {
            for (std::size_t c = 0; c < fast.fileSystemTable.ColumnCount(); ++c) {
                ASSERT_EQ(fast.fileSystemTable.Cell(r, c), naive.fileSystemTable.Cell(r, c))
                    << "round " << round << " volume " << r << " column " << c;
            }
        }
        for (std::size_t r = 0; r < fast.foundDirectoryTable.RowCount(); ++r) {
            ASSERT_EQ(fast.foundDirectoryTable.Cell(r, kFileSystem),
                      naive.foundDirectoryTable.Cell(r, kFileSystem))
                << "round " << round << " directory " << r;
        }
    }
}

struct Dir {
    std::uint64_t sector;
    std::uint64_t self;
};

struct Volume {
    std::string spc;
    std::string cluster0Start;
    std::string type;
};

struct InferenceCase {
    const char* name;
    const char* fsName;
    std::vector<Dir> dirs;
    std::vector<std::string> fileSystems;
    std::vector<Volume> volumes;
};

TEST(FoundVolumeAnalysisTest, InfersVolumesFromPairs) {
    const InferenceCase cases[] = {
        {"o 4 and c0 9600, a third joins",
         "FAT16",
         {{10000, 100}, {10064, 116}, {10400, 200}, {10401, 200}},
         {"1", "1", "1", "-1"},
         {{"4", "9600", "FAT16"}}},
        {"o 256 rejected", "FAT16", {{10000, 10}, {12560, 20}}, {"-1", "-1"}, {}},
        {"distance not a power of two", "FAT32", {{1000, 10}, {1030, 20}}, {"-1", "-1"}, {}},
        {"cluster 70000 on a FAT16 selection",
         "FAT16",
         {{100000, 1000}, {100010, 1010}, {169000, 70000}},
         {"1", "1", "1"},
         {{"1", "99000", "FAT32"}}},
        {"cluster 65536 stays FAT16",
         "FAT16",
         {{100000, 1000}, {100010, 1010}, {164536, 65536}},
         {"1", "1", "1"},
         {{"1", "99000", "FAT16"}}},
        {"cluster-0 start would be 0", "FAT32", {{200, 100}, {232, 116}}, {"-1", "-1"}, {}},
        {"two volumes, first partner in table order",
         "FAT32",
         {{5000, 10}, {9000, 20}, {5020, 20}, {9010, 25}},
         {"1", "2", "1", "2"},
         {{"2", "4980", "FAT32"}, {"2", "8960", "FAT32"}}},
        // 0x20000000 x 8 is 2^32: wrapped to 0 it would let sector 0xF0000000 start a volume
        // there.
        {"products beyond 32 bits do not wrap",
         "FAT32",
         {{4026531840, 536870912}, {4026531848, 536870913}},
         {"-1", "-1"},
         {}},
        {"nothing found", "FAT16", {}, {}, {}},
    };
    for (const InferenceCase& c : cases) {
        RecoveryRun run;
        run.selectedPartition.fsName = c.fsName;
        for (const Dir& d : c.dirs) {
            AddDirectory(run, d.sector, d.self);
        }
        testing::RecordingReporter reporter;
        EXPECT_EQ(AnalyzeFoundVolumes(run, reporter), c.volumes.size()) << c.name;
        EXPECT_EQ(run.volumesFound, c.volumes.size()) << c.name;
        for (std::size_t r = 0; r < c.fileSystems.size(); ++r) {
            EXPECT_EQ(run.foundDirectoryTable.Cell(r, kFileSystem), c.fileSystems[r])
                << c.name << " directory " << r;
        }
        ASSERT_EQ(run.fileSystemTable.RowCount(), c.volumes.size()) << c.name;
        for (std::size_t v = 0; v < c.volumes.size(); ++v) {
            const TextTable& t = run.fileSystemTable;
            EXPECT_EQ(t.Cell(v, 0), "0") << c.name;
            EXPECT_EQ(t.Cell(v, kSpc), c.volumes[v].spc) << c.name;
            EXPECT_EQ(t.Cell(v, kCluster0Start), c.volumes[v].cluster0Start) << c.name;
            EXPECT_EQ(t.Cell(v, kPartType), c.volumes[v].type) << c.name;
            EXPECT_EQ(t.Cell(v, 1), "") << c.name << ": an inferred volume knows no FAT size";
            EXPECT_EQ(t.Cell(v, 7), "") << c.name << ": nor where its FATs are";
        }
    }
}

TEST(FoundVolumeAnalysisTest, MatchesDirectoriesToBootSectorsFirst) {
    struct Case {
        const char* name;
        std::uint32_t total;
        std::vector<std::string> fileSystems;
        std::size_t volumes;
        std::string firstVolumeSector;
    };
    // A boot sector at 1000 with 4 sectors per cluster and cluster 0 at 1100; the directories
    // at clusters 3 and 5 lie at 1112 and 1120, one more at 1121 lies nowhere.
    const Case cases[] = {
        {"inside the volume", 50000, {"1", "1", "-1"}, 1, "1000"},
        // A total of 0 puts the end at the boot sector: phase 2 groups them instead.
        {"size only in the 16-bit field", 1000, {"1", "1", "-1"}, 1, "0"},
    };
    for (const Case& c : cases) {
        RecoveryRun run;
        run.selectedPartition.fsName = "FAT16";
        AddBootSector(run, 1000, 4, 1100, c.total, "FAT16");
        AddDirectory(run, 1112, 3);
        AddDirectory(run, 1120, 5);
        AddDirectory(run, 1121, 5);
        testing::RecordingReporter reporter;
        EXPECT_EQ(AnalyzeFoundVolumes(run, reporter), c.volumes) << c.name;
        for (std::size_t r = 0; r < c.fileSystems.size(); ++r) {
            EXPECT_EQ(run.foundDirectoryTable.Cell(r, kFileSystem), c.fileSystems[r])
                << c.name << " directory " << r;
        }
        EXPECT_EQ(run.fileSystemTable.Cell(0, 0), c.firstVolumeSector) << c.name;
        EXPECT_EQ(run.fileSystemTable.Cell(0, kCluster0Start), "1100") << c.name;
        const std::vector<std::string> calls = reporter.Calls();
        const auto has = [&](const std::string& text) {
            return std::any_of(calls.begin(), calls.end(), [&](const std::string& call) {
                return call.find(text) != std::string::npos;
            });
        };
        EXPECT_TRUE(has("Analyzing The Data For File Systems Phase 1 \\ 2   ...")) << c.name;
        EXPECT_TRUE(has("Analyzing The Data For File Systems Phase 2 \\ 2   ...")) << c.name;
        EXPECT_TRUE(has("0  % Completed ")) << c.name;
    }
}

}  // namespace
}  // namespace lumarest

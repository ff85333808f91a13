#include "fat/fat_chain.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/fat_test_volumes.h"
#include "partitions/volume_params.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;
using testing::RecordingReporter;
using testing::TestVolume;
using Chain = std::vector<std::uint32_t>;

// The active volume a validated boot sector gives.
ActiveVolume ValidatedVolume(SectorSource& disk, const std::string& fsName, std::uint64_t start,
                             std::uint64_t sectors) {
    RecoveryRun run;
    SetPartitionFileSystem(run.selectedPartition, fsName);
    run.selectedPartition.startSector = static_cast<std::int64_t>(start);
    run.selectedPartition.endSector = static_cast<std::int64_t>(start + sectors - 1);
    NullReporter reporter;
    EXPECT_EQ(ValidatePartition(run, disk, reporter), 1) << disk.Name();
    return SnapshotVolume(run.volumeParams, fsName);
}

// The clusters of the chain fsstat shows from the run starting at `sector`.
Chain FsstatChain(const testing::FsstatFat& fat, std::uint64_t sector, const ActiveVolume& volume) {
    Chain chain;
    while (sector != 0 && chain.size() < 1000000) {
        const auto run = fat.runs.find(sector);
        if (run == fat.runs.end()) {
            break;
        }
        for (std::uint64_t s = run->first; s <= run->second.first; s += fat.sectorsPerCluster) {
            chain.push_back(
                static_cast<std::uint32_t>((s - volume.cluster0Start) / volume.sectorsPerCluster));
        }
        sector = run->second.second;
    }
    return chain;
}

class FatChainTest : public ::testing::TestWithParam<TestVolume> {
  protected:
    void SetUp() override { ASSERT_TRUE(testing::MakeVolumeImages()); }
};

TEST_P(FatChainTest, ChainsFollowTheFatAsFsstatReadsIt) {
    if (!testing::ToolInstalled("fsstat")) {
        GTEST_SKIP() << "fsstat is not installed";
    }
    const TestVolume& volume = GetParam();
    ImageGuard guard(testing::VolumeImage(volume));
    PatchedImage disk(guard.Path());
    const ActiveVolume active = ValidatedVolume(disk, volume.fsName, volume.start, volume.sectors);
    const auto fat = testing::RunFsstat(guard.Path(), volume.start);
    ASSERT_TRUE(fat.has_value());

    FatTable table(active, disk);
    int multiCluster = 0;
    for (const auto& [first, run] : fat->runs) {
        if (first < fat->clusterArea) {
            continue;  // the FAT16 fixed root is no chain
        }
        const auto cluster =
            static_cast<std::uint32_t>((first - active.cluster0Start) / active.sectorsPerCluster);
        EXPECT_EQ(ClusterToSector(active, cluster, 0), first);
        const Chain expected = FsstatChain(*fat, first, active);
        EXPECT_EQ(table.BuildClusterChain(cluster), expected) << "from cluster " << cluster;
        multiCluster += expected.size() > 1 ? 1 : 0;
    }
    EXPECT_GE(multiCluster, 2) << "the volume should hold chains of several clusters";
    EXPECT_LE(table.SectorReads(), 2 * (active.sectorsPerFat / 64 + 1))
        << "each FAT sector is read once";
    EXPECT_TRUE(guard.Unchanged());
}

// The longest chain of the volume, from the cluster it starts at.
Chain LongestChain(FatTable& table, const ActiveVolume& volume) {
    Chain longest;
    const auto last =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(FatEntryCount(volume), 4096));
    for (std::uint32_t cluster = 2; cluster < last; ++cluster) {
        Chain chain = table.BuildClusterChain(cluster);
        if (chain.size() > longest.size()) {
            longest = std::move(chain);
        }
    }
    return longest;
}

void PatchEntry(PatchedImage& disk, const ActiveVolume& volume, std::uint32_t cluster,
                std::uint32_t value) {
    if (IsFat16(volume)) {
        const std::uint64_t at = std::uint64_t{volume.firstFat} * 512 + std::uint64_t{cluster} * 2;
        disk.Patch(at, static_cast<std::uint8_t>(value));
        disk.Patch(at + 1, static_cast<std::uint8_t>(value >> 8));
    } else {
        disk.PatchLe32(std::uint64_t{volume.firstFat} * 512 + std::uint64_t{cluster} * 4, value);
    }
}

TEST_P(FatChainTest, ALoopingChainEndsWithEachClusterOnce) {
    const TestVolume& volume = GetParam();
    ImageGuard guard(testing::VolumeImage(volume));
    PatchedImage disk(guard.Path());
    const ActiveVolume active = ValidatedVolume(disk, volume.fsName, volume.start, volume.sectors);
    FatTable clean(active, disk);
    const Chain chain = LongestChain(clean, active);
    ASSERT_GE(chain.size(), 3u);

    PatchEntry(disk, active, chain.back(), chain[1]);  // back into the chain
    EXPECT_EQ(BuildClusterChain(active, disk, chain.front()), chain);
    PatchEntry(disk, active, chain.front(), chain.front());  // onto itself
    EXPECT_EQ(BuildClusterChain(active, disk, chain.front()), Chain{chain.front()});
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(MadeByMkfsFat, FatChainTest, ::testing::ValuesIn(testing::TestVolumes()),
                         [](const auto& info) { return info.param.name; });

// A small volume in memory: FAT at sector 1, four sectors of FAT, clusters of one sector.
struct SmallFat {
    explicit SmallFat(const std::string& fsName) : disk(std::vector<std::uint8_t>(64 * 512)) {
        SetVolumeFileSystem(volume, fsName);
        volume.firstFat = 1;
        volume.secondFat = 5;
        volume.sectorsPerFat = 4;
        volume.sectorsPerCluster = 1;
        volume.cluster0Start = 7;
    }
    void Set(std::uint32_t cluster, std::uint32_t value) {
        const std::size_t width = IsFat16(volume) ? 2 : 4;
        const std::size_t at = 512 * volume.firstFat + cluster * width;
        for (std::size_t i = 0; i < width; ++i) {
            disk.Bytes()[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
    Chain From(std::uint32_t cluster) { return BuildClusterChain(volume, disk, cluster); }

    ActiveVolume volume;
    MemoryDisk disk;
};

TEST(FatChainEndsTest, Fat16EndsAtEveryEndMarkAndBelowTwoButFollowsTheBadClusterMark) {
    SmallFat fat("FAT16");
    fat.Set(3, 0xFFFF);
    fat.Set(4, 0xFFF7);
    fat.Set(7, 0xFFF8);
    fat.Set(5, 1);
    fat.Set(300, 9);  // sector firstFat + 1, entry 44
    fat.Set(9, 0xFFFF);
    EXPECT_EQ(fat.From(3), (Chain{3}));
    EXPECT_EQ(fat.From(4), (Chain{4, 0xFFF7}));  // 0xFFF7 lies past the FAT: the chain ends there
    EXPECT_EQ(fat.From(7), (Chain{7}));
    EXPECT_EQ(fat.From(5), (Chain{5}));
    EXPECT_EQ(fat.From(6), (Chain{6}));  // freed
    EXPECT_EQ(fat.From(300), (Chain{300, 9}));
    EXPECT_EQ(fat.disk.Bytes()[512 * 2 + 88], 9);
    EXPECT_EQ(fat.From(1024), (Chain{1024}));  // entry past the first FAT
}

TEST(FatChainEndsTest, Fat32EndsAtTheEndMarkAndAnyTopBit) {
    SmallFat fat("FAT32");
    fat.Set(3, 0x0FFFFFFF);
    fat.Set(4, 0x10000005);
    fat.Set(5, 0x0FFFFFF7);
    fat.Set(7, 0x0FFFFFF8);
    fat.Set(300, 6);  // sector firstFat + 2, entry 44
    fat.Set(6, 0x0FFFFFFF);
    EXPECT_EQ(fat.From(3), (Chain{3}));
    EXPECT_EQ(fat.From(4), (Chain{4}));
    EXPECT_EQ(fat.From(5), (Chain{5, 0x0FFFFFF7}));
    EXPECT_EQ(fat.From(7), (Chain{7}));
    EXPECT_EQ(fat.From(300), (Chain{300, 6}));
    EXPECT_EQ(fat.disk.Bytes()[512 * 3 + 176], 6);
}

TEST(FatChainEndsTest, UnknownFatOrUnreadableSectorEndsTheChainWhereItIs) {
    SmallFat fat("FAT16");
    fat.Set(2, 3);
    fat.Set(3, 300);
    fat.Set(300, 0xFFFF);
    EXPECT_EQ(fat.From(2), (Chain{2, 3, 300}));
    fat.disk.MarkUnreadable(2);
    EXPECT_EQ(fat.From(2), (Chain{2, 3, 300}));  // the entry of 300 is not read: it ends
    fat.disk.MarkUnreadable(1);
    EXPECT_EQ(fat.From(2), (Chain{2}));
    fat.volume.firstFat = 0;
    EXPECT_EQ(fat.From(2), (Chain{2}));
}

TEST(FatChainEndsTest, AChainAsLongAsTheFatStopsAtTheFatsEntryCount) {
    SmallFat fat("FAT16");
    fat.volume.sectorsPerFat = 1;  // 256 entries
    for (std::uint32_t cluster = 2; cluster < 255; ++cluster) {
        fat.Set(cluster, cluster + 1);
    }
    fat.Set(255, 2);
    const Chain chain = fat.From(2);
    EXPECT_EQ(chain.size(), 254u);
    EXPECT_EQ(chain.back(), 255u);
    EXPECT_LE(chain.size(), FatEntryCount(fat.volume));
}

TEST(FatChainEndsTest, AFatLargerThanTheCacheStillGivesTheWholeChain) {
    constexpr std::uint32_t kFatSectors = 20000;
    MemoryDisk disk(std::vector<std::uint8_t>((kFatSectors + 1) * 512));
    ActiveVolume volume;
    SetVolumeFileSystem(volume, "FAT32");
    volume.firstFat = 1;
    volume.sectorsPerFat = kFatSectors;
    volume.sectorsPerCluster = 1;
    Chain expected;
    for (std::uint32_t sector = 0; sector < kFatSectors; ++sector) {
        const std::uint32_t cluster = sector * 128 + 2;  // one link per FAT sector
        const std::uint32_t next = sector + 1 < kFatSectors ? cluster + 128 : 0x0FFFFFFF;
        for (int i = 0; i < 4; ++i) {
            disk.Bytes()[512 * (1 + sector) + 8 + i] = static_cast<std::uint8_t>(next >> (8 * i));
        }
        expected.push_back(cluster);
    }
    FatTable table(volume, disk);
    EXPECT_EQ(table.BuildClusterChain(2), expected);
    EXPECT_EQ(table.BuildClusterChain(2), expected);
}

TEST(FatChainEndsTest, ClusterSectorsDoNotWrapPastFourBillion) {
    ActiveVolume volume;
    SetVolumeFileSystem(volume, "FAT32");
    volume.sectorsPerCluster = 64;
    volume.cluster0Start = 1000;
    EXPECT_EQ(ClusterToSector(volume, 0x0FFFFFF0, 3), 0x0FFFFFF0ull * 64 + 1000 + 3);
    // A small volume with 64-sector clusters: cluster 0 would begin before sector 0.
    volume.cluster0Start = 40 - 2 * 64;
    EXPECT_EQ(ClusterToSector(volume, 2, 0), 40u);
    EXPECT_EQ(ClusterToSector(volume, 5, 1), 40u + 3 * 64 + 1);
    // A volume past 2 TiB: its cluster 0 and every cluster after it lie past 32 bits.
    volume.cluster0Start = 5000000000;
    EXPECT_EQ(ClusterToSector(volume, 2, 0), 5000000000u + 2 * 64);
    EXPECT_EQ(ClusterToSector(volume, 0x0FFFFFF0, 3), 5000000000u + 0x0FFFFFF0ull * 64 + 3);
}

TEST(FatDirectoryTest, ClusterlessVolumeIsRefusedAndReadsNothing) {
    SmallFat fat("FAT32");
    fat.volume.sectorsPerCluster = 0;
    RecordingReporter reporter;
    EXPECT_FALSE(RefuseClusterlessVolume(fat.volume, reporter));
    EXPECT_EQ(reporter.Messages().size(), 1u);
    FatTable table(fat.volume, fat.disk);
    int visits = 0;
    ForEachDirectorySector(fat.volume, fat.disk, table, 2, [&](std::uint64_t, ByteSpan) {
        ++visits;
        return true;
    });
    EXPECT_EQ(visits, 0);
    fat.volume.sectorsPerCluster = 1;
    EXPECT_TRUE(RefuseClusterlessVolume(fat.volume, reporter));
}

TEST(FatDirectoryTest, ReadsTheRootAndAFolderSectorBySectorUntilTold) {
    ASSERT_TRUE(testing::MakeVolumeImages());
    for (const TestVolume& volume : testing::TestVolumes()) {
        ImageGuard guard(testing::VolumeImage(volume));
        PatchedImage disk(guard.Path());
        const ActiveVolume active =
            ValidatedVolume(disk, volume.fsName, volume.start, volume.sectors);
        FatTable table(active, disk);
        std::vector<std::uint64_t> rootSectors;
        std::uint32_t docsCluster = 0;
        ForEachRootDirectorySector(active, disk, table, [&](std::uint64_t sector, ByteSpan bytes) {
            rootSectors.push_back(sector);
            for (std::size_t at = 0; at + 32 <= bytes.size(); at += 32) {
                if (std::equal(bytes.begin() + at, bytes.begin() + at + 11, "DOCS       ")) {
                    docsCluster = (std::uint32_t{bytes[at + 21]} << 24) |
                                  (std::uint32_t{bytes[at + 20]} << 16) |
                                  (std::uint32_t{bytes[at + 27]} << 8) | bytes[at + 26];
                }
            }
            return true;
        });
        if (volume.fsName == "FAT16") {
            EXPECT_EQ(rootSectors.size(), active.rootSectors) << volume.name;
            EXPECT_EQ(rootSectors.front(), active.rootStart) << volume.name;
        } else {
            EXPECT_EQ(rootSectors.size(), active.sectorsPerCluster) << volume.name;
            EXPECT_EQ(rootSectors.front(), ClusterToSector(active, 2, 0)) << volume.name;
        }
        ASSERT_GE(docsCluster, 2u) << volume.name;

        std::vector<std::uint64_t> seen;
        ForEachDirectorySector(
            active, disk, table, docsCluster, [&](std::uint64_t sector, ByteSpan bytes) {
                seen.push_back(sector);
                EXPECT_TRUE(seen.size() > 1 || (bytes[0] == '.' && bytes[32] == '.'));
                return false;  // the first sector is enough
            });
        EXPECT_EQ(seen, (std::vector<std::uint64_t>{ClusterToSector(active, docsCluster, 0)}));
        EXPECT_TRUE(guard.Unchanged()) << volume.name;
    }
}

}  // namespace
}  // namespace lumarest

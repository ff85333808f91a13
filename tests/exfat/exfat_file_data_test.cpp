#include "exfat/exfat_file_data.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/memory_disk.h"
#include "support/exfat_volume_builder.h"

namespace lumarest {
namespace {

using testing::ExFatVolumeBuilder;

constexpr std::uint32_t kClusters = 64;  // clusters 2 to 65
constexpr std::uint32_t kEnd = 0xFFFFFFFF;
constexpr std::uint32_t kBad = 0xFFFFFFF7;

// A volume whose data clusters each hold their own pattern, with the chains the rows read.
ExFatVolumeBuilder PatternVolume(std::uint8_t sectorShift) {
    ExFatVolumeBuilder volume(sectorShift, 0, kClusters);
    volume.FillClusters(4, kClusters - 2, 0);
    for (std::uint32_t cluster = 4; cluster < kClusters + 2; ++cluster) {
        std::fill_n(volume.Cluster(cluster), volume.ClusterBytes() - 1,
                    static_cast<std::uint8_t>(0xA0 + cluster));
    }
    volume.Chain({10, 11, 12});
    volume.Chain({20, 25, 22});
    volume.Chain({26, 27});
    volume.SetFat(30, 31);
    volume.SetFat(31, 30);
    volume.SetFat(40, 0x500);
    volume.SetFat(41, kBad);
    volume.SetFat(50, 52);  // a deleted file's chain the driver left in the FAT
    volume.SetInUse(48, true);
    return volume;
}

TEST(ExFatFileData, WritesWhatTheClustersAndTheBitmapGive) {
    struct Row {
        std::string name;
        std::uint32_t first;
        std::uint64_t wholeClusters;
        std::uint64_t extraBytes;
        bool contiguous;
        bool deleted;
        std::vector<std::uint32_t> clusters;
        RecoveredFileStatus status;
        std::optional<std::uint64_t> validBytes = std::nullopt;
        std::uint32_t unreadableCluster = 0;
    };
    using S = RecoveredFileStatus;
    const std::vector<Row> rows = {
        {"contiguous", 10, 2, 300, true, false, {10, 11, 12}, S::Written},
        {"fragmented chain", 20, 2, 1, false, false, {20, 25, 22}, S::Written},
        {"chain ended before the length", 26, 3, 0, false, false, {26, 27}, S::Incomplete},
        {"chain that loops", 30, 4, 0, false, false, {30, 31}, S::Incomplete},
        {"chain leaving the heap", 40, 2, 0, false, false, {40}, S::Incomplete},
        {"chain reaching a bad cluster", 41, 2, 0, false, false, {41}, S::Incomplete},
        {"deleted, chain gone, free clusters after it",
         44,
         2,
         7,
         false,
         true,
         {44, 45, 46},
         S::Written},
        {"deleted, free run stops at a cluster in use", 47, 3, 0, false, true, {47}, S::Incomplete},
        {"deleted, chain left in the FAT", 50, 1, 9, false, true, {50, 52}, S::Written},
        {"deleted contiguous", 54, 1, 9, true, true, {54, 55}, S::Written},
        {"zeros past the valid length", 10, 2, 300, true, false, {10, 11, 12}, S::Written, 700},
        {"no valid bytes at all", 10, 1, 0, true, false, {10}, S::Written, 0},
        {"contiguous past the heap",
         60,
         10,
         0,
         true,
         false,
         {60, 61, 62, 63, 64, 65},
         S::Incomplete},
        {"a length past the volume", 20, 1ull << 30, 0, false, false, {20, 25, 22}, S::Incomplete},
        {"a length past the volume, contiguous", 10, 1ull << 40, 0, true, false, {}, S::Incomplete},
        {"an unreadable cluster",
         10,
         3,
         0,
         true,
         false,
         {10, 11, 12},
         S::Incomplete,
         std::nullopt,
         11},
        {"no first cluster", 0, 1, 0, true, false, {}, S::NoData},
        {"first cluster past the heap", 0x9999, 1, 0, false, false, {}, S::NoData},
        {"empty", 0, 0, 0, false, false, {}, S::Written},
    };
    for (const std::uint8_t sectorShift : {9, 12}) {
        ExFatVolumeBuilder volume = PatternVolume(sectorShift);
        const std::vector<std::uint8_t> image = volume.Image();
        for (const Row& row : rows) {
            const std::string name =
                row.name + " (sector shift " + std::to_string(sectorShift) + ")";
            MemoryDisk disk(image);
            const ExFatLayout layout = volume.ExpectedLayout();
            if (row.unreadableCluster != 0) {
                disk.MarkUnreadable(layout.ClusterSector(row.unreadableCluster));
            }
            ExFatVolumeReader reader(disk, layout);
            ExFatEntrySet file;
            file.firstCluster = row.first;
            file.dataLength = row.wholeClusters * volume.ClusterBytes() + row.extraBytes;
            file.validDataLength = row.validBytes.value_or(file.dataLength);
            file.contiguous = row.contiguous;
            file.deleted = row.deleted;

            std::string expected;
            for (const std::uint32_t cluster : row.clusters) {
                const auto* at =
                    reinterpret_cast<const char*>(image.data()) + volume.ClusterByteOffset(cluster);
                expected.append(at, volume.ClusterBytes());
            }
            if (row.unreadableCluster != 0) {
                std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(volume.ClusterBytes()),
                            512, '\0');
            }
            expected.resize(std::min<std::uint64_t>(expected.size(), file.dataLength));
            if (file.validDataLength < expected.size()) {
                std::fill(expected.begin() + static_cast<std::ptrdiff_t>(file.validDataLength),
                          expected.end(), '\0');
            }
            if (row.name == "a length past the volume, contiguous") {
                expected = std::string(
                    image.begin() + static_cast<std::ptrdiff_t>(volume.ClusterByteOffset(10)),
                    image.end());
            }

            std::ostringstream out;
            EXPECT_EQ(WriteExFatFile(reader, file, out), row.status) << name;
            EXPECT_EQ(out.str().size(), expected.size()) << name;
            EXPECT_TRUE(out.str() == expected) << name;
            EXPECT_EQ(ExFatStoredBytes(reader, file), expected.size()) << name;
            EXPECT_EQ(disk.Bytes(), image) << name << ": the disk was written";
        }
    }
}

TEST(ExFatFileData, ReportsAFailedWrite) {
    ExFatVolumeBuilder volume = PatternVolume(9);
    MemoryDisk disk(volume.Image());
    ExFatVolumeReader reader(disk, volume.ExpectedLayout());
    ExFatEntrySet file;
    file.firstCluster = 10;
    file.dataLength = 1000;
    file.validDataLength = 1000;
    file.contiguous = true;
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_EQ(WriteExFatFile(reader, file, out), RecoveredFileStatus::WriteFailed);
}

}  // namespace
}  // namespace lumarest

#include "exfat/boot_region.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/memory_disk.h"
#include "support/exfat_volume_builder.h"

namespace lumarest {
namespace {

using testing::ExFatVolumeBuilder;

bool SameLayout(const ExFatLayout& a, const ExFatLayout& b) {
    return a.volumeStart == b.volumeStart && a.volumeSectors == b.volumeSectors &&
           a.sectorUnit == b.sectorUnit && a.fatStart == b.fatStart &&
           a.fatSectors == b.fatSectors && a.heapStart == b.heapStart &&
           a.sectorsPerCluster == b.sectorsPerCluster && a.clusterCount == b.clusterCount &&
           a.rootCluster == b.rootCluster;
}

void Poke(std::vector<std::uint8_t>& image, std::uint64_t at, std::uint8_t value) {
    image[at] = value;
}

// Damage to one or both regions and the region the layout must come from.
TEST(ExFatBootRegion, UsesTheBackupOnlyWhenTheMainRegionFails) {
    enum class From { Main, Backup, Neither };
    struct Row {
        std::string name;
        std::uint8_t sectorShift;
        std::function<void(std::vector<std::uint8_t>&, std::uint64_t main, std::uint64_t backup)>
            damage;
        From from;
    };
    const std::vector<Row> rows = {
        {"intact", 9, [](auto&, auto, auto) {}, From::Main},
        {"intact 4096-byte sectors", 12, [](auto&, auto, auto) {}, From::Main},
        {"volume flags are not checksummed", 9,
         [](auto& image, auto main, auto) { Poke(image, main + 106, 0x02); }, From::Main},
        {"in-use percentage is not checksummed", 12,
         [](auto& image, auto main, auto) { Poke(image, main + 112, 0x33); }, From::Main},
        {"main checksum broken", 9,
         [](auto& image, auto main, auto) { Poke(image, main + 300, 0x01); }, From::Backup},
        {"main checksum sector broken", 12,
         [](auto& image, auto main, auto) { Poke(image, main + 11 * 4096 + 4000, 0x01); },
         From::Backup},
        {"main sector shift out of range", 12,
         [](auto& image, auto main, auto) { Poke(image, main + 108, 13); }, From::Backup},
        {"main sector shift too small", 9,
         [](auto& image, auto main, auto) { Poke(image, main + 108, 8); }, From::Backup},
        {"main name wiped", 9, [](auto& image, auto main, auto) { Poke(image, main + 3, 'F'); },
         From::Backup},
        {"both checksums broken", 9,
         [](auto& image, auto main, auto backup) {
             Poke(image, main + 700, 0x01);
             Poke(image, backup + 700, 0x01);
         },
         From::Neither},
        {"both signatures gone", 12,
         [](auto& image, auto main, auto backup) {
             Poke(image, main + 510, 0);
             Poke(image, backup + 510, 0);
         },
         From::Neither},
    };
    for (const Row& row : rows) {
        ExFatVolumeBuilder builder(row.sectorShift, 1, 64, 4096);
        std::vector<std::uint8_t> image = builder.Image();
        row.damage(image, builder.BootByteOffset(false), builder.BootByteOffset(true));
        MemoryDisk disk(image);
        const BootRegionReading reading = ReadExFatBootRegion(disk, 8);
        if (row.from == From::Neither) {
            EXPECT_FALSE(reading.layout) << row.name;
            EXPECT_FALSE(reading.problem.empty()) << row.name;
            continue;
        }
        ASSERT_TRUE(reading.layout) << row.name;
        EXPECT_TRUE(SameLayout(*reading.layout, builder.ExpectedLayout())) << row.name;
        EXPECT_EQ(reading.fromBackup, row.from == From::Backup) << row.name;
        EXPECT_TRUE(reading.problem.empty()) << row.name;
        EXPECT_EQ(disk.Bytes(), image) << row.name << ": the disk was written";
    }
}

// Fields a boot sector must have for its volume to be read at all.
TEST(ExFatBootRegion, RefusesBootSectorsWhoseFieldsContradict) {
    struct Row {
        std::string name;
        std::size_t at;
        std::vector<std::uint8_t> bytes;
        bool accepted;
    };
    const std::vector<Row> rows = {
        {"as made", 0, {}, true},
        {"a FAT parameter block", 11, {0x00, 0x02}, false},
        {"no signature", 510, {0x55, 0x55}, false},
        {"sector shift 13", 108, {13}, false},
        {"cluster shift past 32 MiB", 109, {17}, false},
        {"cluster shift at 32 MiB", 109, {16}, true},
        {"no FAT", 110, {0}, false},
        {"three FATs", 110, {3}, false},
        {"FAT inside the boot regions", 80, {23, 0, 0, 0}, false},
        {"no clusters", 92, {0, 0, 0, 0}, false},
        {"more clusters than the FAT holds", 92, {0xFF, 0xFF, 0, 0}, false},
        {"root past the heap", 96, {0x42, 0, 0, 0}, false},
        {"root at cluster 1", 96, {1, 0, 0, 0}, false},
        {"heap before the FAT ends", 88, {24, 0, 0, 0}, false},
        {"volume shorter than its heap", 72, {0x30, 0, 0, 0, 0, 0, 0, 0}, false},
    };
    ExFatVolumeBuilder builder(9, 0, 64);
    const std::vector<std::uint8_t> image = builder.Image();
    for (const Row& row : rows) {
        std::vector<std::uint8_t> sector(image.begin(), image.begin() + 512);
        std::copy(row.bytes.begin(), row.bytes.end(),
                  sector.begin() + static_cast<std::ptrdiff_t>(row.at));
        // The cluster-size row needs a volume long enough for its clusters.
        if (row.at == 109) {
            sector[72 + 4] = 0x01;
        }
        EXPECT_EQ(IsExFatBootSector(sector), row.accepted) << row.name;
    }
    EXPECT_FALSE(IsExFatBootSector(ByteSpan(image.data(), 100))) << "a short buffer";
}

}  // namespace
}  // namespace lumarest

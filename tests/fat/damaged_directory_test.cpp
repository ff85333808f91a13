#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fat/fat_chain.h"
#include "fat/fat_file_rows.h"
#include "fat/lost_directory_recovery.h"
#include "partitions/partition_test_disks.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;

constexpr std::uint64_t kDotDotClusterLow = 32 + 26;
constexpr std::uint64_t kDotDotClusterHigh = 32 + 20;

struct Volume {
    std::string name;
    std::string fsName;
    std::uint64_t sectors = 0;
};

const std::vector<Volume>& Volumes() {
    static const std::vector<Volume> volumes{{"f16_s4", "FAT16", 65536},
                                             {"f32_s1", "FAT32", 81920}};
    return volumes;
}

std::string VolumeImage(const Volume& volume) {
    const auto folder = std::filesystem::path(LUMAREST_FIXTURE_DIR) / "lost_directory_images";
    static const bool built = std::system(("bash '" + std::string(LUMAREST_SOURCE_DIR) +
                                           "/tests/fat/make_lost_directory_images.sh' '" +
                                           folder.string() + "' >/dev/null 2>&1")
                                              .c_str()) == 0;
    return built ? (folder / (volume.name + ".img")).string() : "";
}

std::uint32_t ClusterOf(const testing::Recovery& recovery, const std::string& path) {
    for (const FolderNode& node : recovery.run.folderNodes.Nodes()) {
        if (testing::PathOf(recovery.run.folderNodes, node) == path) {
            return node.selfId;
        }
    }
    ADD_FAILURE() << path << " not found";
    return 0;
}

std::uint64_t ClusterByte(const testing::Recovery& recovery, std::uint32_t cluster) {
    return ClusterToSector(recovery.run.activeVolume, cluster, 0) * kSectorSize;
}

void PatchDotDot(PatchedImage& disk, const testing::Recovery& recovery, std::uint32_t folder,
                 std::uint32_t parent) {
    const std::uint64_t at = ClusterByte(recovery, folder);
    for (int i = 0; i < 2; ++i) {
        disk.Patch(at + kDotDotClusterLow + i, static_cast<std::uint8_t>(parent >> (8 * i)));
        disk.Patch(at + kDotDotClusterHigh + i, static_cast<std::uint8_t>(parent >> (16 + 8 * i)));
    }
}

// Folders whose ".." a damaged disk sends round in a loop still stand where the live entries
// of their parents name them, and the search ends.
struct LoopCase {
    std::string what;
    bool keepToInner;  // "Keep"'s ".." names "Inner Folder"; else it names itself
    bool innerToSelf;  // "Inner Folder"'s ".." names itself
};

TEST(DamagedDirectoryTest, FoldersInALoopStandWhereTheirParentsNameThem) {
    const std::vector<LoopCase> cases{
        {"two folders name each other", true, false},
        {"a folder names itself", false, false},
        {"both name themselves", false, true},
        {"loop and a self-named child", true, true},
    };
    for (const Volume& volume : Volumes()) {
        const std::string image = VolumeImage(volume);
        ASSERT_FALSE(image.empty());
        ImageGuard guard(image);
        PatchedImage plain(image);
        const auto before = testing::Recover(plain, volume.fsName, 0, volume.sectors);
        const std::uint32_t keep = ClusterOf(*before, "Keep");
        const std::uint32_t inner = ClusterOf(*before, "Keep/Inner Folder");
        for (const LoopCase& loop : cases) {
            SCOPED_TRACE(volume.name + ": " + loop.what);
            PatchedImage disk(image);
            PatchDotDot(disk, *before, keep, loop.keepToInner ? inner : keep);
            if (loop.innerToSelf) {
                PatchDotDot(disk, *before, inner, inner);
            }
            const auto after = testing::Recover(disk, volume.fsName, 0, volume.sectors);
            EXPECT_EQ(after->paths, before->paths);
            EXPECT_EQ(after->paths.count("Keep/Inner Folder"), 1u);
            EXPECT_EQ(disk.readsOutside_, 0u);
        }
        EXPECT_TRUE(guard.Unchanged());
    }
}

// One 32-byte short entry: name, attribute, first cluster, date and time words.
using Entry = std::array<std::uint8_t, 32>;

Entry ShortEntry(const std::string& name11, std::uint8_t attr, std::uint32_t cluster,
                 std::uint16_t date, std::uint16_t time) {
    Entry entry{};
    for (std::size_t i = 0; i < 11; ++i) {
        entry[i] = static_cast<std::uint8_t>(name11[i]);
    }
    entry[11] = attr;
    entry[20] = static_cast<std::uint8_t>(cluster >> 16);
    entry[21] = static_cast<std::uint8_t>(cluster >> 24);
    entry[22] = static_cast<std::uint8_t>(time);
    entry[23] = static_cast<std::uint8_t>(time >> 8);
    entry[24] = static_cast<std::uint8_t>(date);
    entry[25] = static_cast<std::uint8_t>(date >> 8);
    entry[26] = static_cast<std::uint8_t>(cluster);
    entry[27] = static_cast<std::uint8_t>(cluster >> 8);
    return entry;
}

constexpr std::uint16_t kDate = ((2024 - 1980) << 9) | (5 << 5) | 17;
constexpr std::uint16_t kTime = (10 << 11) | (30 << 5) | 5;
constexpr std::uint8_t kArchive = 0x20;

// A cluster of data that no directory reaches is taken for a stretch of a lost directory only
// when its entries are all well formed: one flaw anywhere and it stays file data.
struct FragmentCase {
    std::string what;
    std::vector<Entry> entries;
    bool isDirectory;
};

// File data cut into entries.
std::vector<Entry> TextEntries(const std::string& line) {
    std::string text;
    while (text.size() < 4 * sizeof(Entry)) {
        text += line;
    }
    std::vector<Entry> entries(4);
    for (std::size_t i = 0; i < text.size() && i < 4 * sizeof(Entry); ++i) {
        entries[i / sizeof(Entry)][i % sizeof(Entry)] = static_cast<std::uint8_t>(text[i]);
    }
    return entries;
}

std::vector<FragmentCase> FragmentCases() {
    const Entry a = ShortEntry(
        "\xE5"
        "LOST1  TXT",
        kArchive, 0, kDate, kTime);
    const Entry b = ShortEntry(
        "\xE5"
        "LOST2  TXT",
        kArchive, 0, kDate, kTime);
    const Entry c = ShortEntry(
        "\xE5"
        "LOST3  JPG",
        kArchive, 0, kDate, kTime);
    return {
        {"three deleted entries", {a, b, c}, true},
        {"two entries are too few", {a, b}, false},
        {"a month 13",
         {a, b, ShortEntry("LOST3   JPG", kArchive, 0, (44 << 9) | (13 << 5) | 1, kTime)},
         false},
        {"hour 25", {a, b, ShortEntry("LOST3   JPG", kArchive, 0, kDate, 25 << 11)}, false},
        {"reserved attribute bits",
         {a, ShortEntry("LOST3   JPG", 0x60, 0, kDate, kTime), b, c},
         false},
        {"a control byte in a name",
         {a, b, ShortEntry("LO\x01T3   JPG", kArchive, 0, kDate, kTime)},
         false},
        {"a cluster past the volume",
         {a, b, ShortEntry("LOST3   JPG", kArchive, 0x0FFFFFF0, kDate, kTime)},
         false},
        {"text", TextEntries("Lumarest lost directory test line\n"), false},
        {"columns of digits", TextEntries("0001 0002 0003 0004 0005 0006 0007 0008\n"), false},
    };
}

TEST(DamagedDirectoryTest, OnlyWellFormedEntriesMakeAFolderOfLostEntries) {
    for (const Volume& volume : Volumes()) {
        const std::string image = VolumeImage(volume);
        ASSERT_FALSE(image.empty());
        ImageGuard guard(image);
        PatchedImage plain(image);
        const auto before = testing::Recover(plain, volume.fsName, 0, volume.sectors);
        std::uint32_t highest = 0;
        for (const FolderNode& node : before->run.folderNodes.Nodes()) {
            highest = node.selfId == kOrphanFolderId ? highest : std::max(highest, node.selfId);
        }
        // A free cluster well past everything the tree uses.
        const std::uint32_t spare = highest + 64;
        for (const FragmentCase& fragment : FragmentCases()) {
            SCOPED_TRACE(volume.name + ": " + fragment.what);
            PatchedImage disk(image);
            std::uint64_t at = ClusterByte(*before, spare);
            for (const Entry& entry : fragment.entries) {
                for (const std::uint8_t byte : entry) {
                    disk.Patch(at++, byte);
                }
            }
            auto after = testing::Recover(disk, volume.fsName, 0, volume.sectors);
            std::vector<std::uint32_t> lost;
            for (const FolderNode& node : after->run.folderNodes.Nodes()) {
                if (node.parentId == kOrphanFolderId) {
                    lost.push_back(node.selfId);
                }
            }
            if (!fragment.isDirectory) {
                EXPECT_TRUE(lost.empty());
                continue;
            }
            ASSERT_EQ(lost, std::vector<std::uint32_t>{spare});
            std::vector<std::string> names;
            ForEachFatFile(
                after->run, disk, spare,
                [&](const FatFileFacts& facts, FileTypeWording) { names.push_back(facts.name); });
            EXPECT_EQ(names, (std::vector<std::string>{"_LOST1.TXT", "_LOST2.TXT", "_LOST3.JPG"}));
        }
        EXPECT_TRUE(guard.Unchanged());
    }
}

}  // namespace
}  // namespace lumarest

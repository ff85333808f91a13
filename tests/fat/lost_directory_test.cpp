#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/directory_scan.h"
#include "fat/fat_chain.h"
#include "fat/lost_directory_recovery.h"
#include "fat/name_children.h"
#include "partitions/partition_test_disks.h"
#include "partitions/volume_params.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

using testing::FolderPaths;
using testing::Recover;

using testing::ImageGuard;
using testing::PatchedImage;

struct LostDirectoryVolume {
    std::string name;
    std::string fsName;
    std::uint64_t sectors = 0;
};

void PrintTo(const LostDirectoryVolume& volume, std::ostream* out) {
    *out << volume.name;
}

std::filesystem::path ImagesFolder() {
    return std::filesystem::path(LUMAREST_FIXTURE_DIR) / "lost_directory_images";
}

bool MakeImages() {
    static const bool built = [] {
        const std::string command = "bash '" + std::string(LUMAREST_SOURCE_DIR) +
                                    "/tests/fat/make_lost_directory_images.sh' '" +
                                    ImagesFolder().string() + "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }();
    return built;
}

const FolderPaths& ExpectedPaths() {
    static const FolderPaths paths{
        {"Photos", false},
        {"Photos/Holiday in Spain 2024", false},
        {"Photos/Holiday in Spain 2024/Thirteen_Char", false},
        {"Keep", false},
        {"Keep/Inner Folder", false},
        {"Año nuevo", false},
        {"Größe", false},
        {"Φωτογραφίες", false},
        {"写真", false},
        {"Party \U0001F389", false},
        {"Old Stuff", true},
        {"Old Stuff/Sub", true},
    };
    return paths;
}

// Folder paths fls lists (deleted ones marked), or nothing when it is not installed.
std::optional<FolderPaths> FlsFolders(const std::string& image) {
    if (!lumarest::testing::ToolInstalled("fls")) {
        return std::nullopt;
    }
    return lumarest::testing::FlsFolderMarks(image);
}

class LostDirectoryTest : public ::testing::TestWithParam<LostDirectoryVolume> {
  protected:
    void SetUp() override { ASSERT_TRUE(MakeImages()); }
    std::string Image() const { return (ImagesFolder() / (GetParam().name + ".img")).string(); }
};

TEST_P(LostDirectoryTest, FindsAndNamesEveryFolderLiveOrDeleted) {
    ImageGuard guard(Image());
    PatchedImage disk(guard.Path());
    const auto recovery = Recover(disk, GetParam().fsName, 0, GetParam().sectors);
    EXPECT_EQ(recovery->paths, ExpectedPaths());
    const TextTable& table = recovery->run.folderTable;
    for (std::size_t row = 0; row + 1 < table.RowCount(); ++row) {
        EXPECT_LT(table.CellU32(row, kEntrySelf), table.CellU32(row + 1, kEntrySelf));
    }
    EXPECT_EQ(table.Cell(table.RowCount() - 1, kEntryName), kOrphanFolderName);
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_P(LostDirectoryTest, FolderNamesMatchFls) {
    ImageGuard guard(Image());
    const auto fls = FlsFolders(guard.Path());
    if (!fls) {
        GTEST_SKIP() << "fls is not installed";
    }
    PatchedImage disk(guard.Path());
    EXPECT_EQ(Recover(disk, GetParam().fsName, 0, GetParam().sectors)->paths, *fls);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_P(LostDirectoryTest, AFolderWhoseParentWasOverwrittenGoesUnderTheOrphanFolder) {
    ImageGuard guard(Image());
    PatchedImage disk(guard.Path());
    const auto before = Recover(disk, GetParam().fsName, 0, GetParam().sectors);
    const TextTable& table = before->run.folderTable;
    std::uint64_t keepSector = 0;
    std::uint32_t keepSelf = 0;
    for (const FolderNode& node : before->run.folderNodes.Nodes()) {
        if (node.name == "Keep") {
            keepSelf = node.selfId;
        }
    }
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        if (table.CellU32(row, kEntrySelf) == keepSelf) {
            keepSector = static_cast<std::uint64_t>(table.CellNumber(row, kEntrySector));
        }
    }
    ASSERT_NE(keepSector, 0u);
    disk.ZeroSector(keepSector);

    const auto after = Recover(disk, GetParam().fsName, 0, GetParam().sectors);
    std::vector<FolderNode> orphans;
    for (const FolderNode& node : after->run.folderNodes.Nodes()) {
        if (node.parentId == kOrphanFolderId) {
            orphans.push_back(node);
        }
    }
    ASSERT_EQ(orphans.size(), 1u);
    // Nothing names it any more: it keeps the name the scan gave it.
    EXPECT_EQ(orphans[0].name.rfind("Dir", 0), 0u) << orphans[0].name;
    EXPECT_EQ(after->paths.count("Keep"), 0u);
    EXPECT_EQ(after->paths.size(), ExpectedPaths().size() - 1);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_P(LostDirectoryTest, ALongNameWithAForbiddenCharacterGivesWayToTheShortName) {
    ImageGuard guard(Image());
    PatchedImage disk(guard.Path());
    const auto before = Recover(disk, GetParam().fsName, 0, GetParam().sectors);
    // The long name "Thirteen_Char" sits in its parent's first sector, in one entry.
    std::uint32_t parentSelf = 0;
    for (const FolderNode& node : before->run.folderNodes.Nodes()) {
        if (node.name == "Holiday in Spain 2024") {
            parentSelf = node.selfId;
        }
    }
    const TextTable& table = before->run.folderTable;
    std::uint64_t parentSector = 0;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        if (table.CellU32(row, kEntrySelf) == parentSelf) {
            parentSector = static_cast<std::uint64_t>(table.CellNumber(row, kEntrySector));
        }
    }
    ASSERT_NE(parentSector, 0u);
    std::array<std::uint8_t, kSectorSize> bytes{};
    ASSERT_EQ(disk.ReadSectors(parentSector, 1, bytes.data()), 1);
    bool patched = false;
    for (std::size_t offset = 0; offset < kSectorSize && !patched; offset += 32) {
        if (bytes[offset + 11] == 0x0F && bytes[offset + 1] == 'T') {
            disk.Patch(parentSector * kSectorSize + offset + 3, '?');
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    const auto after = Recover(disk, GetParam().fsName, 0, GetParam().sectors);
    EXPECT_EQ(after->paths.count("Photos/Holiday in Spain 2024/Thirteen_Char"), 0u);
    // The folder keeps its short name.
    EXPECT_EQ(after->paths.count("Photos/Holiday in Spain 2024/THIRTE~1"), 1u);
    EXPECT_EQ(after->paths.size(), ExpectedPaths().size());
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(MadeByMkfsFat, LostDirectoryTest,
                         ::testing::Values(LostDirectoryVolume{"f16_s1", "FAT16", 32768},
                                           LostDirectoryVolume{"f16_s4", "FAT16", 65536},
                                           LostDirectoryVolume{"f32_s1", "FAT32", 81920},
                                           LostDirectoryVolume{"f32_s2", "FAT32", 143360}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace lumarest

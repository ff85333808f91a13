#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/oem_code_page.h"
#include "fat/fat_file_rows.h"
#include "output/listing_volumes.h"
#include "output/recovered_file.h"
#include "support/crafted_fat_images.h"
#include "support/image_guard.h"
#include "support/volume_files.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::CraftedFatImage;
using testing::ImageGuard;
using testing::LoadedVolume;

constexpr std::uint64_t kClusterBytes = 2048;

class CraftedFatEntries : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(testing::MakeCraftedFatImages()); }
};

// Twenty entries claim 4 GiB each. Saved, a live one gives its chain of two clusters and a
// deleted one its two freed clusters, up to the next file's: nothing near 20 × the volume.
TEST_F(CraftedFatEntries, HugeSizesWriteNoMoreThanTheVolumeHolds) {
    const std::string image = CraftedFatImage("amplify.img");
    const ImageGuard guard(image);
    LoadedVolume volume(image, "FAT16");
    const fs::path scratch = fs::path(LUMAREST_FIXTURE_DIR) / "crafted_fat_scratch";
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const auto files = testing::VolumeFiles(volume.run, volume.disk, 0);
    std::size_t crafted = 0;
    std::uint64_t total = 0;
    for (std::size_t row = 0; row < files.size(); ++row) {
        const std::vector<std::string> cells = files[row].first.Cells();
        const std::string path = (scratch / ("row" + std::to_string(row))).string();
        std::ofstream out(path, std::ios::binary);
        const RecoveredFileStatus status =
            WriteListedFile(volume.run, volume.disk, files[row].second, out);
        out.close();
        total += fs::file_size(path);
        if (cells[0] == "FILL.BIN") {
            EXPECT_EQ(status, RecoveredFileStatus::Written);
            continue;
        }
        ++crafted;
        const bool deleted = cells[0][0] == '_';
        EXPECT_EQ(cells[6], deleted ? kFatDeletedMark : "") << cells[0];
        EXPECT_EQ(status, RecoveredFileStatus::Incomplete) << cells[0];
        EXPECT_EQ(fs::file_size(path), 2 * kClusterBytes) << cells[0];
    }
    EXPECT_EQ(crafted, 20u);
    EXPECT_LT(total, fs::file_size(image));
    EXPECT_TRUE(guard.Unchanged());
}

// Short-only names in a code page are listed under the code page chosen, and a long name with
// "/" leaves its short name rather than nothing.
TEST_F(CraftedFatEntries, NamesAreListedUnderTheChosenCodePage) {
    const std::string image = CraftedFatImage("names.img");
    const ImageGuard guard(image);
    const std::map<std::string, std::vector<std::string>> expected{
        {"437", {"MÜLLER.TXT", "S¥REN.TXT", "_ÜLLER.TXT", "A_BLON~1.TXT"}},
        {"850", {"MÜLLER.TXT", "SØREN.TXT", "_ÜLLER.TXT", "A_BLON~1.TXT"}},
        {"866", {"MЪLLER.TXT", "SЭREN.TXT", "_ЪLLER.TXT", "A_BLON~1.TXT"}},
    };
    for (const auto& [codePage, names] : expected) {
        LoadedVolume volume(image, "FAT16");
        const std::optional<OemCodePage> page = OemCodePage::Load(codePage);
        ASSERT_TRUE(page) << codePage;
        volume.run.oemCodePage = *page;
        std::vector<std::string> listed;
        ForEachFatFile(volume.run, volume.disk, 0, [&](const FatFileFacts& facts, FileTypeWording) {
            listed.push_back(facts.name);
        });
        EXPECT_EQ(listed, names) << codePage;
    }
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli_fixture.h"
#include "support/crafted_fat_images.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;

class CraftedFatCommandTest : public testing::CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        ASSERT_TRUE(testing::MakeCraftedFatImages());
    }
};

// The code page of short names comes from --oem-codepage; one iconv does not know is refused.
TEST_F(CraftedFatCommandTest, ShortNamesFollowTheCodePageGiven) {
    const std::string image = testing::CraftedFatImage("names_disk.img");
    const testing::ImageGuard guard(image);
    struct Case {
        std::vector<std::string> option;
        int status;
        std::string shown;
        std::string absent;
    };
    const std::vector<Case> cases{
        {{}, kExitOk, "S¥REN.TXT", "SØREN.TXT"},
        {{"--oem-codepage", "850"}, kExitOk, "SØREN.TXT", "S¥REN.TXT"},
        {{"--oem-codepage", "cp437"}, kExitOk, "MÜLLER.TXT", "SØREN.TXT"},
        {{"--oem-codepage", "nonsense"}, kExitBadInput, "", "MÜLLER.TXT"},
        {{"--oem-codepage", "UTF-8"}, kExitBadInput, "", "MÜLLER.TXT"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--image", image, "standard", "--partition", "1"};
        args.insert(args.end(), c.option.begin(), c.option.end());
        const std::string row = c.option.empty() ? "default" : c.option.back();
        EXPECT_EQ(Run(args), c.status) << row << ": " << err_.str();
        EXPECT_NE(out_.str().find(c.shown), std::string::npos) << row;
        EXPECT_EQ(out_.str().find(c.absent), std::string::npos) << row;
        if (c.status == kExitOk) {
            EXPECT_NE(out_.str().find("A_BLON~1.TXT"), std::string::npos) << row;
        } else {
            EXPECT_NE(err_.str().find("unknown code page"), std::string::npos) << row;
        }
    }
    EXPECT_TRUE(guard.Unchanged());
}

// Saving twenty entries that claim 4 GiB each writes less than the disk holds.
TEST_F(CraftedFatCommandTest, SavingHugeSizesStaysWithinTheVolume) {
    const std::string image = testing::CraftedFatImage("amplify_disk.img");
    const testing::ImageGuard guard(image);
    const fs::path destination = folder_ / "saved";
    fs::create_directories(destination);
    EXPECT_EQ(
        Run({"--image", image, "standard", "--partition", "1", "--save", destination.string()}),
        kExitOk)
        << err_.str();
    std::uintmax_t total = 0;
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
        if (entry.is_regular_file()) {
            total += entry.file_size();
            ++files;
        }
    }
    EXPECT_EQ(files, 21u);
    EXPECT_LT(total, fs::file_size(image));
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_fixture.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

using nlohmann::json;

class ExFatCommandTest : public testing::CliFixture {};

// An exFAT card however it is laid out: listed as exFAT (never as NTFS, whose type byte it
// shares), and searched by every search as exFAT.
TEST_F(ExFatCommandTest, AnExFatPartitionIsListedAndSearchedAsExFat) {
    if (!testing::ToolInstalled("mkfs.exfat")) {
        GTEST_SKIP() << "mkfs.exfat (exfatprogs) is not installed";
    }
    struct Case {
        const char* image;
        const char* source;
        std::uint64_t start;
    };
    const Case cases[] = {
        {"bare.img", "whole disk", 0},
        {"mbr.img", "partition table", 2048},
        {"gpt.img", "GPT", 2048},
    };
    constexpr std::uint64_t kVolumeSectors = 65536;
    constexpr std::uint64_t kPictureSector = 16384;
    for (const Case& c : cases) {
        const std::string image =
            testing::MadeImage("tests/partitions/make_exfat_images.sh", "exfat_test", c.image);
        ASSERT_FALSE(image.empty()) << c.image;
        const testing::ImageGuard guard(image);

        // The search finds the same volume again and adds nothing.
        ASSERT_EQ(Run({"--json", "--image", image, "partitions", "--search"}), kExitOk)
            << c.image << ": " << err_.str();
        const json listing = json::parse(out_.str());
        EXPECT_EQ(listing.at("partitions"), json::array({{{"number", 1},
                                                          {"fileSystem", "exFAT"},
                                                          {"startSector", c.start},
                                                          {"endSector", c.start + kVolumeSectors},
                                                          {"item", "Partition - 1 ( exFAT )"},
                                                          {"source", c.source},
                                                          {"pastDiskEnd", false}}}))
            << c.image;
        EXPECT_EQ(listing.at("search").at("added"), 0) << c.image;
        ASSERT_EQ(Run({"--image", image, "partitions"}), kExitOk) << c.image;
        EXPECT_NE(out_.str().find("exFAT"), std::string::npos) << c.image << ": " << out_.str();
        EXPECT_EQ(out_.str().find("NTFS"), std::string::npos) << c.image << ": " << out_.str();

        // Both searches take it as exFAT: the Standard one from its boot region, the Advance
        // one from what the partition's sectors hold.
        ASSERT_EQ(Run({"--json", "--image", image, "standard", "--partition", "1"}), kExitOk)
            << c.image << ": " << err_.str();
        EXPECT_EQ(json::parse(out_.str()).at("fileSystem"), "exFAT") << c.image;
        ASSERT_EQ(Run({"--json", "--image", image, "advance", "--partition", "1"}), kExitOk)
            << c.image << ": " << err_.str();
        const json found = json::parse(out_.str());
        ASSERT_EQ(found.at("volumes").size(), 1u) << c.image << ": " << out_.str();
        EXPECT_EQ(found.at("volumes").at(0).at("fileSystem"), "exFAT") << c.image;
        EXPECT_EQ(Run({"--image", image, "advance", "--partition", "1", "--fs", "FAT32"}), kExitOk)
            << c.image << ": " << err_.str();

        ASSERT_EQ(Run({"--json", "--image", image, "raw", "--partition", "1", "--no-decode"}),
                  kExitOk)
            << c.image << ": " << err_.str();
        const json raw = json::parse(out_.str());
        EXPECT_EQ(raw.at("firstSector"), c.start) << c.image;
        ASSERT_EQ(raw.at("files").size(), 1u) << c.image;
        EXPECT_EQ(raw.at("files").at(0).at("extension"), "jpg") << c.image;
        EXPECT_EQ(raw.at("files").at(0).at("firstSector"), c.start + kPictureSector) << c.image;
        EXPECT_TRUE(guard.Unchanged()) << c.image;
    }
}

}  // namespace
}  // namespace lumarest

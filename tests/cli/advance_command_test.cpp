#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli_fixture.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using nlohmann::json;

class AdvanceCommandTest : public testing::CliFixture {
  protected:
    json RunJson(std::vector<std::string> args) {
        args.insert(args.begin(), {"--json", "--image", demo_});
        EXPECT_EQ(Run(args), kExitOk) << err_.str();
        return json::parse(out_.str(), nullptr, false);
    }
    std::set<std::string> FolderPaths(std::vector<std::string> args) {
        std::set<std::string> paths;
        const json document = RunJson(std::move(args));
        for (const json& folder : document["folders"]) {
            paths.insert(folder["path"].get<std::string>());
        }
        return paths;
    }

    std::string demo_ = testing::FixtureImage("demo.img");
};

// demo.img keeps its boot sectors. FAT32 and NTFS volumes are found from their own; the small
// FAT16 volume gives its size only in the 16-bit field, so its boot sector explains none of its
// directories and the volume is inferred from them (its "Sector" is 0).
TEST_F(AdvanceCommandTest, FindsTheVolumesOfTheirBootSectors) {
    const testing::ImageGuard guard(demo_);
    struct Case {
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::uint32_t>> volumes;  // file system, boot sector
    };
    const Case cases[] = {
        {{"advance", "--fs", "FAT16"}, {{"FAT32", 2048}, {"FAT16", 0}}},
        {{"advance", "--partition", "2"}, {{"FAT16", 0}}},
        {{"advance", "--partition", "3"}, {{"NTFS", 104448}}},
    };
    for (const Case& c : cases) {
        const json document = RunJson(c.args);
        const std::string name = c.args.back();
        ASSERT_EQ(document["volumes"].size(), c.volumes.size()) << name << '\n' << out_.str();
        for (std::size_t i = 0; i < c.volumes.size(); ++i) {
            EXPECT_EQ(document["volumes"][i]["fileSystem"], c.volumes[i].first) << name;
            EXPECT_EQ(document["volumes"][i]["sector"], c.volumes[i].second) << name;
            EXPECT_EQ(document["volumes"][i]["volume"], i + 1) << name;
        }
    }
    EXPECT_TRUE(guard.Unchanged());
}

// A found volume's rebuilt tree holds the folders the Standard search finds in its partition.
TEST_F(AdvanceCommandTest, RebuiltVolumeHoldsThePartitionsFolders) {
    const testing::ImageGuard guard(demo_);
    struct Case {
        std::vector<std::string> advance;
        std::string partition;
    };
    const Case cases[] = {
        {{"advance", "--fs", "FAT16", "--volume", "2"}, "2"},
        {{"advance", "--partition", "1", "--volume", "1"}, "1"},
        {{"advance", "--partition", "3", "--volume", "1"}, "3"},
    };
    for (const Case& c : cases) {
        const std::set<std::string> found = FolderPaths(c.advance);
        const std::set<std::string> standard =
            FolderPaths({"standard", "--partition", c.partition});
        EXPECT_FALSE(found.empty()) << c.partition;
        EXPECT_EQ(found, standard) << "partition " << c.partition;
    }
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(AdvanceCommandTest, RefusesWhatItCannotSearch) {
    const std::vector<std::string> cases[] = {
        {"advance", "--fs", "EXT4"},
        {"advance", "--first", "100", "--last", "100", "--fs", "FAT32"},
        {"advance", "--first", "0", "--last", "999999999", "--fs", "FAT32"},
        {"advance"},  // the whole disk has no file system of its own to look for
        {"advance", "--partition", "9"},
        {"advance", "--fs", "FAT32", "--volume", "9"},
        {"advance", "--fs", "FAT32", "--save", "/tmp"},
    };
    for (std::vector<std::string> args : cases) {
        const std::string name = args.back();
        args.insert(args.begin(), {"--image", demo_});
        EXPECT_EQ(Run(args), kExitBadInput) << name;
        EXPECT_NE(err_.str().find("lumarest-cli: error: "), std::string::npos) << name;
    }
}

TEST_F(AdvanceCommandTest, RangeWithoutAVolumeListsNone) {
    const json document = RunJson({"advance", "--first", "5", "--last", "6", "--fs", "NTFS"});
    EXPECT_TRUE(document["volumes"].empty());
    EXPECT_NE(err_.str().find("no NTFS file system could be identified"), std::string::npos);
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli_fixture.h"
#include "support/command_output.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
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

// demo.img keeps its boot sectors: every volume is found from its own, at its partition, the
// small FAT16 volume too, whose boot sector gives its size only in the 16-bit field.
TEST_F(AdvanceCommandTest, FindsTheVolumesOfTheirBootSectors) {
    const testing::ImageGuard guard(demo_);
    struct Case {
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::uint32_t>> volumes;  // file system, boot sector
    };
    const Case cases[] = {
        {{"advance", "--fs", "FAT16"}, {{"FAT32", 2048}, {"FAT16", 71680}}},
        {{"advance", "--partition", "2"}, {{"FAT16", 71680}}},
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

// Volumes of 4096-byte sectors: the search finds each at its partition, and its rebuilt tree
// holds the folders and files the Standard search lists (on NTFS less the file system's own,
// which the Advance search numbers by name).
TEST_F(AdvanceCommandTest, VolumesOf4096ByteSectorsAreFoundAndRebuiltAsStandardDoes) {
    const auto listing = [&](const std::string& image, std::vector<std::string> args) {
        args.insert(args.begin(), {"--json", "--image", image});
        EXPECT_EQ(Run(args), kExitOk) << err_.str();
        return json::parse(out_.str(), nullptr, false);
    };
    const auto paths = [](const json& document) {
        std::set<std::string> found;
        for (const json& folder : document["folders"]) {
            found.insert(folder["path"].get<std::string>() + "\\");
        }
        for (const json& file : document["files"]) {
            const std::string name = file["name"];
            if (!name.starts_with('$')) {
                found.insert(file["folder"].get<std::string>() + "\\" + name);
            }
        }
        return found;
    };
    for (const std::string fileSystem : {"FAT16", "FAT32", "NTFS"}) {
        const std::string name = fileSystem == "FAT16"   ? "f16_4k.img"
                                 : fileSystem == "FAT32" ? "f32_4k.img"
                                                         : "ntfs_4k.img";
        SCOPED_TRACE(name);
        const std::string image =
            testing::MadeImage("tests/support/make_large_sector_images.sh", "large_sectors", name);
        ASSERT_FALSE(image.empty());
        const testing::ImageGuard guard(image);
        const json volumes = listing(image, {"advance", "--partition", "1"});
        ASSERT_EQ(volumes["volumes"].size(), 1u) << out_.str();
        EXPECT_EQ(volumes["volumes"][0]["fileSystem"], fileSystem);
        EXPECT_EQ(volumes["volumes"][0]["sector"], 2048);
        const std::set<std::string> rebuilt =
            paths(listing(image, {"advance", "--partition", "1", "--volume", "1"}));
        EXPECT_GT(rebuilt.size(), 2u);
        EXPECT_EQ(rebuilt, paths(listing(image, {"standard", "--partition", "1"})));
        EXPECT_TRUE(guard.Unchanged());
    }
}

// Ctrl+C a moment into a 1 TiB sparse image: stderr and the JSON say where the reading ended,
// short of the range's end.
TEST_F(AdvanceCommandTest, CtrlCSaysWhereTheSearchStopped) {
    const fs::path big = folder_ / "big.img";
    std::ofstream(big).close();
    fs::resize_file(big, std::uintmax_t{1} << 40);
    const std::string command = "cd '" + folder_.string() + "' && HOME='" + folder_.string() +
                                "' XDG_CONFIG_HOME='" + (folder_ / "config").string() +
                                "' timeout --preserve-status -s INT 1 '" LUMAREST_BIN_DIR
                                "/lumarest-cli' --json --image big.img advance --fs FAT16 "
                                "2>err.txt; echo; echo status $?";
    const std::string out = testing::CommandOutput(command);
    std::ifstream errFile(folder_ / "err.txt");
    const std::string err((std::istreambuf_iterator<char>(errFile)),
                          std::istreambuf_iterator<char>());
    fs::remove(big);
    EXPECT_NE(out.find("status 0"), std::string::npos) << out;
    const json document = json::parse(out.substr(0, out.rfind("status")), nullptr, false);
    ASSERT_TRUE(document.contains("search")) << out;
    EXPECT_EQ(document["search"]["stopped"], true);
    const std::uint64_t searchedTo = document["search"]["searchedTo"];
    EXPECT_GT(searchedTo, 0u);
    EXPECT_LT(searchedTo, document["lastSector"].get<std::uint64_t>());
    EXPECT_NE(err.find("stopped at sector " + std::to_string(searchedTo)), std::string::npos)
        << err;
    EXPECT_NE(err.find("in sectors 0 to " + std::to_string(searchedTo) + " of disk"),
              std::string::npos)
        << err;
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_fixture.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

using nlohmann::json;

class WholeDiskCommandTest : public testing::CliFixture {
  protected:
    json RunJson(const std::vector<std::string>& args) {
        const int status = Run(args);
        EXPECT_EQ(status, kExitOk) << err_.str();
        return status == kExitOk ? json::parse(out_.str()) : json::object();
    }
};

// "Photos/Beach.txt" for a file in Root\Photos.
std::string SlashPath(const json& file) {
    std::string folder = file.at("folder");
    folder = folder == "Root" ? "" : folder.substr(5) + "/";
    for (char& c : folder) {
        c = c == '\\' ? '/' : c;
    }
    return folder + file.at("name").get<std::string>();
}

// A volume made on a whole image is partition 1, found as the whole disk, and its Standard
// search lists the files fls lists, deleted ones marked alike.
TEST_F(WholeDiskCommandTest, AVolumeOnTheWholeImageIsListedAndSearched) {
    struct Case {
        const char* image;
        const char* fileSystem;
        std::uint64_t endSector;
    };
    const std::vector<Case> cases = {
        {"whole_fat32.img", "FAT32", 69984},
        {"whole_ntfs.img", "NTFS", 32768},
    };
    for (const Case& c : cases) {
        const std::string image =
            testing::MadeImage("tests/partitions/make_gpt_images.sh", "gpt_test", c.image);
        ASSERT_FALSE(image.empty()) << c.image;
        testing::ImageGuard guard(image);
        const json listing = RunJson({"--json", "--image", image, "partitions"});
        EXPECT_EQ(listing.at("sectorBytes"), 512) << c.image;
        ASSERT_EQ(listing.at("partitions").size(), 1u) << c.image;
        const json& partition = listing.at("partitions").at(0);
        EXPECT_EQ(partition.at("source"), "whole disk") << c.image;
        EXPECT_EQ(partition.at("fileSystem"), c.fileSystem) << c.image;
        EXPECT_EQ(partition.at("startSector"), 0) << c.image;
        EXPECT_EQ(partition.at("endSector"), c.endSector) << c.image;

        const json tree = RunJson({"--json", "--image", image, "standard", "--partition", "1"});
        EXPECT_EQ(tree.value("bootSectorValid", false), true) << c.image;
        std::set<std::pair<std::string, bool>> files;
        for (const json& file : tree.value("files", json::array())) {
            const std::string path = SlashPath(file);
            if (!path.starts_with('$') && path.find("/$") == std::string::npos) {
                files.emplace(path, file.at("deleted"));
            }
        }
        const auto fls = testing::FlsUserFiles(image);
        if (!fls.empty()) {
            EXPECT_EQ(files, fls) << c.image;
        }
        EXPECT_FALSE(files.empty()) << c.image;
        EXPECT_TRUE(guard.Unchanged()) << c.image;
    }
}

}  // namespace
}  // namespace lumarest

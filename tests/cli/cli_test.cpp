#include "cli/cli_app.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_fixture.h"
#include "disk/disk_inventory.h"
#include "support/command_output.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;

class CliTest : public testing::CliFixture {
  protected:
    std::string MakeImage(const std::string& name, std::size_t bytes) {
        const fs::path path = folder_ / name;
        std::ofstream file(path, std::ios::binary);
        std::string content(bytes, '\0');
        for (std::size_t i = 0; i < bytes; ++i) {
            content[i] = static_cast<char>(i * 7);
        }
        file << content;
        return path.string();
    }
};

TEST_F(CliTest, ListsAttachedImagesAsJsonWithTheFourteenDetails) {
    const std::string first = MakeImage("first.img", 1024 * 1024);
    const std::string odd = MakeImage("odd size.bin", 1000);
    testing::ImageGuard firstGuard(first);
    testing::ImageGuard oddGuard(odd);

    ASSERT_EQ(Run({"--json", "--image", first, "disks", "--image", odd}), kExitOk) << err_.str();
    const auto document = nlohmann::json::parse(out_.str());
    const auto& disks = document.at("disks");
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].at("number"), 0);
    EXPECT_EQ(disks[0].at("item"), "Disk image file (Disk0)");
    EXPECT_EQ(disks[0].at("devicePath"), fs::absolute(first).string());
    EXPECT_EQ(disks[0].at("totalSectors"), 2048);
    // A partial last sector still counts as a sector.
    EXPECT_EQ(disks[1].at("totalSectors"), 2);
    EXPECT_EQ(disks[1].at("item"), "Disk image file (Disk1)");
    const auto& details = disks[0].at("details");
    ASSERT_EQ(details.size(), 14u);
    EXPECT_EQ(details[0].at("name"), "1. Model :");
    EXPECT_EQ(details[0].at("value"), "first.img");
    EXPECT_EQ(details[6].at("name"), "7. Sectors :");
    EXPECT_EQ(details[6].at("value"), "2048");
    EXPECT_EQ(details[13].at("name"), "14. Physical Device ID :");
    EXPECT_TRUE(firstGuard.Unchanged());
    EXPECT_TRUE(oddGuard.Unchanged());
}

// Each disk's own sector size, in the text and the JSON: sizes stay in 512-byte sectors, the
// sector count of the properties and details is in the disk's own.
TEST_F(CliTest, DisksShowTheirLogicalSectorSize) {
    const std::string large = testing::MadeImage("tests/support/make_large_sector_images.sh",
                                                 "large_sectors", "gpt_4k.img");
    const std::string small = MakeImage("small.img", 1024 * 1024);
    ASSERT_FALSE(large.empty());
    testing::ImageGuard guard(large);
    ASSERT_EQ(Run({"--json", "--image", large, "--image", small, "disks"}), kExitOk) << err_.str();
    const auto disks = nlohmann::json::parse(out_.str()).at("disks");
    ASSERT_EQ(disks.size(), 2u);
    const struct {
        std::uint32_t bytes;
        std::uint64_t totalSectors;
    } expected[] = {{4096, 262144}, {512, 2048}};
    for (std::size_t i = 0; i < disks.size(); ++i) {
        const auto& disk = disks[i];
        EXPECT_EQ(disk.at("logicalSectorBytes"), expected[i].bytes) << i;
        EXPECT_EQ(disk.at("totalSectors"), expected[i].totalSectors) << i;
        const std::uint64_t own = expected[i].totalSectors / (expected[i].bytes / 512);
        EXPECT_EQ(disk.at("properties").at("BytesPerSector"), expected[i].bytes) << i;
        EXPECT_EQ(disk.at("properties").at("TotalSectors"), own) << i;
        EXPECT_EQ(disk.at("details")[6].at("value"), std::to_string(own)) << i;
    }
    ASSERT_EQ(Run({"--image", large, "disks"}), kExitOk) << err_.str();
    EXPECT_NE(out_.str().find("Logical sector size :       4096 bytes"), std::string::npos)
        << out_.str();
    EXPECT_TRUE(guard.Unchanged());
}

// A file name is whatever bytes the file system holds: JSON gets U+FFFD for those that are not
// UTF-8, and the command still succeeds.
TEST_F(CliTest, AnImageNameThatIsNotUtf8StaysValidJson) {
    const std::string image = MakeImage("bad\xFFname.img", 64 * 1024);
    testing::ImageGuard guard(image);
    const std::string replaced = "bad\uFFFDname.img";
    ASSERT_EQ(Run({"--json", "--image", image, "disks"}), kExitOk) << err_.str();
    const auto disks = nlohmann::json::parse(out_.str()).at("disks");
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(fs::path(disks[0].at("devicePath").get<std::string>()).filename(), replaced);
    EXPECT_EQ(disks[0].at("properties").at("Model"), replaced);
    EXPECT_EQ(disks[0].at("details")[0].at("value"), replaced);
    EXPECT_EQ(Run({"--json", "--image", image, "partitions"}), kExitOk) << err_.str();
    EXPECT_TRUE(nlohmann::json::accept(out_.str())) << out_.str();
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(CliTest, RefusesImagesThatCannotBeRead) {
    const std::string empty = MakeImage("empty.img", 0);
    fs::create_directories(folder_ / "a folder");
    for (const std::string& bad :
         {(folder_ / "missing.img").string(), empty, (folder_ / "a folder").string()}) {
        EXPECT_EQ(Run({"disks", "--json", "--image", bad}), kExitBadInput) << bad;
        EXPECT_TRUE(out_.str().empty()) << "nothing on stdout when the command fails";
        EXPECT_NE(err_.str().find("lumarest-cli: error: "), std::string::npos);
        EXPECT_NE(err_.str().find(fs::path(bad).filename().string()), std::string::npos)
            << err_.str();
    }
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndHelpAndVersionWithZero) {
    EXPECT_EQ(Run({}), kExitBadInput);
    EXPECT_EQ(Run({"frobnicate"}), kExitBadInput);
    EXPECT_EQ(Run({"disks", "--image"}), kExitBadInput);
    EXPECT_EQ(Run({"--help"}), kExitOk);
    EXPECT_NE(out_.str().find("disks"), std::string::npos);
    // The version needs no command, and is the one the window shows.
    EXPECT_EQ(Run({"--version"}), kExitOk) << err_.str();
    EXPECT_EQ(out_.str(), std::string("lumarest-cli ") + LUMAREST_VERSION + "\n");
}

TEST_F(CliTest, TheProgramPrintsOneJsonDocumentAndFailsWithStatusTwo) {
    const std::string image = MakeImage("program.img", 4096);
    testing::ImageGuard guard(image);
    const std::string program = std::string(LUMAREST_BIN_DIR) + "/lumarest-cli";
    const std::string config = "XDG_CONFIG_HOME='" + (folder_ / "config").string() + "' ";

    const std::string command = config + "'" + program + "' --json --image '" + image + "' disks";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[4096];
    while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) {
        output.append(chunk, n);
    }
    EXPECT_EQ(::pclose(pipe), 0);
    const auto document = nlohmann::json::parse(output);
    bool found = false;
    for (const auto& disk : document.at("disks")) {
        found = found || disk.at("devicePath") == fs::absolute(image).string();
    }
    EXPECT_TRUE(found);

    const std::string failing = config + "'" + program + "' disks --image '" +
                                (folder_ / "nope.img").string() + "' >/dev/null 2>&1";
    const int status = std::system(failing.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(CliTest, AListingThatCannotBeWrittenFailsWithStatusTwo) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full to write to";
    }
    const std::string demo = testing::FixtureImage("demo.img");
    ASSERT_FALSE(demo.empty()) << "demo.img was not made: run the fixtures.make_images test first";
    testing::ImageGuard guard(demo);
    const std::string image = "--image " + testing::ShellQuoted(demo);
    const std::pair<const char*, std::string> cases[] = {
        {"disks", image + " disks"},
        {"partitions", image + " partitions"},
        {"raw", "--json " + image + " raw --first 2048 --last 4096 --no-decode"},
        {"standard", image + " standard --partition 2"},
        {"help", "--help"},
        {"version", "--version"},
    };
    for (const auto& [name, arguments] : cases) {
        const testing::ProgramRun run =
            testing::RunCliProgram((folder_ / "config").string(), arguments, "/dev/full", 60);
        EXPECT_EQ(run.status, kExitBadInput) << name << ": " << run.err;
        EXPECT_NE(run.err.find("lumarest-cli: error: the output could not be written"),
                  std::string::npos)
            << name << ": " << run.err;
    }
    EXPECT_TRUE(guard.Unchanged());
}

// Whatever the environment names as home and configuration folder, a listing writes nothing:
// not there, and never in the folder it runs in, which may be on the disk being searched.
TEST_F(CliTest, CommandsLeaveNoFileInHomeConfigOrTheCurrentFolder) {
    const std::string demo = testing::FixtureImage("demo.img");
    ASSERT_FALSE(demo.empty()) << "demo.img was not made: run the fixtures.make_images test first";
    testing::ImageGuard guard(demo);
    const fs::path home = folder_ / "home";
    const fs::path config = folder_ / "xdg";
    const fs::path work = folder_ / "work";
    const std::string program = testing::ShellQuoted(std::string(LUMAREST_BIN_DIR) + "/lumarest-cli");
    const std::string image = " --image " + testing::ShellQuoted(demo);
    const std::pair<const char*, std::string> cases[] = {
        {"home set", "env -u XDG_CONFIG_HOME HOME=" + testing::ShellQuoted(home.string())},
        {"home unset", "env -u XDG_CONFIG_HOME -u HOME"},
        {"relative config", "env -u HOME XDG_CONFIG_HOME=xdg"},
        {"config set", "env XDG_CONFIG_HOME=" + testing::ShellQuoted(config.string())},
    };
    for (const auto& [name, environment] : cases) {
        for (const fs::path& folder : {home, config, work}) {
            fs::remove_all(folder);
            fs::create_directories(folder);
        }
        for (const char* command : {" partitions", " disks", " standard --partition 1"}) {
            const std::string line = "cd " + testing::ShellQuoted(work.string()) + " && " +
                                     environment + " " + program + image + command +
                                     " >/dev/null 2>&1";
            EXPECT_EQ(WEXITSTATUS(std::system(line.c_str())), kExitOk) << name << command;
        }
        for (const fs::path& folder : {home, config, work}) {
            EXPECT_TRUE(fs::is_empty(folder)) << name << ": " << folder << " was written";
        }
    }
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(CliTest, PartitionNumbersAreSaidToStartAtOne) {
    const std::string image = MakeImage("numbers.img", 4096);
    const std::vector<std::string> cases[] = {
        {"--image", image, "standard", "--partition", "0"},
        {"--image", image, "raw", "--partition", "0"},
        {"--image", image, "standard", "--partition", "-3"},
        {"--image", image, "raw", "--partition", "two"},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(Run(args), kExitBadInput) << args[2] << " " << args[4];
        EXPECT_NE(err_.str().find("partitions are numbered from 1"), std::string::npos)
            << err_.str();
        EXPECT_EQ(err_.str().find("1.797"), std::string::npos) << err_.str();
    }
}

TEST_F(CliTest, TheSameImageUnderAnyNameIsOneDisk) {
    const std::string image = MakeImage("twice.img", 4096);
    fs::create_symlink(image, folder_ / "link.img");
    fs::create_hard_link(image, folder_ / "hard.img");
    const std::string copy = MakeImage("copy.img", 4096);
    struct Case {
        const char* name;
        std::string second;
        std::size_t disks;
    };
    const Case cases[] = {
        {"same path", image, 1},
        {"another spelling", (folder_ / "." / "twice.img").string(), 1},
        {"symbolic link", (folder_ / "link.img").string(), 1},
        {"hard link", (folder_ / "hard.img").string(), 1},
        {"a copy", copy, 2},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Run({"--json", "--image", image, "--image", c.second, "disks"}), kExitOk)
            << c.name << ": " << err_.str();
        EXPECT_EQ(nlohmann::json::parse(out_.str()).at("disks").size(), c.disks) << c.name;
    }
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli_fixture.h"
#include "support/command_output.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::ShellQuoted;

constexpr std::uint64_t kSectorBytes = 512;
constexpr std::uint64_t kDemoNtfsStart = 104448;
// The second entry of the demo disk's master boot record: the FAT16 partition.
constexpr std::uint64_t kSecondEntrySizeOffset = 446 + 16 + 12;
// A hang shows as the time limit ending the program; a working search takes well under a second.
constexpr int kSecondsAllowed = 60;

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string Utf16Le(const std::string& ascii) {
    std::string bytes;
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

// A copy of the demo disk, edited in bytes no tool writes; the demo itself stays untouched.
class DamagedDiskTest : public testing::CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        demo_ = testing::FixtureImage("demo.img");
        if (demo_.empty()) {
            GTEST_FAIL() << "demo.img was not made: run the fixtures.make_images test first";
        }
        guard_.emplace(demo_);
        image_ = (folder_ / "damaged.img").string();
        bytes_ = ReadFile(demo_);
    }
    void TearDown() override {
        if (guard_) {
            EXPECT_TRUE(guard_->Unchanged());
        }
    }

    void PutLe32(std::uint64_t offset, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes_[offset + i] = static_cast<char>(value >> (8 * i));
        }
    }
    // Every UTF-16 copy of `from` at or after `fromSector` becomes `to`, in the file records and
    // the folder indexes alike.
    void ReplaceUtf16(const std::string& from, const std::string& to, std::uint64_t fromSector) {
        ASSERT_EQ(from.size(), to.size());
        const std::string old = Utf16Le(from);
        const std::string replacement = Utf16Le(to);
        std::size_t found = 0;
        for (std::size_t at = bytes_.find(old, fromSector * kSectorBytes); at != std::string::npos;
             at = bytes_.find(old, at + old.size())) {
            bytes_.replace(at, old.size(), replacement);
            ++found;
        }
        ASSERT_GT(found, 0u) << from;
    }
    void Write() { std::ofstream(image_, std::ios::binary) << bytes_; }

    std::string demo_;
    std::string image_;
    std::string bytes_;
    std::optional<testing::ImageGuard> guard_;
};

TEST_F(DamagedDiskTest, AnEntryRunningPastTheDiskIsNotedAndEverySearchStopsAtItsEnd) {
    PutLe32(kSecondEntrySizeOffset, 0xFFFFFFFF);
    Write();
    testing::ImageGuard damagedGuard(image_);

    ASSERT_EQ(Run({"--image", image_, "partitions"}), kExitOk) << err_.str();
    EXPECT_NE(out_.str().find("Note: partition 2 ends at sector 4295038975, past the end of the "
                              "disk (139264 sectors)"),
              std::string::npos)
        << out_.str();
    EXPECT_EQ(out_.str().find("Note: partition 1"), std::string::npos) << out_.str();
    ASSERT_EQ(Run({"--json", "--image", image_, "partitions"}), kExitOk) << err_.str();
    const Json listing = Json::parse(out_.str());
    EXPECT_EQ(listing.at("partitions").at(0).at("pastDiskEnd"), false);
    EXPECT_EQ(listing.at("partitions").at(1).at("pastDiskEnd"), true);

    struct Case {
        const char* name;
        std::string arguments;
        const char* message;
    };
    const std::string image = ShellQuoted(image_);
    const Case cases[] = {
        {"standard", "--image " + image + " standard --partition 2",
         "folders below Root (2 deleted) and 15 files (5 deleted) in the rebuilt tree of partition "
         "2 (FAT16)"},
        {"raw", "--image " + image + " raw --partition 2 --no-decode",
         "carved from sectors 71680 to 139264"},
    };
    for (const Case& c : cases) {
        const testing::ProgramRun run =
            testing::RunCliProgram((folder_ / "config").string(), c.arguments,
                                   (folder_ / "out.txt").string(), kSecondsAllowed);
        EXPECT_EQ(run.status, kExitOk) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find("partition 2 runs past the end of disk"), std::string::npos)
            << c.name << ": " << run.err;
    }
    EXPECT_TRUE(damagedGuard.Unchanged());
}

TEST_F(DamagedDiskTest, ControlCharactersInNamesAreShownEscapedInTextAndKeptInJson) {
    // NTFS keeps any character but "/" and NUL in a name.
    ReplaceUtf16("Letter to Grandma", "Letter\x1bto\nGrandma", kDemoNtfsStart);
    ReplaceUtf16("snowman", "sn\x7fwman", kDemoNtfsStart);
    Write();
    testing::ImageGuard damagedGuard(image_);

    ASSERT_EQ(Run({"--image", image_, "standard", "--partition", "3"}), kExitOk) << err_.str();
    const std::string text = out_.str();
    struct Case {
        const char* shown;
        const char* raw;
    };
    const Case cases[] = {{"Letter\\x1bto\\x0aGrandma.txt", "Letter\x1bto\nGrandma"},
                          {"sn\\x7fwman.png", "sn\x7fwman"}};
    for (const Case& c : cases) {
        EXPECT_NE(text.find(c.shown), std::string::npos) << c.shown << "\n" << text;
        EXPECT_EQ(text.find(c.raw), std::string::npos) << c.shown;
    }
    // Every row still starts in the first column: a name started none of its own.
    EXPECT_EQ(text.find("\nGrandma"), std::string::npos);

    ASSERT_EQ(Run({"--json", "--image", image_, "standard", "--partition", "3"}), kExitOk);
    const Json document = Json::parse(out_.str());
    std::vector<std::string> names;
    for (const Json& file : document.at("files")) {
        names.push_back(file.at("name"));
    }
    for (const Case& c : cases) {
        bool found = false;
        for (const std::string& name : names) {
            found = found || name.find(c.raw) != std::string::npos;
        }
        EXPECT_TRUE(found) << c.shown;
    }
    EXPECT_TRUE(damagedGuard.Unchanged());
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/command_output.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ShellQuoted;

constexpr const char* kScript = "tests/exfat/make_exfat_volumes.sh";
constexpr const char* kFolder = "exfat_volumes";

// The volumes make_exfat_volumes.sh fills through the FUSE driver, and where each starts in
// 512-byte sectors, as fls -o takes it.
struct ExFatVolume {
    const char* image;
    std::uint64_t start;
};
constexpr ExFatVolume kVolumes[] = {
    {"card_4k.img", 2048},
    {"card_32k.img", 2048},
    {"card_128k.img", 2048},
    {"bare_32k.img", 0},
};

using PathMarks = std::set<std::pair<std::string, bool>>;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// "Root\Vacances été" as fls -p writes it: "Vacances été".
std::string SlashPath(const std::string& treePath) {
    std::string path = treePath == "Root" ? "" : treePath.substr(5);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

class ExFatVolumesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"mkfs.exfat", "mount.exfat-fuse", "fls", "icat"}) {
            if (!testing::ToolInstalled(tool)) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        if (!fs::exists("/dev/fuse")) {
            GTEST_SKIP() << "FUSE is not available";
        }
        const testing::MadeImageResult made =
            testing::MadeImageUnlessSkipped(kScript, kFolder, kVolumes[0].image);
        if (made.skipped) {
            GTEST_SKIP() << "the exFAT FUSE driver cannot mount here";
        }
        ASSERT_FALSE(made.path.empty());
        images_ = fs::path(made.path).parent_path();
    }

    std::string Image(const ExFatVolume& volume) const { return (images_ / volume.image).string(); }

    // Runs lumarest-cli with `arguments` and returns its JSON document (an empty object, with a
    // failure, when it did not end well).
    json RunJson(const testing::TempFolder& folder, const std::string& arguments) {
        const std::string out = (folder.Path() / "out.json").string();
        const testing::ProgramRun run = testing::RunCliProgram((folder.Path() / "config").string(),
                                                               "--json " + arguments, out, 120);
        EXPECT_EQ(run.status, 0) << arguments << ": " << run.err;
        if (run.status != 0) {
            return json::object();
        }
        return json::parse(ReadFile(out), nullptr, false);
    }

    json Standard(const testing::TempFolder& folder, const ExFatVolume& volume,
                  const std::string& more = "") {
        return RunJson(folder,
                       "--image " + ShellQuoted(Image(volume)) + " standard --partition 1" + more);
    }

    fs::path images_;
};

// Every folder and file fls lists, live and deleted, is listed under the same path with the
// same deleted mark, and nothing else is: the deleted folder's files and folder included.
TEST_F(ExFatVolumesTest, TreeMatchesFlsOnEveryVolume) {
    for (const ExFatVolume& volume : kVolumes) {
        SCOPED_TRACE(volume.image);
        const testing::ImageGuard guard(Image(volume));
        PathMarks flsFolders;
        PathMarks flsFiles;
        for (const testing::FlsEntry& entry :
             testing::FlsUserEntries(Image(volume), volume.start)) {
            (entry.kind == 'd' ? flsFolders : flsFiles).emplace(entry.path, entry.deleted);
        }
        ASSERT_EQ(flsFiles.size(), 34u);
        ASSERT_TRUE(flsFolders.contains({"Old trip/Extra", true}));

        const testing::TempFolder folder("exfat_listing");
        const json document = Standard(folder, volume);
        ASSERT_TRUE(document.contains("files")) << document.dump();
        EXPECT_EQ(document.at("fileSystem"), "exFAT");

        PathMarks ourFolders;
        for (const json& f : document.at("folders")) {
            const std::string path = f.at("path");
            if (path != "Root" && path != "Root\\LMR_Miscellaneous") {
                ourFolders.emplace(SlashPath(path), f.at("deleted").get<bool>());
            }
        }
        PathMarks ourFiles;
        for (const json& f : document.at("files")) {
            const std::string folderPath = SlashPath(f.at("folder"));
            const std::string name = f.at("name");
            ourFiles.emplace(folderPath.empty() ? name : folderPath + "/" + name,
                             f.at("deleted").get<bool>());
        }
        EXPECT_EQ(ourFolders, flsFolders);
        EXPECT_EQ(ourFiles, flsFiles);
        EXPECT_TRUE(guard.Unchanged());
    }
}

// Saving everything: each live file holds what icat reads, and each deleted one (the deletions
// were the volume's last writes, so none of their clusters was reused) the bytes written
// before it was deleted, fragmented chains and a 128 KiB-cluster tail included.
TEST_F(ExFatVolumesTest, SavedFilesHoldTheirBytes) {
    for (const ExFatVolume& volume : kVolumes) {
        SCOPED_TRACE(volume.image);
        const testing::ImageGuard guard(Image(volume));
        // What each file must hold: icat's bytes for a live one, the original for a deleted one.
        std::vector<std::pair<std::string, std::string>> wanted;
        std::size_t deleted = 0;
        for (const testing::FlsEntry& entry :
             testing::FlsUserEntries(Image(volume), volume.start)) {
            if (entry.kind != 'r') {
                continue;
            }
            deleted += entry.deleted ? 1 : 0;
            const fs::path original = images_ / "originals" / entry.path;
            ASSERT_TRUE(fs::is_regular_file(original)) << entry.path;
            wanted.emplace_back(
                entry.path, entry.deleted ? ReadFile(original)
                                          : testing::CommandOutput(
                                                "icat -o " + std::to_string(volume.start) + " " +
                                                ShellQuoted(Image(volume)) + " " +
                                                std::to_string(entry.inode) + " 2>/dev/null"));
            ASSERT_EQ(wanted.back().second.size(), fs::file_size(original)) << entry.path;
        }
        ASSERT_EQ(deleted, 10u);

        const testing::TempFolder folder("exfat_save");
        const fs::path saved = folder.Path() / "saved";
        fs::create_directories(saved);
        const json document = Standard(folder, volume, " --save " + ShellQuoted(saved.string()));
        ASSERT_TRUE(document.contains("save")) << document.dump();
        EXPECT_EQ(document.at("save").at("failed"), 0);
        EXPECT_EQ(document.at("save").at("incomplete"), 0);
        EXPECT_EQ(document.at("save").at("deleted"), deleted);
        for (const auto& [path, bytes] : wanted) {
            EXPECT_TRUE(ReadFile(saved / path) == bytes) << path;
        }
        EXPECT_TRUE(guard.Unchanged());
    }
}

// A card's partition and a volume with no table are both the one exFAT partition.
TEST_F(ExFatVolumesTest, CardAndBareVolumeAreListedAsOneExFatPartition) {
    for (const ExFatVolume& volume : {kVolumes[1], kVolumes[3]}) {
        SCOPED_TRACE(volume.image);
        const testing::ImageGuard guard(Image(volume));
        const testing::TempFolder folder("exfat_partitions");
        const json listing =
            RunJson(folder, "--image " + ShellQuoted(Image(volume)) + " partitions");
        ASSERT_TRUE(listing.contains("partitions")) << listing.dump();
        ASSERT_EQ(listing.at("partitions").size(), 1u) << listing.dump();
        const json& partition = listing.at("partitions").at(0);
        EXPECT_EQ(partition.at("item"), "Partition - 1 ( exFAT )");
        EXPECT_EQ(partition.at("fileSystem"), "exFAT");
        EXPECT_EQ(partition.at("startSector"), volume.start);
        EXPECT_TRUE(guard.Unchanged());
    }
}

}  // namespace
}  // namespace lumarest

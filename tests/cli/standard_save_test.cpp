#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/cli_app.h"
#include "cli_fixture.h"
#include "support/command_output.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Every file below `root` by its path in lower case (FAT short names are saved as their entries
// store them), with its size.
std::map<std::string, std::uintmax_t> SavedFiles(const fs::path& root) {
    std::map<std::string, std::uintmax_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[Lower(fs::relative(entry.path(), root).string())] = entry.file_size();
        }
    }
    return files;
}

// The files the demo's manifest lists for one partition, with their sizes: all of them, or
// only those in `state` ("deleted" or "live").
std::map<std::string, std::uintmax_t> ManifestFiles(const std::string& image, int partition,
                                                    const std::string& state = "") {
    std::map<std::string, std::uintmax_t> files;
    std::ifstream manifest(fs::path(image).replace_extension(".manifest"));
    for (std::string line; std::getline(manifest, line);) {
        std::istringstream cells(line);
        std::string volume, wanted, kind, path, bytes;
        std::getline(cells, volume, '\t');
        std::getline(cells, wanted, '\t');
        std::getline(cells, kind, '\t');
        std::getline(cells, path, '\t');
        std::getline(cells, bytes, '\t');
        if (kind == "file" && volume == std::to_string(partition) &&
            (state.empty() || state == wanted)) {
            files[Lower(path)] = std::stoull(bytes);
        }
    }
    return files;
}

class StandardSaveTest : public testing::CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        demo_ = testing::FixtureImage("demo.img");
        if (demo_.empty()) {
            GTEST_SKIP() << "the demo image was not made";
        }
    }
    std::string demo_;
};

// Every file of each partition's tree, deleted ones too, lands under its path with its size; a
// second save beside the first renames instead of overwriting.
TEST_F(StandardSaveTest, SavesTheWholeTreeAndRenamesOnASecondSave) {
    const testing::ImageGuard guard(demo_);
    std::ifstream route(fs::path(demo_).parent_path() / "ntfs_route.txt");
    std::string ntfsRoute;
    route >> ntfsRoute;
    for (const int partition : {1, 2, 3}) {
        SCOPED_TRACE(partition);
        if (partition == 3 && ntfsRoute == "flat") {
            continue;  // the NTFS partition holds no folders without FUSE
        }
        const fs::path folder = folder_ / ("saved" + std::to_string(partition));
        fs::create_directories(folder);
        const std::vector<std::string> args = {
            "--image", demo_,          "standard", "--partition", std::to_string(partition),
            "--save",  folder.string()};
        ASSERT_EQ(Run(args), kExitOk) << err_.str();
        EXPECT_NE(out_.str().find("Saved in " + folder.string() + ": "), std::string::npos)
            << out_.str();
        EXPECT_NE(out_.str().find("\nDeleted files among those saved: "), std::string::npos)
            << out_.str();
        const auto saved = SavedFiles(folder);
        for (const auto& [path, bytes] : ManifestFiles(demo_, partition)) {
            ASSERT_EQ(saved.count(path), 1u) << path;
            EXPECT_EQ(saved.at(path), bytes) << path;
        }
        ASSERT_EQ(Run(args), kExitOk) << err_.str();
        const auto again = SavedFiles(folder);
        EXPECT_EQ(again.size(), 2 * saved.size());
        EXPECT_EQ(again.at("documents/old letters/letter to grandma (2).txt"), 37u);
    }
    EXPECT_TRUE(guard.Unchanged());
}

// With --only, the files of the other kind stay behind, and no folder is made that holds
// nothing saved.
TEST_F(StandardSaveTest, OnlySavesTheDeletedOrTheLiveFilesInTheFoldersHoldingThem) {
    const testing::ImageGuard guard(demo_);
    struct Case {
        const char* only;
        const char* other;
    };
    for (const int partition : {1, 2}) {
        for (const Case& c : {Case{"deleted", "live"}, Case{"live", "deleted"}}) {
            const std::string row = std::to_string(partition) + " " + c.only;
            const fs::path folder = folder_ / ("saved" + std::to_string(partition) + c.only);
            fs::create_directories(folder);
            ASSERT_EQ(Run({"--image", demo_, "standard", "--partition", std::to_string(partition),
                           "--only", c.only, "--save", folder.string()}),
                      kExitOk)
                << row << ": " << err_.str();
            const auto saved = SavedFiles(folder);
            const auto wanted = ManifestFiles(demo_, partition, c.only);
            ASSERT_FALSE(wanted.empty()) << row;
            for (const auto& [path, bytes] : wanted) {
                ASSERT_EQ(saved.count(path), 1u) << row << ": " << path;
                EXPECT_EQ(saved.at(path), bytes) << row << ": " << path;
            }
            for (const auto& [path, bytes] : ManifestFiles(demo_, partition, c.other)) {
                EXPECT_EQ(saved.count(path), 0u) << row << ": " << path;
            }
            for (const auto& entry : fs::recursive_directory_iterator(folder)) {
                if (entry.is_directory()) {
                    EXPECT_FALSE(SavedFiles(entry.path()).empty())
                        << row << ": " << entry.path() << " holds no file";
                }
            }
        }
    }
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(StandardSaveTest, JsonCarriesTheSaveSummary) {
    const fs::path folder = folder_ / "saved";
    fs::create_directories(folder);
    ASSERT_EQ(Run({"--json", "--image", demo_, "standard", "--partition", "2", "--save",
                   folder.string()}),
              kExitOk)
        << err_.str();
    const auto document = nlohmann::json::parse(out_.str());
    const auto& save = document.at("save");
    EXPECT_EQ(save.at("folder"), folder.string());
    EXPECT_EQ(save.at("saved").get<std::size_t>() + save.at("incomplete").get<std::size_t>(),
              SavedFiles(folder).size());
    EXPECT_EQ(save.at("failed"), 0);
    EXPECT_FALSE(document.at("files").empty());
    // Every listed file was saved, so the deleted ones among them are the deleted saved.
    std::size_t deleted = 0;
    for (const auto& file : document.at("files")) {
        deleted += file.at("deleted").get<bool>() ? 1 : 0;
    }
    EXPECT_GT(deleted, 0u);
    EXPECT_EQ(save.at("deleted").get<std::size_t>(), deleted);
}

TEST_F(StandardSaveTest, RefusesADestinationThatIsNoFolderWithStatus2) {
    const testing::ImageGuard guard(demo_);
    const std::string missing = (folder_ / "missing").string();
    EXPECT_EQ(Run({"--image", demo_, "standard", "--partition", "1", "--save", missing}),
              kExitBadInput);
    EXPECT_NE(err_.str().find("does not exist"), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty());
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(Run({"--image", demo_, "standard", "--partition", "1", "--save", demo_}),
              kExitBadInput);
    EXPECT_NE(err_.str().find("is not a folder"), std::string::npos) << err_.str();
    EXPECT_TRUE(guard.Unchanged());
}

// A file holding a folder's name leaves the folder to "Old Letters (2)". A folder the
// destination cannot take is named on stderr and skipped, the others are saved, and the status
// tells a script that not everything was written.
TEST_F(StandardSaveTest, NamesFilesThatCouldNotBeWritten) {
    const fs::path folder = folder_ / "blocked";
    fs::create_directories(folder / "Documents");
    fs::create_directories(folder / "Photos");
    std::ofstream(folder / "Documents" / "Old Letters") << "a file where the folder goes";
    // Permissions do not hold the superuser back; an immutable folder does.
    const std::string photos = testing::ShellQuoted((folder / "Photos").string());
    fs::permissions(folder / "Photos", fs::perms::owner_read | fs::perms::owner_exec);
    const bool immutable = ::access((folder / "Photos").c_str(), W_OK) == 0 &&
                           std::system(("chattr +i " + photos + " 2>/dev/null").c_str()) == 0;
    const bool blocked = ::access((folder / "Photos").c_str(), W_OK) != 0 || immutable;
    const int status =
        blocked ? Run({"--image", demo_, "standard", "--partition", "2", "--save", folder.string()})
                : kExitOk;
    if (immutable) {
        std::system(("chattr -i " + photos).c_str());
    }
    fs::permissions(folder / "Photos", fs::perms::owner_all);
    if (!blocked) {
        GTEST_SKIP() << "no folder here can be made unwritable";
    }
    EXPECT_EQ(status, kExitBadInput);
    EXPECT_NE(err_.str().find("could not write " + (folder / "Photos/2009").string()),
              std::string::npos)
        << err_.str();
    const auto saved = SavedFiles(folder);
    EXPECT_EQ(saved.count("readme.txt"), 1u);
    EXPECT_EQ(saved.count("documents/old letters (2)/letter to grandma.txt"), 1u);
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli_fixture.h"
#include "support/crafted_fat_images.h"
#include "support/image_guard.h"
#include "support/loop_mount.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kNtfsCluster = 4096;
constexpr std::uint64_t kFatCluster = 2048;
constexpr std::uint64_t kFillBytes = 1 << 20;
constexpr std::uint64_t kVolumeBytes = 16 << 20;

struct SavedFile {
    fs::path path;
    std::uint64_t size = 0;
};

std::vector<SavedFile> SavedFiles(const fs::path& root) {
    std::vector<SavedFile> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files.push_back({entry.path(), entry.file_size()});
        }
    }
    return files;
}

std::string BytesAt(const fs::path& path, std::uint64_t offset, std::size_t count) {
    std::ifstream file(path, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(count, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(count));
    return bytes.substr(0, static_cast<std::size_t>(file.gcount()));
}

class SaveRoomTest : public testing::CliFixture {};

// A file whose runs hold a hole of millions of clusters is saved at its size with only its two
// real clusters on the disk.
TEST_F(SaveRoomTest, SparseRunsAreSavedAsHoles) {
    struct Case {
        const char* image;
        std::uint64_t holeClusters;
    };
    for (const Case& c : {Case{"sparse24.img", std::uint64_t{1} << 24},
                          Case{"sparse30.img", std::uint64_t{1} << 30}}) {
        const std::string image =
            testing::MadeImage("tests/support/make_sparse_ntfs_images.sh", "sparse_ntfs", c.image);
        ASSERT_FALSE(image.empty());
        const testing::ImageGuard guard(image);
        const fs::path folder = folder_ / c.image;
        fs::create_directories(folder);
        ASSERT_EQ(
            Run({"--image", image, "standard", "--partition", "1", "--save", folder.string()}),
            kExitOk)
            << c.image << ": " << err_.str();
        const fs::path saved = folder / "Docs" / "sparse.bin";
        const std::uint64_t size = (c.holeClusters + 2) * kNtfsCluster;
        struct stat info {};
        ASSERT_EQ(::stat(saved.c_str(), &info), 0) << c.image << ": " << out_.str();
        EXPECT_EQ(static_cast<std::uint64_t>(info.st_size), size) << c.image;
        EXPECT_LE(static_cast<std::uint64_t>(info.st_blocks) * 512, 16 * kNtfsCluster) << c.image;
        EXPECT_EQ(BytesAt(saved, 0, kNtfsCluster), std::string(kNtfsCluster, 'A')) << c.image;
        EXPECT_EQ(BytesAt(saved, kNtfsCluster, 16), std::string(16, '\0')) << c.image;
        EXPECT_EQ(BytesAt(saved, size - kNtfsCluster, kNtfsCluster), std::string(kNtfsCluster, 'B'))
            << c.image;
        EXPECT_TRUE(guard.Unchanged()) << c.image;
    }
}

// Twenty deleted entries claiming 4 GiB each, in a row of free clusters up to the volume's end:
// each ends where the next begins, the last at the volume's end. All are listed and counted
// truncated, and together they take no more than the free clusters hold.
TEST_F(SaveRoomTest, DeletedHugeSizesEndAtTheNextEntryAndAreMarkedTruncated) {
    ASSERT_TRUE(testing::MakeCraftedFatImages());
    const std::string image = testing::CraftedFatImage("gone_disk.img");
    const testing::ImageGuard guard(image);
    const fs::path folder = folder_ / "saved";
    fs::create_directories(folder);
    ASSERT_EQ(Run({"--json", "--image", image, "standard", "--partition", "1", "--save",
                   folder.string()}),
              kExitOk)
        << err_.str();
    const auto document = nlohmann::json::parse(out_.str());
    std::size_t truncated = 0;
    for (const auto& file : document.at("files")) {
        const bool fill = file.at("name") == "FILL.BIN";
        EXPECT_EQ(file.at("truncated"), !fill) << file.at("name");
        truncated += file.at("truncated").get<bool>() ? 1 : 0;
    }
    EXPECT_EQ(truncated, 20u);
    EXPECT_EQ(document.at("save").at("truncated"), 20);
    EXPECT_EQ(document.at("save").at("incomplete"), 20);

    std::uint64_t total = 0;
    for (const SavedFile& file : SavedFiles(folder)) {
        total += file.size;
        if (file.path.filename() != "_19.BIN" && file.path.filename() != "FILL.BIN") {
            EXPECT_EQ(file.size, 2 * kFatCluster) << file.path;
        }
    }
    EXPECT_LE(total - kFillBytes, kVolumeBytes - kFillBytes);

    ASSERT_EQ(Run({"--image", image, "standard", "--partition", "1"}), kExitOk) << err_.str();
    const std::string text = out_.str();
    EXPECT_NE(text.find("  First cluster  Deleted  Truncated\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  no       no\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("  yes      no\n"), std::string::npos) << text;
    EXPECT_TRUE(guard.Unchanged());
}

// A destination too small for what is next stops the saving with a message and status 2; the
// files saved before stay whole, and nothing half-written is left.
TEST_F(SaveRoomTest, ADestinationWithoutRoomStopsTheSave) {
    if (!testing::CanMakeLoopDevices()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    ASSERT_TRUE(testing::MakeCraftedFatImages());
    const std::string image = testing::CraftedFatImage("gone_disk.img");
    const testing::ImageGuard guard(image);
    // Room for FILL.BIN and the nineteen short ones, not for the last, which runs on to the end.
    const testing::MountedFolder small("mount -t tmpfs -o size=2m tmpfs",
                                       (folder_ / "small").string());
    ASSERT_TRUE(small.Mounted());
    EXPECT_EQ(Run({"--image", image, "standard", "--partition", "1", "--save", small.Folder()}),
              kExitBadInput);
    EXPECT_NE(err_.str().find("lumarest-cli: error: There is not enough free space to save " +
                              small.Folder() + "/_19.BIN"),
              std::string::npos)
        << err_.str();
    const std::vector<SavedFile> saved = SavedFiles(small.Folder());
    EXPECT_EQ(saved.size(), 20u);
    for (const SavedFile& file : saved) {
        EXPECT_FALSE(file.path.filename().string().starts_with(".")) << file.path;
        EXPECT_EQ(file.size, file.path.filename() == "FILL.BIN" ? kFillBytes : 2 * kFatCluster)
            << file.path;
    }
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

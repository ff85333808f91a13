#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "support/command_output.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

using json = nlohmann::json;

// A deleted album's event folders are deleted too, whether or not the album's directory still
// names them, and the counts say so.
TEST(DeletedAlbums, FoldersInsideADeletedFolderAreMarkedAndCounted) {
    const std::string image = testing::MadeImage("tests/cli/make_deleted_albums_image.sh",
                                                 "deleted_albums", "albums.img");
    ASSERT_FALSE(image.empty());
    const testing::ImageGuard guard(image);
    const testing::TempFolder folder("deleted_albums");
    const std::string out = (folder.Path() / "out.json").string();
    const testing::ProgramRun run = testing::RunCliProgram(
        (folder.Path() / "config").string(),
        "--json --image " + testing::ShellQuoted(image) + " standard --partition 1", out, 120);
    ASSERT_EQ(run.status, 0) << run.err;
    std::ifstream in(out);
    const json document = json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
    struct Case {
        const char* album;
        bool deleted;
    };
    for (const Case& c : {Case{"Root\\Album 1", true}, Case{"Root\\Album 2", false}}) {
        std::size_t folders = 0;
        for (const json& f : document.at("folders")) {
            const std::string path = f.at("path");
            if (path == c.album || path.starts_with(std::string(c.album) + "\\")) {
                ++folders;
                EXPECT_EQ(f.at("deleted"), c.deleted) << path;
            }
        }
        EXPECT_EQ(folders, 61u) << c.album;
    }
    // The counts are of the folders listed below Root, the orphan folder left out; a piece of
    // the deleted album's directory that nothing reaches may stand there as a folder of its own.
    int listed = 0;
    int deleted = 0;
    for (const json& f : document.at("folders")) {
        const std::string path = f.at("path");
        if (path != "Root" && path != "Root\\LMR_Miscellaneous") {
            ++listed;
            deleted += f.at("deleted").get<bool>() ? 1 : 0;
        }
    }
    EXPECT_GE(listed, 122);
    EXPECT_EQ(document.at("counts").at("folders"), listed);
    EXPECT_EQ(document.at("counts").at("deletedFolders"), deleted);
    const std::string summary = std::to_string(listed) + " folders below Root (" +
                                std::to_string(deleted) + " deleted)";
    EXPECT_NE(run.err.find(summary), std::string::npos) << run.err;
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

#include "output/private_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "core/new_file.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

mode_t ModeOf(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(PrivateFolder, IsTheUsersAloneAndGoesWithAllItHolds) {
    const TempFolder temp;
    const fs::path base = temp.Path() / "cache" / "lumarest";
    std::string error;
    auto folder = PrivateFolder::Make(base.string(), error);
    ASSERT_NE(folder, nullptr) << error;
    const fs::path path = folder->Path();
    EXPECT_EQ(path.parent_path(), base);
    EXPECT_EQ(ModeOf(base), 0700u);
    EXPECT_EQ(ModeOf(path), 0700u);

    // A copy made for opening is readable by the user alone.
    int failure = 0;
    auto handle = FolderHandle::Open(path.string(), failure);
    ASSERT_TRUE(handle);
    auto copy = NewFile::Create(*handle, failure, FileReaders::OwnerOnly);
    ASSERT_NE(copy, nullptr);
    copy->Stream() << "a private photo";
    ASSERT_EQ(copy->Place("LMRC0.jpg", PlaceMode::Replace), 0);
    EXPECT_EQ(ModeOf(path / "LMRC0.jpg") & 077, 0u);
    fs::create_directory(path / "inner");

    // A second run beside it gets a folder of its own.
    auto other = PrivateFolder::Make(base.string(), error);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other->Path(), folder->Path());

    folder.reset();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::exists(other->Path()));
}

TEST(PrivateFolder, RefusesABaseThatIsNoFolderOfTheUsers) {
    const TempFolder temp;
    std::ofstream(temp.Path() / "a-file") << "x";
    fs::create_directory(temp.Path() / "elsewhere");
    fs::create_directory_symlink(temp.Path() / "elsewhere", temp.Path() / "link");
    for (const fs::path& base :
         {temp.Path() / "a-file", temp.Path() / "a-file" / "below", temp.Path() / "link"}) {
        std::string error;
        EXPECT_EQ(PrivateFolder::Make(base.string(), error), nullptr) << base;
        EXPECT_FALSE(error.empty()) << base;
    }
    std::string error;
    EXPECT_EQ(PrivateFolder::Make("", error), nullptr);
    EXPECT_TRUE(fs::is_empty(temp.Path() / "elsewhere"));
}

}  // namespace
}  // namespace lumarest

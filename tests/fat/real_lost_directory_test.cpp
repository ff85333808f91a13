#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "fat/lost_directory_recovery.h"
#include "partitions/partition_test_disks.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;

struct RealFolders {
    std::string image;
    std::string fsName;
    std::uint64_t sectors = 0;
    // Listed folders fls reaches only through a hand-made loop, which the tree shows once at
    // the path their ".." gives, or not at all past the entry that ends their directory.
    std::set<std::string> unnamed;
    // Stretches of entries whose directory lost its start, kept as provisional "Dir" folders.
    std::size_t fragments = 0;
};

void PrintTo(const RealFolders& volume, std::ostream* out) {
    *out << volume.image;
}

// A folder whose ".." names itself ends under the orphan folder with its provisional name, its
// whole tree inside it: "a/b" is found there as "LMR_Miscellaneous/DirN/b".
bool FoundUnderOrphanFolder(const testing::FolderPaths& paths, const std::string& folder) {
    const std::size_t slash = folder.find('/');
    const std::string rest = slash == std::string::npos ? "" : folder.substr(slash);
    const std::string prefix = std::string(kOrphanFolderName) + "/Dir";
    for (const auto& [path, deleted] : paths) {
        if (path.rfind(prefix, 0) == 0 &&
            path.find('/', prefix.size()) ==
                (rest.empty() ? std::string::npos : path.size() - rest.size()) &&
            (rest.empty() || path.ends_with(rest))) {
            return true;
        }
    }
    return false;
}

// The folder paths of the image's fls listing, live and deleted.
std::set<std::string> ListedFolders(const std::string& image) {
    std::set<std::string> folders;
    for (const testing::FlsEntry& entry :
         testing::ParseFlsListing(testing::StoredFlsListing(image + ".fls.txt"))) {
        if (entry.nameKind == 'd' && entry.kind == 'd') {
            folders.insert(entry.path);
        }
    }
    return folders;
}

class RealLostDirectoryTest : public ::testing::TestWithParam<RealFolders> {};

TEST_P(RealLostDirectoryTest, FindsTheListedFoldersWithoutHanging) {
    const RealFolders& volume = GetParam();
    const std::string path = testing::RealImage(volume.image);
    if (path.empty()) {
        GTEST_SKIP() << volume.image << " is not in the shared image set";
    }
    ImageGuard guard(path);
    PatchedImage disk(path);
    const auto recovery = testing::Recover(disk, volume.fsName, 0, volume.sectors);
    const std::set<std::string> listed = ListedFolders(volume.image);
    EXPECT_FALSE(listed.empty());
    std::vector<std::string> missing;
    for (const std::string& folder : listed) {
        if (recovery->paths.count(folder) == 0 &&
            !FoundUnderOrphanFolder(recovery->paths, folder) && volume.unnamed.count(folder) == 0) {
            missing.push_back(folder);
        }
    }
    EXPECT_TRUE(missing.empty()) << missing.size()
                                 << " missing, first: " << ::testing::PrintToString(missing);
    std::size_t provisional = 0;
    for (const FolderNode& node : recovery->run.folderNodes.Nodes()) {
        provisional += node.name.rfind("Dir", 0) == 0 ? 1 : 0;
    }
    EXPECT_LE(provisional, volume.unnamed.size() + volume.fragments);
    EXPECT_EQ(disk.readsOutside_, 0u);
    EXPECT_TRUE(guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(
    SharedImages, RealLostDirectoryTest,
    ::testing::Values(RealFolders{"fat16.raw", "FAT16", 24576, {}},
                      RealFolders{"fat_deleted_dir_2.raw", "FAT16", 32768, {}, 1},
                      RealFolders{"fat_deleted_dir.raw", "FAT32", 131072, {}},
                      RealFolders{"fat32_loop.raw",
                                  "FAT32",
                                  131072,
                                  {"test_dir/4", "test_dir/n40/4/T1", "test_dir/n40/4/T1/4"}},
                      RealFolders{"fat_lfn_test.raw", "FAT32", 131072, {}}),
    [](const auto& info) {
        std::string name = info.param.image;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

}  // namespace
}  // namespace lumarest

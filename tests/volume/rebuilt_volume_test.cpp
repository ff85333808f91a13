#include "volume/rebuilt_volume.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "ntfs/mft_scan_volumes.h"
#include "output/listing_volumes.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::ImageGuard;
using testing::LoadedVolume;

fs::path NtfsFolder() {
    return fs::path(LUMAREST_FIXTURE_DIR) / "ntfs_test";
}

// 0 when the NTFS images are there, 77 when this machine cannot make them.
int MakeNtfsImages() {
    const int status = std::system(("bash '" + std::string(LUMAREST_SOURCE_DIR) +
                                    "/tests/ntfs/make_ntfs_images.sh' '" + NtfsFolder().string() +
                                    "' >/dev/null 2>&1")
                                       .c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// The folder number of the scanned NTFS file row named `name`.
std::uint32_t NtfsParentOf(const RecoveryRun& run, const std::string& name) {
    for (std::size_t r = 0; r < run.fileTable.RowCount(); ++r) {
        if (run.fileTable.Cell(r, kEntryName) == name) {
            return run.fileTable.CellU32(r, kEntryParent);
        }
    }
    return kOrphanFolderId;
}

struct Case {
    const char* row;
    const char* image;   // the listing volume's name, or "ntfs" for the NTFS names image
    const char* folder;  // FAT: a folder of the root, "" for the root itself
    const char* name;    // as the folder lists it
    fs::path written;    // what the image's maker wrote under that name
};

// Each volume lists a folder through the one interface, and the file it lists is written back
// byte for byte as the image's maker wrote it.
TEST(RebuiltVolume, ListsAFolderAndWritesItsFileAsWritten) {
    ASSERT_TRUE(testing::MakeListingImages());
    const int ntfsStatus = MakeNtfsImages();
    const fs::path fatFiles = testing::ListingFolder() / "files";
    const Case cases[] = {
        {"FAT16 root", "f16", "", "PHOTO.JPG", fatFiles / "photo.jpg"},
        {"FAT16 deleted", "f16", "Docs", "_MAGE.JPG", fatFiles / "image.jpg"},
        {"FAT32 subfolder", "f32", "Docs", "fragmented.bin", fatFiles / "fragmented.bin"},
        {"FAT32 root", "f32", "", "ARCHIVE.ZIP", fatFiles / "archive.zip"},
        {"NTFS fragmented", "ntfs", "", "fragmented.bin", NtfsFolder() / "files/fragmented.bin"},
        {"NTFS large", "ntfs", "", "big.bin", NtfsFolder() / "files/big.bin"},
    };
    for (const Case& c : cases) {
        const bool ntfs = std::string(c.image) == "ntfs";
        if (ntfs && ntfsStatus == 77) {
            continue;  // the ntfs-3g FUSE mount does not work here
        }
        ASSERT_EQ(ntfs ? ntfsStatus : 0, 0) << c.row;
        const std::string image =
            ntfs ? (NtfsFolder() / "names.img").string()
                 : (testing::ListingFolder() / (std::string(c.image) + ".img")).string();
        const ImageGuard guard(image);
        LoadedVolume volume(image,
                            ntfs ? "NTFS" : (std::string(c.image) == "f16" ? "FAT16" : "FAT32"));
        std::uint32_t folder = 0;
        if (ntfs) {
            testing::ScanVolume(volume.run, volume.disk, 0);
            folder = NtfsParentOf(volume.run, c.name);
        } else if (*c.folder != '\0') {
            folder = volume.ClusterOf(0, c.folder);
        }
        const std::unique_ptr<RebuiltVolume> rebuilt = OpenRebuiltVolume(volume.run, volume.disk);
        ASSERT_TRUE(rebuilt) << c.row;
        EXPECT_EQ(rebuilt->Kind() == FileSystem::Ntfs, ntfs) << c.row;
        int listed = 0;
        rebuilt->ForEachFile(folder, [&](const FileListRow& row, const FileRef& file) {
            if (row.name != c.name) {
                return;
            }
            ++listed;
            EXPECT_FALSE(file.IsFolder()) << c.row;
            std::ostringstream out;
            EXPECT_EQ(WriteListedFile(volume.run, volume.disk, file, out),
                      RecoveredFileStatus::Written)
                << c.row;
            EXPECT_TRUE(out.str() == testing::FileText(c.written)) << c.row;
            EXPECT_EQ(file.size, out.str().size()) << c.row;
        });
        EXPECT_EQ(listed, 1) << c.row;
        EXPECT_TRUE(guard.Unchanged()) << c.row;
    }
}

// A volume of no file system the browse knows has nothing to list or write.
TEST(RebuiltVolume, NoneForAnUnknownFileSystem) {
    RecoveryRun run;
    MemoryDisk disk(std::vector<std::uint8_t>(512 * 16));
    for (const char* name : {"", "ext4", "fat32"}) {
        SetVolumeFileSystem(run.activeVolume, name);
        EXPECT_FALSE(OpenRebuiltVolume(run, disk)) << name;
        std::ostringstream out;
        EXPECT_EQ(WriteListedFile(run, disk, FileRef{}, out), RecoveredFileStatus::NoData) << name;
    }
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_number.h"
#include "fat/directory_entry.h"
#include "fat/fat_file_rows.h"
#include "output/listing_volumes.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::ListingVolume;
using testing::LoadedVolume;
using Names = std::vector<std::string>;

constexpr std::size_t kNameColumn = 0;
constexpr std::size_t kTypeColumn = 1;
constexpr std::size_t kSizeColumn = 2;
constexpr std::size_t kClusterColumn = 5;

struct Listed {
    Names live;
    Names deleted;
};

Listed ListFolder(LoadedVolume& volume, std::uint32_t folderId) {
    Listed listed;
    ForEachFatFile(volume.run, volume.disk, folderId,
                   [&](const FatFileFacts& facts, FileTypeWording) {
                       (facts.deleted ? listed.deleted : listed.live).push_back(facts.name);
                   });
    return listed;
}

Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

// The files The Sleuth Kit lists in one folder (its own folder number; empty: the root).
Names FlsFiles(const std::string& image, const std::string& folder, bool deleted) {
    Names names;
    const std::string options = std::string("-F ") + (deleted ? "-d" : "-u");
    for (const testing::FlsEntry& entry :
         testing::ParseFlsListing(testing::FlsOutput(image, options, 0, folder))) {
        if (entry.nameKind == 'r' && entry.kind == 'r') {
            names.push_back(entry.path);
        }
    }
    return Sorted(names);
}

// The Sleuth Kit's number for a folder of the root.
std::string FlsFolder(const std::string& image, const std::string& name) {
    for (const testing::FlsEntry& entry :
         testing::ParseFlsListing(testing::FlsOutput(image, "-D"))) {
        if (entry.path == name) {
            return entry.address;
        }
    }
    return "";
}

// The absolute offset of the short entry `name11` (8.3, blank-padded) in the folder's
// directory sectors, or nothing.
std::optional<std::uint64_t> EntryOffset(LoadedVolume& volume, std::uint32_t folderId,
                                         const char* name11) {
    std::optional<std::uint64_t> found;
    FatTable fat(volume.run.activeVolume, volume.disk);
    const auto visit = [&](std::uint64_t sector, ByteSpan bytes) {
        for (std::size_t offset = 0; offset < bytes.size(); offset += kDirectoryEntrySize) {
            if (std::memcmp(bytes.data() + offset, name11, 11) == 0) {
                found = sector * kSectorSize + offset;
                return false;
            }
        }
        return true;
    };
    if (folderId == 0) {
        ForEachRootDirectorySector(volume.run.activeVolume, volume.disk, fat, visit);
    } else {
        ForEachDirectorySector(volume.run.activeVolume, volume.disk, fat, folderId, visit);
    }
    return found;
}

Names Numbered(const std::string& prefix, int first, int last) {
    Names names;
    for (int i = first; i <= last; ++i) {
        names.push_back(prefix + (i < 10 ? "0" : "") + std::to_string(i) + ".TXT");
    }
    return names;
}

bool Has(const Names& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

class FatFileListing : public ::testing::TestWithParam<ListingVolume> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::MakeListingImages());
        guard_.emplace(testing::ListingImage(GetParam()));
    }
    void TearDown() override {
        if (guard_) {
            EXPECT_TRUE(guard_->Unchanged());
        }
    }
    std::optional<ImageGuard> guard_;
    bool Fat16() const { return GetParam().fsName == "FAT16"; }
};

// The root and Docs list the files fls lists, live and deleted, with UTF-8 long names; folders
// are not listed as files. The rows carry the size, the wording of the listing and the cluster.
TEST_P(FatFileListing, FoldersListTheFilesFlsFinds) {
    const std::string image = testing::ListingImage(GetParam());
    LoadedVolume volume(GetParam());

    const Listed root = ListFolder(volume, 0);
    EXPECT_EQ(Sorted(root.live), FlsFiles(image, "", false));
    EXPECT_TRUE(root.deleted.empty());
    for (const std::string name : {"PHOTO.JPG", "Holiday photo 2009.jpg", "写真の説明.txt",
                                   "Party \xF0\x9F\x8E\x89", "F20.TXT"}) {
        EXPECT_TRUE(Has(root.live, name)) << name;
    }
    EXPECT_FALSE(Has(root.live, "Docs"));

    const std::uint32_t docs = volume.ClusterOf(0, "Docs");
    ASSERT_NE(docs, 0u);
    const Listed listed = ListFolder(volume, docs);
    const std::string flsDocs = FlsFolder(image, "Docs");
    ASSERT_FALSE(flsDocs.empty());
    EXPECT_EQ(Sorted(listed.live), FlsFiles(image, flsDocs, false));
    EXPECT_EQ(Sorted(listed.deleted), FlsFiles(image, flsDocs, true));
    EXPECT_TRUE(Has(listed.deleted, "_MAGE.JPG"));
    EXPECT_FALSE(Has(listed.live, "写真"));
    EXPECT_EQ(ListFolder(volume, volume.ClusterOf(docs, "写真")).live, Names{"海の日.txt"});

    volume.run.fileList.Clear();
    const std::size_t end = AddFatFileRows(volume.run, volume.disk, 0, 0, false);
    ASSERT_EQ(end, root.live.size());
    const TextTable& list = volume.run.fileList;
    for (std::size_t row = 0; row < end; ++row) {
        if (list.Cell(row, kNameColumn) == "ARCHIVE.ZIP") {
            // The fixed FAT16 root words archives as the NTFS listing does.
            EXPECT_EQ(list.Cell(row, kTypeColumn), Fat16() ? "Winzip File" : "Compressed File");
            EXPECT_EQ(list.Cell(row, kSizeColumn), "20");
            EXPECT_EQ(ParseTextU32(list.Cell(row, kClusterColumn)),
                      volume.ClusterOf(0, "ARCHIVE.ZIP"));
        }
    }
}

// A folder of more entries than one cluster holds lists them all, in directory order.
TEST_P(FatFileListing, FolderOfManyClustersListsInOrder) {
    LoadedVolume volume(GetParam());
    EXPECT_EQ(ListFolder(volume, volume.ClusterOf(0, "Many")).live, Numbered("M", 1, 70));
}

// An end-of-directory entry ends a folder walked by its chain, later clusters too; the fixed
// FAT16 root still lists the files of its later sectors.
TEST_P(FatFileListing, EndOfDirectoryEndsChainFoldersButOnlyARootSector) {
    LoadedVolume volume(GetParam());
    const std::uint32_t many = volume.ClusterOf(0, "Many");
    const auto m10 = EntryOffset(volume, many, "M10     TXT");
    const auto f05 = EntryOffset(volume, 0, "F05     TXT");
    ASSERT_TRUE(m10 && f05);
    std::vector<std::uint8_t>& bytes = volume.disk.Bytes();
    bytes[*m10] = 0;
    bytes[*f05] = 0;

    EXPECT_EQ(ListFolder(volume, many).live, Numbered("M", 1, 9));
    const Names root = ListFolder(volume, 0).live;
    const std::uint64_t f05Sector = *f05 / kSectorSize;
    for (int i = 5; i <= 20; ++i) {
        const std::string name = Numbered("F", i, i).front();
        const auto offset = EntryOffset(volume, 0, (name.substr(0, 3) + "     TXT").c_str());
        const bool laterSector = offset && *offset / kSectorSize > f05Sector;
        EXPECT_EQ(Has(root, name), Fat16() && laterSector) << name;
    }
    EXPECT_TRUE(Has(root, "F04.TXT"));
    EXPECT_TRUE(Has(root, "F20.TXT") == Fat16());
}

// A short name with "?" is garbage and is not listed; a byte of 128 or more is a letter of the
// code page (0x80 is "Ç" in CP437).
TEST_P(FatFileListing, GarbageNamesAreNotListed) {
    LoadedVolume volume(GetParam());
    const auto f03 = EntryOffset(volume, 0, "F03     TXT");
    const auto f04 = EntryOffset(volume, 0, "F04     TXT");
    ASSERT_TRUE(f03 && f04);
    volume.disk.Bytes()[*f03 + 1] = '?';
    volume.disk.Bytes()[*f04 + 1] = 0x80;
    const Names root = ListFolder(volume, 0).live;
    EXPECT_FALSE(Has(root, "F?3.TXT"));
    EXPECT_TRUE(Has(root, "FÇ4.TXT"));
    EXPECT_EQ(std::count_if(root.begin(), root.end(),
                            [](const std::string& name) { return name.rfind("F", 0) == 0; }),
              19);
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatFileListing, ::testing::ValuesIn(testing::ListingVolumes()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace lumarest

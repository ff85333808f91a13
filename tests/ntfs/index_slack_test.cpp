#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "core/entry_rows.h"
#include "core/folder_nodes.h"
#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "ntfs/mft_scan_volumes.h"
#include "ntfs/ntfs_test_volumes.h"
#include "ntfs/ntfs_volume.h"
#include "partitions/volume_params.h"
#include "search/standard_search.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "tree/folder_counts.h"
#include "volume/recovered_save.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::ImageGuard;

constexpr int kAlbumFiles = 200;
constexpr int kLiveAlbumFiles = 100;
constexpr std::uint64_t kAlbumFileBytes = 10;  // "photo NNN\n"

std::string AlbumName(int number) {
    char name[64];
    std::snprintf(name, sizeof name, "holiday photograph number %03d with a long name.jpg", number);
    return name;
}

// The volume whose folder "Album" lost names to its index slack, searched as the window does.
struct SlackVolume {
    SlackVolume()
        : path(testing::MadeImage("tests/ntfs/make_index_slack_images.sh", "index_slack",
                                  "slack.vol")),
          guard(path),
          disk(testing::LoadDisk(path)) {
        SetPartitionFileSystem(run.selectedPartition, "NTFS");
        run.selectedPartition.startSector = 0;
        run.selectedPartition.endSector = static_cast<std::int64_t>(disk.TotalSectors()) - 1;
        NullReporter reporter;
        RunStandardSearch(run, disk, reporter, ValidatePartition(run, disk, reporter) == 1,
                          run.scanStop.get_token());
    }

    const FolderNode* Folder(const std::string& name) const {
        for (const FolderNode& node : run.folderNodes.Nodes()) {
            if (node.name == name) {
                return &node;
            }
        }
        return nullptr;
    }

    std::string path;
    ImageGuard guard;
    MemoryDisk disk;
    RecoveryRun run;
};

struct ListedAlbumFile {
    int times = 0;
    FileRef file;
    std::int64_t created = 0;
};

// The files a folder lists, by name, with the creation time of their file-table row.
std::map<std::string, ListedAlbumFile> FolderFiles(SlackVolume& volume, std::uint32_t folderId) {
    std::map<std::string, ListedAlbumFile> files;
    NtfsVolume(volume.run, volume.disk)
        .ForEachFile(folderId, [&](const FileListRow& row, const FileRef& file) {
            ListedAlbumFile& listed = files[row.name];
            ++listed.times;
            listed.file = file;
        });
    const TextTable& table = volume.run.fileTable;
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        if (table.CellU32(r, kEntryParent) == folderId) {
            files[table.Cell(r, kEntryName)].created = table.CellNumber(r, kEntryDate);
        }
    }
    return files;
}

TEST(IndexSlack, DeletedNamesLeftInAFoldersIndexAreListedThereAsNamesOnly) {
    SlackVolume volume;
    ASSERT_FALSE(volume.path.empty());
    const FolderNode* album = volume.Folder("Album");
    const FolderNode* other = volume.Folder("Other");
    ASSERT_TRUE(album != nullptr && other != nullptr);
    const auto files = FolderFiles(volume, album->selfId);
    const auto others = FolderFiles(volume, other->selfId);
    std::set<std::uint32_t> otherRecords;
    for (const auto& [name, listed] : others) {
        otherRecords.insert(listed.file.recordNumber);
    }
    // The deleted files were made after the last live one and before the first file of Other.
    const std::int64_t madeAfter = files.at(AlbumName(kLiveAlbumFiles)).created;
    const std::int64_t madeBefore = others.at("replacement 001.txt").created;

    std::size_t nameOnly = 0;
    std::size_t withRecord = 0;
    for (int number = 1; number <= kAlbumFiles; ++number) {
        const std::string name = AlbumName(number);
        const auto found = files.find(name);
        if (number <= kLiveAlbumFiles) {
            ASSERT_NE(found, files.end()) << name;
            EXPECT_EQ(found->second.times, 1) << name;
            EXPECT_FALSE(found->second.file.nameOnly || found->second.file.deleted) << name;
            continue;
        }
        if (found == files.end()) {
            continue;  // written over in the slack too
        }
        ++nameOnly;
        const ListedAlbumFile& listed = found->second;
        EXPECT_EQ(listed.times, 1) << name;
        EXPECT_TRUE(listed.file.nameOnly && listed.file.deleted) << name;
        EXPECT_EQ(listed.file.size, kAlbumFileBytes) << name;
        EXPECT_GT(listed.created, madeAfter) << name;
        EXPECT_LT(listed.created, madeBefore) << name;
        // The record its entry names holds a file of Other now; an entry whose header was
        // written over names none (0).
        if (listed.file.recordNumber != 0) {
            ++withRecord;
            EXPECT_TRUE(otherRecords.contains(listed.file.recordNumber)) << name;
        }
    }
    EXPECT_GT(withRecord, 0u);
    EXPECT_GT(nameOnly, withRecord);
    EXPECT_EQ(files.size(), kLiveAlbumFiles + nameOnly);
    // Counted among the deleted files; nothing else on the volume was deleted and kept its
    // record.
    EXPECT_EQ(CountFolderContents(volume.run, volume.disk).deletedFiles, nameOnly);
    // fls lists no name without its record here; where it does, it is a deleted one.
    for (const auto& [path, deleted] : testing::FlsUserFiles(volume.path)) {
        if (path.starts_with("Album/") && files.contains(path.substr(6))) {
            EXPECT_EQ(deleted, files.at(path.substr(6)).file.nameOnly) << path;
        }
    }
    EXPECT_TRUE(volume.guard.Unchanged());
}

TEST(IndexSlack, SavingANameOnlyFileWritesNothingAndCountsIt) {
    SlackVolume volume;
    ASSERT_FALSE(volume.path.empty());
    const FolderNode* album = volume.Folder("Album");
    ASSERT_NE(album, nullptr);
    const fs::path destination = fs::path(LUMAREST_FIXTURE_DIR) / "index_slack_saved";
    fs::remove_all(destination);
    fs::create_directories(destination);
    FixedSaveDecisions decisions;
    const SaveSummary summary = SaveEntries(
        volume.run, volume.disk, CollectFolderEntries(volume.run, volume.disk, album->treeItem),
        destination.string(), decisions);
    EXPECT_EQ(summary.saved, static_cast<std::size_t>(kLiveAlbumFiles));
    std::size_t nameOnly = 0;
    for (const auto& [name, listed] : FolderFiles(volume, album->selfId)) {
        nameOnly += listed.file.nameOnly ? 1 : 0;
    }
    EXPECT_GT(nameOnly, 0u);
    // Those whose entry names no record (0) too: they are no files of the volume's own.
    EXPECT_EQ(summary.nameOnly, nameOnly);
    EXPECT_EQ(summary.failed + summary.incomplete + summary.deleted, 0u);
    std::size_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
        written += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(written, static_cast<std::size_t>(kLiveAlbumFiles));
    EXPECT_TRUE(volume.guard.Unchanged());
}

// A volume made on Windows, where the entries that moved up wrote over the headers of those
// left in the slack: the names fls finds there without a record are the name-only rows, in
// their folders, but for a name the same folder lists live (a copy of an entry that moved).
TEST(IndexSlack, NamesOnlyOfAWindowsVolumeAreThoseFlsFindsWithoutARecord) {
    const std::string image = testing::RealImage("ntfs_index.raw");
    if (image.empty()) {
        GTEST_SKIP() << "the shared images are not here";
    }
    constexpr std::uint64_t kVolumeStart = 128;
    const ImageGuard guard(image);
    MemoryDisk disk = testing::LoadDisk(image);
    RecoveryRun run;
    testing::ScanVolume(run, disk, kVolumeStart);
    const auto rows = testing::RowsBySelf(run);
    std::set<std::string> nameOnly;
    for (std::size_t r = 0; r < run.fileTable.RowCount(); ++r) {
        if (IsNameOnlyRow(run.fileTable, r)) {
            EXPECT_TRUE(IsDeletedRow(run.fileTable, r));
            const std::uint32_t parent = run.fileTable.CellU32(r, kEntryParent);
            const std::string folder =
                parent == kNtfsRootId ? "" : testing::RowPath(rows, parent) + "/";
            nameOnly.insert(folder + run.fileTable.Cell(r, kEntryName));
        }
    }
    const std::vector<testing::FlsEntry> fls = testing::FlsEntries(image, kVolumeStart);
    if (fls.empty()) {
        GTEST_SKIP() << "fls is not here";
    }
    std::set<std::string> live;
    for (const testing::FlsEntry& entry : fls) {
        if (!entry.deleted) {
            live.insert(entry.path);
        }
    }
    std::set<std::string> withoutRecord;
    for (const testing::FlsEntry& entry : fls) {
        if (entry.deleted && entry.kind != 'd' && !live.contains(entry.path)) {
            withoutRecord.insert(entry.path);
        }
    }
    EXPECT_EQ(nameOnly, withoutRecord);
    EXPECT_TRUE(nameOnly.contains("test_dir/BBBBBBBBBBBBB-del.txt"));
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

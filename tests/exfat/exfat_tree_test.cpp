#include "exfat/exfat_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/entry_rows.h"
#include "core/memory_disk.h"
#include "support/exfat_volume_builder.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

using testing::ExFatSetBytes;
using testing::ExFatSetShape;
using testing::ExFatVolumeBuilder;
using testing::RecordingReporter;
using testing::SetShape;

constexpr std::uint16_t kFolder = 0x10;
constexpr std::uint16_t kArchive = 0x20;

ExFatSetShape Folder(std::u16string name, std::uint32_t first, std::uint64_t bytes,
                     bool deleted = false, bool contiguous = true) {
    ExFatSetShape shape = SetShape(std::move(name), kFolder, first, bytes);
    shape.deleted = deleted;
    shape.contiguous = contiguous;
    return shape;
}

ExFatSetShape File(std::u16string name, bool deleted = false) {
    ExFatSetShape shape = SetShape(std::move(name), kArchive, 100, 10);
    shape.deleted = deleted;
    return shape;
}

// A volume with live, deleted, fragmented, looping and lost folders, for either sector size.
ExFatVolumeBuilder TreeVolume(std::uint8_t sectorShift) {
    // Clusters of at least 1 KiB, so the root's entries fit in its one cluster.
    ExFatVolumeBuilder volume(sectorShift, sectorShift == 9 ? 1 : 0, 128);
    const std::size_t perCluster = volume.ClusterBytes() / kExFatEntrySize;
    const std::uint64_t clusterBytes = volume.ClusterBytes();
    std::size_t slot = 1;  // after the bitmap entry
    const auto put = [&](std::uint32_t cluster, const ExFatSetShape& shape) {
        const std::vector<std::uint8_t> set = ExFatSetBytes(shape);
        volume.PutEntries(cluster, slot, set);
        slot += set.size() / kExFatEntrySize;
    };
    put(2, File(u"a.txt"));
    put(2, Folder(u"DCIM", 20, 2 * clusterBytes));
    put(2, Folder(u"Old", 40, clusterBytes, true));
    put(2, Folder(u"Loop", 2, clusterBytes));
    put(2, Folder(u"Twin", 20, clusterBytes));
    put(2, Folder(u"Nowhere", 0x7777, clusterBytes));
    put(2, File(u"gone.txt", true));
    volume.Chain({20, 21});
    slot = 0;
    put(20, File(u"IMG_1.JPG"));
    put(20, Folder(u"Sub", 30, 2 * clusterBytes, false, false));
    volume.FillUnusedEntries(20, slot);
    slot = perCluster - 2;  // a set across the cluster boundary
    put(20, File(u"IMG_2.JPG"));
    volume.Chain({30, 33});
    volume.FillUnusedEntries(30, 0);
    slot = 0;
    put(33, File(u"deep.txt"));
    slot = 0;
    put(40, File(u"old1.jpg", true));
    // A lost folder of two clusters naming a folder of its own, and file data that is none.
    slot = 0;
    put(60, File(u"lost.jpg", true));
    put(60, Folder(u"LostChild", 62, clusterBytes, true));
    volume.FillUnusedEntries(60, slot);
    slot = 0;
    put(61, File(u"lost2.jpg", true));
    slot = 0;
    put(62, File(u"child.txt", true));
    std::fill_n(volume.Cluster(70), clusterBytes, 0x85);
    return volume;
}

using FolderRow = std::tuple<std::string, std::uint32_t, std::uint32_t>;  // name, id, parent
using FileRow = std::tuple<std::string, std::uint32_t, bool>;             // name, folder, deleted

// Stands for an id no cluster of the volume has, given to a folder listed but not walked.
constexpr std::uint32_t kSpare = 1;

std::set<FolderRow> FolderRows(const ExFatTree& tree, const ExFatLayout& layout) {
    std::set<FolderRow> rows;
    for (const ExFatFolder& folder : tree.folders) {
        const bool spare = folder.id >= layout.ClusterEnd() && folder.id != kOrphanFolderId;
        rows.insert({folder.entry.name, spare ? kSpare : folder.id, folder.parentId});
    }
    return rows;
}

bool IdsAreUnique(const ExFatTree& tree) {
    std::set<std::uint32_t> ids{kExFatRootFolderId};
    return std::all_of(tree.folders.begin(), tree.folders.end(),
                       [&](const ExFatFolder& folder) { return ids.insert(folder.id).second; });
}

std::set<FileRow> FileRows(const ExFatTree& tree) {
    std::set<FileRow> rows;
    for (const ExFatFile& file : tree.files) {
        rows.insert({file.entry.name, file.folderId, file.entry.deleted});
    }
    return rows;
}

// Every folder's parent is the root, the lost-folder row or a folder listed before it.
bool ParentsComeFirst(const ExFatTree& tree) {
    std::set<std::uint32_t> seen{kExFatRootFolderId, kOrphanFolderId};
    for (const ExFatFolder& folder : tree.folders) {
        if (seen.count(folder.parentId) == 0) {
            return false;
        }
        seen.insert(folder.id);
    }
    return true;
}

TEST(ExFatTree, WalksLiveDeletedAndLostFolders) {
    const std::set<FolderRow> folders = {
        {"DCIM", 20, 0},        {"Old", 40, 0},  {"Loop", kSpare, 0},       {"Twin", kSpare, 0},
        {"Nowhere", kSpare, 0}, {"Sub", 30, 20}, {"", 60, kOrphanFolderId}, {"LostChild", 62, 60},
    };
    const std::set<FileRow> files = {
        {"a.txt", 0, false},      {"gone.txt", 0, true},   {"IMG_1.JPG", 20, false},
        {"IMG_2.JPG", 20, false}, {"deep.txt", 30, false}, {"old1.jpg", 40, true},
        {"lost.jpg", 60, true},   {"lost2.jpg", 60, true}, {"child.txt", 62, true},
    };
    for (const std::uint8_t sectorShift : {9, 12}) {
        ExFatVolumeBuilder volume = TreeVolume(sectorShift);
        const std::vector<std::uint8_t> image = volume.Image();
        MemoryDisk disk(image);
        RecordingReporter reporter;
        const ExFatTree tree = WalkExFatVolume(disk, volume.ExpectedLayout(), reporter, {});
        const std::string name = "sector shift " + std::to_string(sectorShift);
        EXPECT_EQ(FolderRows(tree, volume.ExpectedLayout()), folders) << name;
        EXPECT_TRUE(IdsAreUnique(tree)) << name;
        EXPECT_EQ(FileRows(tree), files) << name;
        EXPECT_EQ(tree.folders.size(), folders.size()) << name;
        EXPECT_EQ(tree.files.size(), files.size()) << name;
        EXPECT_TRUE(ParentsComeFirst(tree)) << name;
        EXPECT_TRUE(tree.problem.empty()) << name << ": " << tree.problem;
        EXPECT_EQ(disk.Bytes(), image) << name << ": the disk was written";
        const auto& calls = reporter.Calls();
        EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const std::string& call) {
            return call.find("Sectors  ") != std::string::npos;
        })) << name;
        // Entries are placed where a later step can read them again.
        for (const ExFatFile& file : tree.files) {
            if (file.entry.name == "IMG_2.JPG") {
                const std::uint64_t byte = file.entry.entrySector * 512 + file.entry.entryOffset;
                EXPECT_EQ(byte, volume.ClusterByteOffset(21) - 2 * kExFatEntrySize) << name;
            }
        }
    }
}

// A live file whose data holds entry sets (a disk image kept on the card) is no lost folder
// while the bitmap marks its clusters in use; once they are free, they are looked at again.
TEST(ExFatTree, ALiveFilesDataIsALostFolderOnlyWhereItsClustersAreFree) {
    for (const bool inUse : {true, false}) {
        ExFatVolumeBuilder volume(9, 1, 128);
        const std::uint64_t clusterBytes = volume.ClusterBytes();
        volume.PutEntries(2, 1,
                          ExFatSetBytes(SetShape(u"card.img", kArchive, 80, 4 * clusterBytes)));
        volume.PutEntries(81, 0, ExFatSetBytes(File(u"inner.jpg")));
        for (std::uint32_t cluster = 80; cluster < 84; ++cluster) {
            volume.SetInUse(cluster, inUse);
        }
        MemoryDisk disk(volume.Image());
        NullReporter reporter;
        const ExFatTree tree = WalkExFatVolume(disk, volume.ExpectedLayout(), reporter, {});
        const std::set<FolderRow> lost = {{"", 81, kOrphanFolderId}};
        EXPECT_EQ(FolderRows(tree, volume.ExpectedLayout()), inUse ? std::set<FolderRow>{} : lost)
            << (inUse ? "in use" : "free");
    }
}

TEST(ExFatTree, FindsTheFoldersOfAnUnreadableRootAsLost) {
    ExFatVolumeBuilder volume = TreeVolume(9);
    MemoryDisk disk(volume.Image());
    const ExFatLayout layout = volume.ExpectedLayout();
    disk.MarkUnreadable(layout.ClusterSector(layout.rootCluster));
    NullReporter reporter;
    const ExFatTree tree = WalkExFatVolume(disk, layout, reporter, {});
    EXPECT_FALSE(tree.problem.empty());
    const std::set<FolderRow> rows = FolderRows(tree, layout);
    EXPECT_TRUE(rows.count({"", 20, kOrphanFolderId})) << "DCIM's cluster";
    EXPECT_TRUE(rows.count({"Sub", 30, 20}));
    EXPECT_TRUE(rows.count({"", 40, kOrphanFolderId})) << "the deleted folder's cluster";
    EXPECT_TRUE(ParentsComeFirst(tree));
}

TEST(ExFatTree, AStoppedWalkLooksForNoLostFolders) {
    ExFatVolumeBuilder volume = TreeVolume(9);
    MemoryDisk disk(volume.Image());
    std::stop_source stop;
    stop.request_stop();
    NullReporter reporter;
    const ExFatTree tree =
        WalkExFatVolume(disk, volume.ExpectedLayout(), reporter, stop.get_token());
    for (const ExFatFolder& folder : tree.folders) {
        EXPECT_NE(folder.parentId, kOrphanFolderId) << folder.id;
    }
}

// 100 folders of 1000 files each are read in large pieces, not entry by entry (the time it
// takes is measured in bench/).
TEST(ExFatTree, WalksAHundredThousandFilesInFewReads) {
    constexpr std::uint32_t kFolders = 100;
    constexpr std::uint32_t kFilesPerFolder = 1000;
    constexpr std::uint32_t kSetBytes = 3 * kExFatEntrySize;
    ExFatVolumeBuilder volume(9, 5, 800);
    const std::uint64_t folderClusters =
        (kFilesPerFolder * kSetBytes + volume.ClusterBytes() - 1) / volume.ClusterBytes();
    std::uint32_t next = 10;
    for (std::uint32_t f = 0; f < kFolders; ++f) {
        const std::uint32_t first = next;
        volume.PutEntries(2, 1 + 3 * f,
                          ExFatSetBytes(Folder(u"F" + std::u16string(1, u'0' + f % 10), first,
                                               folderClusters * volume.ClusterBytes())));
        for (std::uint32_t i = 0; i < kFilesPerFolder; ++i) {
            const std::uint64_t byte = std::uint64_t{i} * kSetBytes;
            const std::vector<std::uint8_t> set = ExFatSetBytes(File(u"IMG_0001.JPG"));
            std::copy(set.begin(), set.end(),
                      volume.Bytes().begin() +
                          static_cast<std::ptrdiff_t>(volume.ClusterByteOffset(first) + byte));
        }
        next += static_cast<std::uint32_t>(folderClusters);
    }
    MemoryDisk disk(volume.Image());
    NullReporter reporter;
    const ExFatTree tree = WalkExFatVolume(disk, volume.ExpectedLayout(), reporter, {});
    EXPECT_EQ(tree.files.size(), kFolders * kFilesPerFolder);
    EXPECT_EQ(tree.folders.size(), kFolders);
    EXPECT_LT(disk.ReadCalls(), 200u);
}

}  // namespace
}  // namespace lumarest

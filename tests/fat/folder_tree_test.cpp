#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/table_columns.h"
#include "core/text_number.h"
#include "fat/fat_folder_tree.h"
#include "fat/lost_directory_recovery.h"
#include "output/file_dates.h"
#include "partitions/partition_test_disks.h"
#include "support/image_guard.h"
#include "support/recording_reporter.h"
#include "tree/folder_browse.h"
#include "tree/folder_tree_build.h"
#include "tree/folder_tree_events.h"
#include "tree/named_folder_tree.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::PatchedImage;
using testing::Recover;
using testing::SparseDisk;

// File-list columns.
constexpr std::size_t kListName = 0;
constexpr std::size_t kListType = 1;
constexpr std::size_t kListDate = 3;
constexpr std::size_t kListTime = 4;
constexpr std::size_t kListSelf = 5;
constexpr std::size_t kListParent = 6;
constexpr std::size_t kListItem = 7;

const std::string kFarId = "268435455";

bool MakeImages(const std::string& script, const std::filesystem::path& folder) {
    const std::string command = "bash '" + std::string(LUMAREST_SOURCE_DIR) + "/tests/fat/" +
                                script + "' '" + folder.string() + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string LostDirectoryImage(const std::string& name) {
    static const std::filesystem::path folder =
        std::filesystem::path(LUMAREST_FIXTURE_DIR) / "lost_directory_images";
    static const bool built = MakeImages("make_lost_directory_images.sh", folder);
    return built ? (folder / (name + ".img")).string() : std::string();
}

std::string EmptyVolumeImage(const std::string& name) {
    static const std::filesystem::path folder =
        std::filesystem::path(LUMAREST_FIXTURE_DIR) / "folder_tree_images";
    static const bool built = MakeImages("make_folder_tree_images.sh", folder);
    return built ? (folder / (name + ".img")).string() : std::string();
}

// Folder item by its path below "Root", "\"-separated.
TreeItem ItemAt(const RecoveryRun& run, const std::string& path) {
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        if (ItemPath(*run.folderTree, node.treeItem) == path) {
            return node.treeItem;
        }
    }
    return kNoItem;
}

std::vector<std::string> ChildTexts(const TreeModel& tree, TreeItem item) {
    std::vector<std::string> texts;
    for (const TreeItem child : tree.Children(item)) {
        texts.push_back(tree.Text(child));
    }
    return texts;
}

std::vector<std::string> ListColumn(const TextTable& list, std::size_t column) {
    std::vector<std::string> cells;
    for (std::size_t row = 0; row < list.RowCount(); ++row) {
        cells.push_back(list.Cell(row, column));
    }
    return cells;
}

RecoveredEntry Folder(std::uint32_t self, std::uint32_t parent, std::string name) {
    RecoveredEntry entry;
    entry.self = self;
    entry.parent = parent;
    entry.name = std::move(name);
    return entry;
}

TextTable EntryTable(const std::vector<RecoveredEntry>& entries) {
    TextTable table(EntryTableColumns());
    for (const RecoveredEntry& entry : entries) {
        AppendEntryRow(table, entry);
    }
    return table;
}

// An NTFS run whose folder table starts with the orphan row and holds the root's own record,
// as the MFT scan leaves it.
struct NtfsRun {
    NtfsRun() {
        SetVolumeFileSystem(run.activeVolume, "NTFS");
        SetPartitionFileSystem(run.selectedPartition, "NTFS");
    }
    void Build(std::vector<RecoveredEntry> entries) {
        TextTable table(EntryTableColumns());
        AppendOrphanFolderRow(table, kNtfsRootId);
        AppendEntryRow(table, Folder(kNtfsRootId, kNtfsRootId, "."));
        for (const RecoveredEntry& entry : entries) {
            AppendEntryRow(table, entry);
        }
        table.SortByColumn(kEntrySelf);
        ReattachOrphans(table, reporter, ProgressBar::MainScan, kNtfsRootId, 1);
        table.SortByColumn(kEntryParent);
        EXPECT_EQ(BuildNamedFolderTree(run, table, reporter, ProgressBar::MainScan, kNtfsRootId),
                  1);
        EXPECT_TRUE(table.Empty());
    }
    TreeModel& Tree() { return *run.folderTree; }
    TreeItem Top() { return run.folderTree->TopItem(); }

    RecoveryRun run;
    testing::RecordingReporter reporter;
    SparseDisk disk{1};
};

// ---- Builds from FAT volumes made by mkfs.fat and mtools ----

struct FatVolume {
    std::string name;
    std::string fsName;
    std::uint64_t sectors = 0;
};

void PrintTo(const FatVolume& volume, std::ostream* out) {
    *out << volume.name;
}

class FatFolderTreeTest : public ::testing::TestWithParam<FatVolume> {
  protected:
    void SetUp() override {
        image_ = LostDirectoryImage(GetParam().name);
        ASSERT_FALSE(image_.empty());
        guard_ = std::make_unique<ImageGuard>(image_);
        disk_ = std::make_unique<PatchedImage>(image_);
    }
    void TearDown() override {
        if (guard_) {
            EXPECT_TRUE(guard_->Unchanged());
        }
    }
    std::unique_ptr<testing::Recovery> Build() {
        return Recover(*disk_, GetParam().fsName, 0, GetParam().sectors);
    }
    // The reads one call costs.
    template <typename Call>
    std::uint64_t ReadsOf(Call call) {
        const std::uint64_t before = disk_->readCalls_;
        call();
        return disk_->readCalls_ - before;
    }

    std::string image_;
    std::unique_ptr<ImageGuard> guard_;
    std::unique_ptr<PatchedImage> disk_;
};

TEST_P(FatFolderTreeTest, BuildShowsEveryFolderUnderRootByItsEntryName) {
    const auto recovery = Build();
    const RecoveryRun& run = recovery->run;
    const TreeModel& tree = *run.folderTree;
    const TreeItem top = tree.TopItem();
    EXPECT_EQ(tree.Text(top), "Root");
    EXPECT_TRUE(tree.IsExpanded(top));
    EXPECT_TRUE(run.resultsFound);
    // Root-level folders come in the table's order; the orphan folder is one of them.
    const auto rootLevel = ChildTexts(tree, top);
    EXPECT_EQ(std::count(rootLevel.begin(), rootLevel.end(), kOrphanFolderName), 1);
    EXPECT_EQ(rootLevel.size(), 9u);
    for (const char* path :
         {"Photos\\Holiday in Spain 2024\\Thirteen_Char", "Keep\\Inner Folder", "Φωτογραφίες",
          "写真", "Party \U0001F389", "Old Stuff\\Sub", "Año nuevo", "Größe"}) {
        EXPECT_NE(ItemAt(run, path), kNoItem) << path;
    }
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        EXPECT_EQ(tree.Text(node.treeItem), node.name);
        EXPECT_TRUE(node.listed) << node.name;
        EXPECT_FALSE(tree.IsExpanded(node.treeItem)) << node.name;
        EXPECT_EQ(tree.CheckState(node.treeItem), kUncheckedState);
        EXPECT_EQ(node.date >> 16, 0) << "FAT dates are 16-bit words";
        const bool deleted = node.name == "Old Stuff" || node.name == "Sub";
        EXPECT_EQ(node.deleted, deleted) << node.name;
    }
}

TEST_P(FatFolderTreeTest, ClickListsSubfoldersThenFilesAndReadsTheDirectoryEveryTime) {
    const auto recovery = Build();
    RecoveryRun& run = recovery->run;
    TreeModel& tree = *run.folderTree;
    const TreeItem photos = ItemAt(run, "Photos");
    const TreeItem holiday = ItemAt(run, "Photos\\Holiday in Spain 2024");
    ASSERT_NE(holiday, kNoItem);
    const ClockText now{"08-Dec-2026", "13:55"};

    // A click names the children again from the directory, whatever they were called.
    run.folderNodes.FindByItem(holiday)->name = "stale";
    tree.SetText(holiday, "stale");
    const std::uint64_t first = ReadsOf([&] { OnFolderItemClicked(run, *disk_, photos, now); });
    EXPECT_EQ(tree.Text(holiday), "Holiday in Spain 2024");
    const std::uint64_t second = ReadsOf([&] { OnFolderItemClicked(run, *disk_, photos, now); });
    EXPECT_GT(first, 0u);
    EXPECT_EQ(first, second);

    const TextTable& list = run.fileList;
    ASSERT_GE(list.RowCount(), 2u);
    const FolderNode& child = *run.folderNodes.FindByItem(holiday);
    EXPECT_EQ(list.Row(0),
              (std::vector<std::string>{"Holiday in Spain 2024", "FOLDER", "0",
                                        FatDateText(static_cast<std::uint16_t>(child.date)),
                                        FatTimeText(static_cast<std::uint16_t>(child.time)),
                                        NumberText(child.selfId), NumberText(child.parentId),
                                        NumberText(holiday)}));
    const auto types = ListColumn(list, kListType);
    EXPECT_EQ(std::count(types.begin(), types.end(), "FOLDER"), 1);
    const auto names = ListColumn(list, kListName);
    EXPECT_NE(std::find(names.begin(), names.end(), "Kept.txt"), names.end());

    EXPECT_EQ(run.folderTreeState.currentFolder, "Photos");
    EXPECT_EQ(run.folderTreeState.openFolderItem, photos);
    EXPECT_EQ(tree.Selected(), photos);

    // While browsing, the clicked folder shows open and the one before it as visited.
    run.folderTreeState.browse = true;
    OnFolderItemClicked(run, *disk_, holiday, now);
    EXPECT_EQ(tree.Image(holiday), kOpenFolderImage);
    EXPECT_EQ(tree.Image(photos), kVisitedFolderImage);
    EXPECT_EQ(run.folderTreeState.currentFolder, "Photos\\Holiday in Spain 2024");
}

TEST_P(FatFolderTreeTest, ExpandingNamesChildrenOnlyTheFirstTime) {
    const auto recovery = Build();
    RecoveryRun& run = recovery->run;
    TreeModel& tree = *run.folderTree;
    tree.SetExpansionHandler([&](TreeItem item, ExpandAction action) {
        OnFolderItemExpanding(run, *disk_, item, action);
    });
    const TreeItem keep = ItemAt(run, "Keep");
    const TreeItem inner = ItemAt(run, "Keep\\Inner Folder");
    ASSERT_NE(inner, kNoItem);
    // The build read every folder already: expanding reads nothing more.
    EXPECT_EQ(ReadsOf([&] { tree.Expand(keep, ExpandAction::Expand); }), 0u);

    run.folderNodes.FindByItem(keep)->listed = false;
    tree.SetText(inner, "stale");
    EXPECT_GT(ReadsOf([&] { tree.Expand(keep, ExpandAction::Expand); }), 0u);
    EXPECT_EQ(tree.Text(inner), "Inner Folder");
    EXPECT_TRUE(run.folderNodes.FindByItem(keep)->listed);

    tree.SetText(inner, "stale");
    EXPECT_EQ(ReadsOf([&] {
                  tree.Expand(keep, ExpandAction::Collapse);
                  tree.Expand(keep, ExpandAction::Expand);
              }),
              0u);
    EXPECT_EQ(tree.Text(inner), "stale");
    EXPECT_EQ(tree.Image(keep), kClosedFolderImage);
}

TEST_P(FatFolderTreeTest, OrphanFolderListsItsFoldersButNoFiles) {
    // With the "Keep" folder's first sector gone, "Inner Folder" has no parent left.
    const auto before = Build();
    const TextTable& table = before->run.folderTable;
    const std::uint32_t keepSelf =
        before->run.folderNodes.FindByItem(ItemAt(before->run, "Keep"))->selfId;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        if (table.CellU32(row, kEntrySelf) == keepSelf) {
            disk_->ZeroSector(static_cast<std::uint64_t>(table.CellNumber(row, kEntrySector)));
        }
    }
    const auto recovery = Build();
    RecoveryRun& run = recovery->run;
    const TreeItem orphan = ItemAt(run, kOrphanFolderName);
    ASSERT_NE(orphan, kNoItem);
    ASSERT_EQ(run.folderTree->Children(orphan).size(), 1u);

    ListFolder(run, *disk_, orphan);
    ASSERT_EQ(run.fileList.RowCount(), 1u);
    EXPECT_EQ(run.fileList.Cell(0, kListType), "FOLDER");
    EXPECT_EQ(run.fileList.Cell(0, kListParent), kFarId);

    // Listed from the root, the orphan folder has no date of its own; a click shows the clock.
    const auto orphanRow = [&] {
        const auto names = ListColumn(run.fileList, kListName);
        return static_cast<std::size_t>(std::find(names.begin(), names.end(), kOrphanFolderName) -
                                        names.begin());
    };
    ListFolder(run, *disk_, run.folderTree->TopItem());
    EXPECT_EQ(run.fileList.Cell(orphanRow(), kListDate), "00-ERR-1980");
    EXPECT_EQ(run.fileList.Cell(orphanRow(), kListTime), "00:00");
    EXPECT_EQ(run.fileList.Cell(orphanRow(), kListSelf), kFarId);
    OnFolderItemClicked(run, *disk_, run.folderTree->TopItem(), ClockText{"08-Dec-2026", "14:01"});
    EXPECT_EQ(run.fileList.Cell(orphanRow(), kListDate), "08-Dec-2026");
    EXPECT_EQ(run.fileList.Cell(orphanRow(), kListTime), "14:01");
    EXPECT_EQ(run.folderTreeState.currentFolder, "");
}

INSTANTIATE_TEST_SUITE_P(MadeByMkfsFat, FatFolderTreeTest,
                         ::testing::Values(FatVolume{"f16_s4", "FAT16", 65536},
                                           FatVolume{"f32_s1", "FAT32", 81920}));

TEST(FatFolderTree, AVolumeWithoutFoldersShowsOnlyTheOrphanFolder) {
    for (const auto& [name, fsName, sectors] :
         {FatVolume{"empty_f16", "FAT16", 32768}, FatVolume{"empty_f32", "FAT32", 81920}}) {
        const std::string image = EmptyVolumeImage(name);
        ASSERT_FALSE(image.empty());
        ImageGuard guard(image);
        PatchedImage disk(image);
        const auto recovery = Recover(disk, fsName, 0, sectors);
        RecoveryRun& run = recovery->run;
        const TreeItem top = run.folderTree->TopItem();
        EXPECT_EQ(run.folderTree->Text(top), "Root");
        EXPECT_EQ(ChildTexts(*run.folderTree, top), std::vector<std::string>{kOrphanFolderName});
        EXPECT_FALSE(run.resultsFound);
        ListFolder(run, disk, top);
        EXPECT_EQ(ListColumn(run.fileList, kListName), std::vector<std::string>{kOrphanFolderName});
        EXPECT_TRUE(guard.Unchanged());
    }
}

// ---- Builds from small tables ----

TEST(NtfsFolderTree, BuildsRootLevelChildrenAndOrphansFromRecordNumbers) {
    NtfsRun ntfs;
    RecoveredEntry file = Folder(80, kNtfsRootId, "file.txt");
    file.type = kFileType;
    RecoveredEntry deleted = Folder(33, 30, "Alt");
    deleted.deleted = true;
    RecoveredEntry dated = Folder(30, kNtfsRootId, "Φωτογραφίες");
    dated.date = 128800000000000000;  // 2009
    ntfs.Build({
        dated,
        Folder(31, 30, "写真"),
        Folder(40, 999, "Party \U0001F389"),  // parent never found
        Folder(kOrphanFolderId, kOrphanFolderId, "lost"),
        file,
        deleted,
        Folder(32, 30, ""),
        Folder(34, 30, ""),
    });
    RecoveryRun& run = ntfs.run;
    EXPECT_TRUE(run.resultsFound);
    EXPECT_EQ(ntfs.Tree().Text(ntfs.Top()), "Root");
    // Rows of one parent come in no particular order from the table's sort.
    auto rootLevel = ChildTexts(ntfs.Tree(), ntfs.Top());
    std::sort(rootLevel.begin(), rootLevel.end());
    EXPECT_EQ(rootLevel, (std::vector<std::string>{kOrphanFolderName, "lost", "Φωτογραφίες"}));
    EXPECT_EQ(ChildTexts(ntfs.Tree(), ItemAt(run, kOrphanFolderName)),
              std::vector<std::string>{"Party \U0001F389"});
    auto children = ChildTexts(ntfs.Tree(), ItemAt(run, "Φωτογραφίες"));
    std::sort(children.begin(), children.end());
    EXPECT_EQ(children, (std::vector<std::string>{"Alt", "DIR_1", "DIR_2", "写真"}));
    EXPECT_EQ(ItemAt(run, "file.txt"), kNoItem);
    EXPECT_EQ(run.folderNodes.Count(), 8);

    // A later build of the same run goes on counting made-up names.
    run.folderNodes.Clear();
    run.folderTree.reset();
    ntfs.Build({Folder(50, kNtfsRootId, "")});
    EXPECT_NE(ItemAt(run, "DIR_3"), kNoItem);

    // NTFS folder rows show the stamp's calendar date without leading zeros.
    NtfsRun listed;
    listed.Build({dated, Folder(31, 30, "写真")});
    ListFolder(listed.run, listed.disk, listed.Top());
    const auto names = ListColumn(listed.run.fileList, kListName);
    const std::size_t row = static_cast<std::size_t>(
        std::find(names.begin(), names.end(), "Φωτογραφίες") - names.begin());
    EXPECT_EQ(listed.run.fileList.Cell(row, kListDate), NtfsDateText(dated.date));
    EXPECT_EQ(listed.run.fileList.Cell(row, kListTime), NtfsTimeText(dated.date));
    EXPECT_EQ(listed.run.fileList.Cell(row, kListItem),
              NumberText(ItemAt(listed.run, "Φωτογραφίες")));
}

TEST(NtfsFolderTree, FoldersLinkedInALoopAreShownOnceUnderTheOrphanFolder) {
    NtfsRun ntfs;
    // 60 and 61 name each other as parent and reach the root from neither; 70 hangs at the
    // root, and a second row of 70 claims to sit inside its own child 71.
    ntfs.Build({Folder(60, 61, "Loop A"), Folder(61, 60, "Loop B"), Folder(70, kNtfsRootId, "Top"),
                Folder(71, 70, "Child"), Folder(70, 71, "Again")});
    RecoveryRun& run = ntfs.run;
    EXPECT_NE(ItemAt(run, "Top\\Child\\Again"), kNoItem);
    const bool loopShown = ItemAt(run, "LMR_Miscellaneous\\Loop A\\Loop B") != kNoItem ||
                           ItemAt(run, "LMR_Miscellaneous\\Loop B\\Loop A") != kNoItem;
    EXPECT_TRUE(loopShown);
    EXPECT_EQ(run.folderNodes.Count(), 6);
}

TEST(FolderTreeBuild, AddChildFoldersFindsTheWholeRunOfAParent) {
    RecoveryRun run;
    const TreeItem top = SetRootText(run);
    // Equal parents from row 0, a file and a folder claiming to be its own parent among them,
    // and far numbers the table's sort lumps together.
    RecoveredEntry file = Folder(5, 7, "file");
    file.type = kFileType;
    TextTable table = EntryTable({Folder(9, 100000002, "far 2a"), Folder(1, 7, "a"), file,
                                  Folder(7, 7, "itself"), Folder(2, 7, "b"), Folder(3, 7, "c"),
                                  Folder(4, 8, "d"), Folder(6, 100000001, "far 1"),
                                  Folder(8, 268435455, "orphan"), Folder(10, 100000002, "far 2b")});
    table.SortByColumn(kEntryParent);
    ASSERT_EQ(table.CellU32(0, kEntryParent), 7u);
    const TreeItem seven = AddFolderNode(run, top, "seven", 7, 0, 0, 0, false);
    AddChildFolders(run, "7", table, seven);
    auto texts = ChildTexts(*run.folderTree, seven);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(run.resultsFound);

    const TreeItem far = run.folderTree->InsertItem(top, "far", 4, 4);
    AddChildFolders(run, "100000002", table, far);
    texts = ChildTexts(*run.folderTree, far);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"far 2a", "far 2b"}));
    for (const TreeItem child : run.folderTree->Children(far)) {
        EXPECT_EQ(run.folderNodes.FindByItem(child)->parentId, 100000002u);
    }
    AddChildFolders(run, "42", table, top);
    EXPECT_EQ(run.folderNodes.Count(), 6);
}

TEST(FolderTreeBuild, TwentyThousandFoldersBuildWithProgressOnlyForward) {
    constexpr std::uint32_t kFolders = 20000;
    // FAT32 clusters 3 on, every folder's directory reads as empty; five levels deep.
    RecoveryRun run;
    SetPartitionFileSystem(run.selectedPartition, "FAT32");
    SetVolumeFileSystem(run.activeVolume, "FAT32");
    run.activeVolume.sectorsPerCluster = 1;
    run.activeVolume.rootStart = 2;
    run.activeVolume.cluster0Start = 1000;
    SparseDisk disk(1 << 20);
    TextTable table(EntryTableColumns());
    AppendOrphanFolderRow(table, kFatRootId);
    for (std::uint32_t i = 0; i < kFolders; ++i) {
        const std::uint32_t self = i + 3;
        const std::uint32_t parent = i < 20 ? kFatRootId : (i - 20) / 5 + 3;
        AppendEntryRow(table, Folder(self, parent, "Dir" + std::to_string(i)));
    }
    table.SortByColumn(kEntrySelf);
    testing::RecordingReporter reporter;
    ReattachOrphans(table, reporter, ProgressBar::MainScan, kFatRootId, 0);
    table.SortByColumn(kEntryParent);
    testing::RecordingReporter buildReporter;
    EXPECT_EQ(BuildFatFolderTree(run, disk, table, buildReporter, ProgressBar::MainScan), 1);
    EXPECT_EQ(run.folderNodes.Count(), static_cast<std::int32_t>(kFolders + 1));
    EXPECT_TRUE(table.Empty());
    EXPECT_EQ(run.folderTree->Children(run.folderTree->TopItem()).size(), 21u);

    int last = -1;
    for (const std::string& call : buildReporter.Calls()) {
        if (call.rfind("progress", 0) == 0) {
            const int position = std::stoi(call.substr(call.find(':') + 2));
            EXPECT_GE(position, last);
            last = position;
        }
    }
    EXPECT_EQ(last, 100);
}

// ---- Paths, check boxes and expansion listings ----

struct SmallTree {
    SmallTree() {
        top = SetRootText(run);
        folder = AddFolderNode(run, top, "Photos", 10, 0, 0, 0, false);
        other = AddFolderNode(run, top, "Other", 11, 0, 0, 0, false);
        for (std::uint32_t i = 0; i < 3; ++i) {
            subs.push_back(
                AddFolderNode(run, folder, "Sub" + std::to_string(i), 20 + i, 0, 0, 10, false));
        }
        deep = AddFolderNode(run, subs[0], "Deep\\", 30, 0, 0, 20, false);
        deepest = AddFolderNode(run, deep, "2009", 31, 0, 0, 30, false);
    }
    TreeModel& Tree() { return *run.folderTree; }

    RecoveryRun run;
    TreeItem top = kNoItem;
    TreeItem folder = kNoItem;
    TreeItem other = kNoItem;
    std::vector<TreeItem> subs;
    TreeItem deep = kNoItem;
    TreeItem deepest = kNoItem;
};

TEST(FolderTreeEvents, ItemPathJoinsAncestorsBelowTheTopWithOneBackslash) {
    SmallTree small;
    EXPECT_EQ(ItemPath(small.Tree(), small.top), "");
    EXPECT_EQ(ItemPath(small.Tree(), small.folder), "Photos");
    EXPECT_EQ(ItemPath(small.Tree(), small.deepest), "Photos\\Sub0\\Deep\\2009");
}

TEST(FolderTreeEvents, CheckBoxesFollowChildrenAndParents) {
    SmallTree small;
    TreeModel& tree = small.Tree();
    ToggleCheck(tree, small.folder);
    for (const TreeItem item :
         {small.folder, small.subs[0], small.subs[1], small.subs[2], small.deep, small.deepest}) {
        EXPECT_EQ(tree.CheckState(item), kCheckedState);
    }
    EXPECT_EQ(tree.CheckState(small.other), kUncheckedState);
    EXPECT_EQ(tree.CheckState(small.top), kPartlyCheckedState);

    ToggleCheck(tree, small.deepest);
    EXPECT_EQ(tree.CheckState(small.deepest), kUncheckedState);
    // A folder whose every child is unchecked is unchecked itself.
    EXPECT_EQ(tree.CheckState(small.deep), kUncheckedState);
    EXPECT_EQ(tree.CheckState(small.subs[0]), kUncheckedState);
    EXPECT_EQ(tree.CheckState(small.folder), kPartlyCheckedState);
    EXPECT_EQ(tree.CheckState(small.top), kPartlyCheckedState);

    ToggleCheck(tree, small.deepest);
    EXPECT_EQ(tree.CheckState(small.folder), kCheckedState);
    ToggleCheck(tree, small.other);
    EXPECT_EQ(tree.CheckState(small.top), kCheckedState);

    // A partly checked folder toggles to unchecked with everything below it.
    ToggleCheck(tree, small.subs[1]);
    ToggleCheck(tree, small.folder);
    EXPECT_EQ(tree.CheckState(small.subs[2]), kUncheckedState);
    EXPECT_EQ(tree.CheckState(small.deepest), kUncheckedState);
    EXPECT_EQ(tree.CheckState(small.top), kPartlyCheckedState);
}

TEST(FolderTreeEvents, ListingADeletedFolderMarksItsChildrenAndTheExpansionSaysSo) {
    NtfsRun ntfs;
    RecoveredEntry gone = Folder(40, kNtfsRootId, "Gone");
    gone.deleted = true;
    ntfs.Build(
        {gone, Folder(41, 40, "Inside"), Folder(42, kNtfsRootId, "Kept"), Folder(43, 42, "Also")});
    RecoveryRun& run = ntfs.run;
    TreeModel& tree = ntfs.Tree();
    const TreeItem goneItem = ItemAt(run, "Gone");
    const TreeItem inside = ItemAt(run, "Gone\\Inside");
    EXPECT_FALSE(run.folderNodes.FindByItem(inside)->deleted);

    ListFolder(run, ntfs.disk, goneItem);
    EXPECT_EQ(ListColumn(run.fileList, kListType), std::vector<std::string>{"FOLDER"});
    EXPECT_TRUE(run.folderNodes.FindByItem(inside)->deleted);

    tree.SetExpansionHandler([&](TreeItem item, ExpandAction action) {
        OnFolderItemExpanding(run, ntfs.disk, item, action);
    });
    const TreeItem kept = ItemAt(run, "Kept");
    run.folderTreeState.openFolderItem = kept;
    tree.SetImage(kept, kOpenFolderImage, kOpenFolderImage);
    run.folderTreeState.listOnExpand = true;
    tree.Expand(goneItem, ExpandAction::Expand);
    EXPECT_EQ(ListColumn(run.fileList, kListType), std::vector<std::string>{"Deleted FOLDER"});
    EXPECT_FALSE(run.folderTreeState.listOnExpand);
    EXPECT_EQ(run.folderTreeState.openFolderItem, goneItem);
    EXPECT_EQ(run.folderTreeState.currentFolder, "Gone");
    EXPECT_EQ(tree.Selected(), goneItem);
    EXPECT_EQ(tree.Image(goneItem), kOpenFolderImage);
    EXPECT_EQ(tree.Image(kept), kClosedFolderImage);

    // Without the flag and without browsing, an expansion lists nothing.
    run.fileList.Clear();
    tree.Expand(kept, ExpandAction::Expand);
    EXPECT_TRUE(run.fileList.Empty());
    EXPECT_EQ(run.folderTreeState.openFolderItem, goneItem);
}

}  // namespace
}  // namespace lumarest

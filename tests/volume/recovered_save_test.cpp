#include "volume/recovered_save.h"
#include "support/command_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "disk/device_sector_source.h"
#include "disk/sector_reader.h"
#include "output/listing_volumes.h"
#include "partitions/volume_params.h"
#include "search/standard_search.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/link_planter.h"
#include "support/volume_files.h"
#include "tree/folder_browse.h"
#include "tree/folder_tree_build.h"
#include "tree/folder_tree_events.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::CommandOutput;
using testing::FileText;
using testing::FixtureImage;
using testing::ImageGuard;
using testing::LinkPlanter;
using testing::ShellQuoted;
using testing::WalkFolder;

fs::path ScratchFolder(const std::string& name) {
    const fs::path folder = fs::path(LUMAREST_FIXTURE_DIR) / "recovered_save_scratch" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// A bare volume image searched the way the window's Next and scan worker do.
struct SearchedImage {
    SearchedImage(const std::string& image, const std::string& fsName)
        : path(image),
          guard(image),
          disk(ReaderContextFor(run), image, fs::file_size(image) / kSectorSize) {
        run.searchMode = SearchMode::Standard;
        SetPartitionFileSystem(run.selectedPartition, fsName);
        run.selectedPartition.startSector = 0;
        run.selectedPartition.endSector = static_cast<std::int64_t>(disk.TotalSectors()) - 1;
        NullReporter reporter;
        const bool valid = ValidatePartition(run, disk, reporter) == 1;
        RunStandardSearch(run, disk, reporter, valid, run.scanStop.get_token());
    }

    // The folder item at "a/b" below Root.
    TreeItem Item(const std::string& slashPath) const {
        const TreeModel& tree = *run.folderTree;
        TreeItem item = tree.TopItem();
        std::istringstream parts(slashPath);
        for (std::string part; std::getline(parts, part, '/');) {
            TreeItem next = kNoItem;
            for (const TreeItem child : tree.Children(item)) {
                if (tree.Text(child) == part && next == kNoItem) {
                    next = child;
                }
            }
            item = next;
        }
        return item;
    }

    SaveSummary SaveTree(const fs::path& destination, SaveDecisions& decisions) {
        const auto entries = CollectFolderEntries(run, disk, run.folderTree->TopItem());
        return SaveEntries(run, disk, entries, destination.string(), decisions);
    }

    std::string path;
    ImageGuard guard;
    RecoveryRun run;
    DeviceSectorSource disk;
};

// Every folder and file below `root`: folders as "/", files as their bytes.
std::map<std::string, std::string> SavedTree(const fs::path& root) {
    std::map<std::string, std::string> saved;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        saved[relative] = entry.is_directory() ? "/" : FileText(entry.path());
    }
    return saved;
}

struct ManifestLine {
    bool folder = false;
    std::string path;
    std::uint64_t bytes = 0;
};

std::vector<ManifestLine> Manifest(const std::string& image) {
    std::vector<ManifestLine> lines;
    std::ifstream file(fs::path(image).replace_extension(".manifest"));
    for (std::string line; std::getline(file, line);) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) {
            cells.push_back(cell);
        }
        if (cells.size() == 5) {
            lines.push_back({cells[2] == "dir", cells[3], std::stoull(cells[4])});
        }
    }
    return lines;
}

// The address icat takes for each file The Sleuth Kit lists, deleted ones too; a reallocated
// name, whose record now holds another file, is left out.
std::map<std::string, std::string> SleuthNumbers(const std::string& image) {
    std::map<std::string, std::string> numbers;
    for (const testing::FlsEntry& entry :
         testing::ParseFlsListing(testing::FlsOutput(image, "-r -p"))) {
        if (entry.kind == 'r' && !entry.reallocated) {
            numbers[entry.path] = entry.address;
        }
    }
    return numbers;
}

class WholeTreeSave : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

// The whole rebuilt tree, deleted folders and files included, comes out with every path and
// byte the volume holds, as The Sleuth Kit reads them.
TEST_P(WholeTreeSave, GivesEveryFolderAndFileOfTheVolume) {
    const auto [imageName, fsName] = GetParam();
    const std::string image = FixtureImage(imageName);
    if (image.empty()) {
        GTEST_SKIP() << "the fixture images were not made";
    }
    if (std::string(fsName) == "NTFS" &&
        FileText(fs::path(image).parent_path() / "ntfs_route.txt").starts_with("flat")) {
        GTEST_SKIP() << "the NTFS fixture holds no folders without FUSE";
    }
    SearchedImage searched(image, fsName);
    const fs::path destination = ScratchFolder(imageName);
    FixedSaveDecisions decisions;
    const SaveSummary summary = searched.SaveTree(destination, decisions);
    EXPECT_FALSE(summary.stopped);
    EXPECT_EQ(summary.failed, 0u);
    EXPECT_EQ(summary.incomplete, 0u);

    // FAT short names are listed, and so saved, as their entries store them: NOTES.TXT for
    // the notes.txt the volume was given.
    const bool fat = std::string(fsName) != "NTFS";
    std::map<std::string, std::string> saved;
    for (const auto& [path, bytes] : SavedTree(destination)) {
        saved[fat ? Lower(path) : path] = bytes;
    }
    EXPECT_EQ(saved.count(fat ? Lower(kOrphanFolderName) : kOrphanFolderName), 1u);
    const auto numbers = SleuthNumbers(image);
    std::size_t compared = 0;
    for (const ManifestLine& line : Manifest(image)) {
        SCOPED_TRACE(line.path);
        const auto found = saved.find(fat ? Lower(line.path) : line.path);
        ASSERT_NE(found, saved.end());
        if (line.folder) {
            EXPECT_EQ(found->second, "/");
            continue;
        }
        EXPECT_EQ(found->second.size(), line.bytes);
        if (const auto number = numbers.find(line.path); number != numbers.end()) {
            ++compared;
            EXPECT_EQ(found->second, CommandOutput("icat " + ShellQuoted(image) + " " +
                                                   number->second + " 2>/dev/null"));
        }
    }
    // Every live file at least, where The Sleuth Kit is installed.
    EXPECT_TRUE(numbers.empty() || compared >= 10) << compared;
    EXPECT_TRUE(searched.guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(FixtureVolumes, WholeTreeSave,
                         ::testing::Values(std::pair{"fat16.img", "FAT16"},
                                           std::pair{"fat32.img", "FAT32"},
                                           std::pair{"ntfs.img", "NTFS"}),
                         [](const auto& info) { return std::string(info.param.second); });

// Names in other scripts are saved under their exact UTF-8 names, a deleted short name as the
// list shows it.
TEST(RecoveredSave, KeepsJapaneseAndEmojiNames) {
    ASSERT_TRUE(testing::MakeListingImages());
    for (const auto& volume : testing::ListingVolumes()) {
        SCOPED_TRACE(volume.name);
        SearchedImage searched(testing::ListingImage(volume), volume.fsName);
        const fs::path destination = ScratchFolder("names_" + volume.name);
        FixedSaveDecisions decisions;
        EXPECT_EQ(searched.SaveTree(destination, decisions).failed, 0u);
        const auto saved = SavedTree(destination);
        using testing::WrittenBytes;
        EXPECT_EQ(saved.at("写真の説明.txt"), WrittenBytes("japanese.txt"));
        EXPECT_EQ(saved.at("Party 🎉"), WrittenBytes("emoji"));
        EXPECT_EQ(saved.at("Docs/写真/海の日.txt"), WrittenBytes("nested.txt"));
        EXPECT_EQ(saved.at("Docs/fragmented.bin"), WrittenBytes("fragmented.bin"));
        EXPECT_EQ(saved.at("Docs/_MAGE.JPG"), WrittenBytes("image.jpg"));
        EXPECT_TRUE(searched.guard.Unchanged());
    }
}

// The name shown byte by byte, for a failure message.
std::string Bytes(const std::string& name) {
    std::string shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte >= 0x20 && byte < 0x7F ? std::string(1, c) : "\\x" + std::to_string(byte);
    }
    return shown;
}

// One plain name inside its folder: no way out, no control character, not too long.
bool IsPlainSavedName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.size() > 255 ||
        name.find('/') != std::string::npos) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 = byte == 0xC2 && i + 1 < name.size() &&
                        static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(name[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || c1) {
            return false;
        }
    }
    return true;
}

TEST(SafeNamePart, StaysOneNameInItsFolder) {
    struct Case {
        std::string name;
        std::string saved;
    };
    const Case cases[] = {
        {"a/../b", "a_.._b"},
        {std::string("x\0y", 3), "x_y"},
        {".", "_."},
        {"..", "_.."},
        {"", "_"},
        // Control characters would reach a terminal that lists the folder, or forge a line.
        {"tab\there", "tab_here"},
        {"Photo\n2.jpg", "Photo_2.jpg"},
        {"\x1b[31mred", "_[31mred"},
        {"del\x7f", "del_"},
        {"c1\xC2\x9B"
         "31m",
         "c1_31m"},
        {"\xC2\x80\xC2\x9F", "__"},
        {"no break\xC2\xA0space", "no break\xC2\xA0space"},
        {"Müller.txt", "Müller.txt"},
    };
    for (const Case& row : cases) {
        EXPECT_EQ(SafeNamePart(row.name), row.saved) << Bytes(row.name);
    }
    // A long name in three-byte characters is cut on a whole character and keeps its ending.
    std::string longName;
    for (int i = 0; i < 100; ++i) {
        longName += "写";
    }
    const std::string part = SafeNamePart(longName + ".jpg");
    EXPECT_LE(part.size(), 255u);
    EXPECT_TRUE(part.ends_with("写.jpg"));
    EXPECT_EQ((part.size() - 4) % 3, 0u);
    // Bytes that are no UTF-8 at all are cut where the limit falls, not down to nothing.
    EXPECT_EQ(SafeNamePart(std::string(300, '\x80')).size(), 255u);
}

// A hand-made tree without files: sibling folders of one name, and the check boxes.
TEST(RecoveredSave, CollectsCheckedFoldersInTheirPaths) {
    RecoveryRun run;
    SetVolumeFileSystem(run.activeVolume, "NTFS");
    run.folderTree = std::make_unique<TreeModel>();
    TreeModel& tree = *run.folderTree;
    const TreeItem root = tree.InsertItem(kNoItem, kRootText, 2, 2);
    std::uint32_t nextId = 100;
    const auto add = [&](TreeItem parent, const std::string& name) {
        const TreeItem item = tree.InsertItem(parent, name, 4, 4);
        tree.SetCheckState(item, kUncheckedState);
        run.folderNodes.Append({name, item, nextId++, 0, 0, 0, true, false});
        return item;
    };
    const TreeItem album = add(root, "Album");
    const TreeItem album2 = add(root, "Album");
    const TreeItem other = add(root, "Other");
    const TreeItem inner = add(album2, "Inner");
    add(album2, "Left out");
    add(other, "Unchecked");
    MemoryDisk disk(std::vector<std::uint8_t>(kSectorSize), "none");

    const auto paths = [&](const std::vector<SaveEntry>& entries) {
        std::vector<std::string> texts;
        for (const SaveEntry& entry : entries) {
            texts.push_back(entry.relativePath + (entry.folder ? "/" : ""));
        }
        return texts;
    };
    EXPECT_TRUE(CollectCheckedEntries(run, disk).empty());
    EXPECT_EQ(paths(CollectFolderEntries(run, disk, root)),
              (std::vector<std::string>{"Album/", "Album (2)/", "Album (2)/Inner/",
                                        "Album (2)/Left out/", "Other/", "Other/Unchecked/"}));
    ToggleCheck(tree, inner);
    ToggleCheck(tree, album);
    EXPECT_EQ(tree.CheckState(album2), kPartlyCheckedState);
    EXPECT_EQ(paths(CollectCheckedEntries(run, disk)),
              (std::vector<std::string>{"Album/", "Album (2)/", "Album (2)/Inner/"}));
}

// A volume of make_save_clash_image.sh (its variant, if named), made once per build folder.
std::string ClashImage(const std::string& variant = "") {
    static std::map<std::string, std::string> made;
    if (const auto found = made.find(variant); found != made.end()) {
        return found->second;
    }
    const fs::path folder = fs::path(LUMAREST_FIXTURE_DIR) / "recovered_save";
    fs::create_directories(folder);
    const std::string path = (folder / ("clash" + variant + ".img")).string();
    const std::string command =
        "bash " +
        ShellQuoted(std::string(LUMAREST_SOURCE_DIR) + "/tests/output/make_save_clash_image.sh") +
        " " + ShellQuoted(path) + " " + variant + " >/dev/null 2>&1";
    return made[variant] = std::system(command.c_str()) == 0 ? path : std::string();
}

constexpr const char* kLiveTrip = "the live trip photo\n";
constexpr const char* kDeletedTrip = "the deleted trip photo, a longer one\n";
constexpr const char* kNote = "a note\n";

// Answers as the test says and records what was asked.
class ScriptedDecisions : public SaveDecisions {
  public:
    Replace replace = Replace::Rename;
    bool applyToAll = false;
    WriteError writeError = WriteError::Skip;
    std::size_t stopBefore = SIZE_MAX;
    std::vector<std::pair<std::string, std::string>> clashes;  // path, renamed
    std::vector<std::string> writeErrors;

    Replace AskReplace(const std::string& path, const std::string& renamed, bool& all) override {
        clashes.emplace_back(path, renamed);
        all = applyToAll;
        return replace;
    }
    WriteError AskWriteError(const std::string& path) override {
        writeErrors.push_back(path);
        return writeError;
    }
    bool Progress(std::size_t done, std::size_t, const std::string&) override {
        return done >= stopBefore;
    }
};

class ClashSave : public ::testing::Test {
  protected:
    void SetUp() override {
        if (ClashImage().empty()) {
            GTEST_SKIP() << "mkfs.fat or mtools is missing";
        }
        searched_ = std::make_unique<SearchedImage>(ClashImage(), "FAT16");
    }
    void TearDown() override {
        if (searched_) {
            EXPECT_TRUE(searched_->guard.Unchanged());
        }
    }
    SaveSummary Save(const fs::path& destination, SaveDecisions& decisions) {
        return searched_->SaveTree(destination, decisions);
    }
    std::unique_ptr<SearchedImage> searched_;
};

// A deleted file and a live one of one name never overwrite each other unasked; each answer
// does what it says, for one clash or all of them.
TEST_F(ClashSave, AnswersDecideBetweenFilesOfOneName) {
    const fs::path renamed = ScratchFolder("rename");
    ScriptedDecisions rename;
    SaveSummary summary = Save(renamed, rename);
    EXPECT_EQ(summary.saved, 4u);
    ASSERT_EQ(rename.clashes.size(), 1u);
    EXPECT_EQ(rename.clashes[0].first, (renamed / "Trip/Trip.jpg").string());
    EXPECT_EQ(rename.clashes[0].second, (renamed / "Trip/Trip (2).jpg").string());
    auto saved = SavedTree(renamed);
    EXPECT_EQ(saved.at("Trip/Trip.jpg"), kLiveTrip);
    EXPECT_EQ(saved.at("Trip/Trip (2).jpg"), kDeletedTrip);
    EXPECT_EQ(saved.at("Trip/Inner/Note.txt"), kNote);
    EXPECT_EQ(saved.at("Top.txt"), kNote);

    const fs::path overwritten = ScratchFolder("overwrite");
    ScriptedDecisions overwrite;
    overwrite.replace = SaveDecisions::Replace::Overwrite;
    EXPECT_EQ(Save(overwritten, overwrite).saved, 4u);
    EXPECT_EQ(SavedTree(overwritten).at("Trip/Trip.jpg"), kDeletedTrip);

    const fs::path skipped = ScratchFolder("skip");
    ScriptedDecisions skip;
    skip.replace = SaveDecisions::Replace::Skip;
    summary = Save(skipped, skip);
    EXPECT_EQ(summary.saved, 3u);
    EXPECT_EQ(summary.skipped, 1u);
    EXPECT_EQ(SavedTree(skipped).at("Trip/Trip.jpg"), kLiveTrip);
    EXPECT_EQ(SavedTree(skipped).count("Trip/Trip (2).jpg"), 0u);

    // Saving again: every file clashes with the first save's; one answer for all is asked once.
    ScriptedDecisions again;
    again.applyToAll = true;
    summary = Save(renamed, again);
    EXPECT_EQ(summary.saved, 4u);
    EXPECT_EQ(again.clashes.size(), 1u);
    saved = SavedTree(renamed);
    EXPECT_EQ(saved.at("Top (2).txt"), kNote);
    EXPECT_EQ(saved.at("Trip/Trip (3).jpg"), kLiveTrip);
    EXPECT_EQ(saved.at("Trip/Trip (4).jpg"), kDeletedTrip);
    EXPECT_EQ(saved.at("Trip/Inner/Note (2).txt"), kNote);

    ScriptedDecisions eachAsked;
    eachAsked.replace = SaveDecisions::Replace::Skip;
    summary = Save(renamed, eachAsked);
    EXPECT_EQ(eachAsked.clashes.size(), 4u);
    EXPECT_EQ(summary.skipped, 4u);

    ScriptedDecisions cancel;
    cancel.replace = SaveDecisions::Replace::Cancel;
    summary = Save(renamed, cancel);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(cancel.clashes.size(), 1u);
    EXPECT_EQ(SavedTree(renamed).size(), saved.size());
}

// A destination that cannot take a file asks once per failure unless told to skip them all;
// Abort stops there.
TEST_F(ClashSave, WriteErrorsAskAndAbortStops) {
    const fs::path blocked = ScratchFolder("blocked");
    fs::create_directory(blocked / "Top.txt");
    ScriptedDecisions skip;
    skip.replace = SaveDecisions::Replace::Overwrite;
    SaveSummary summary = Save(blocked, skip);
    EXPECT_EQ(skip.writeErrors, (std::vector<std::string>{(blocked / "Top.txt").string()}));
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(summary.saved, 3u);
    EXPECT_FALSE(summary.stopped);

    ScriptedDecisions skipAll;
    skipAll.replace = SaveDecisions::Replace::Overwrite;
    skipAll.writeError = SaveDecisions::WriteError::SkipAll;
    EXPECT_EQ(Save(blocked, skipAll).failed, 1u);
    EXPECT_EQ(skipAll.writeErrors.size(), 1u);

    ScriptedDecisions abort;
    abort.replace = SaveDecisions::Replace::Overwrite;
    abort.writeError = SaveDecisions::WriteError::Abort;
    summary = Save(blocked, abort);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(abort.writeErrors.size(), 1u);
    // Nothing but the obstacle and the first saves, and no half-written file.
    EXPECT_EQ(SavedTree(blocked),
              (std::map<std::string, std::string>{{"LMR_Miscellaneous", "/"},
                                                  {"Top.txt", "/"},
                                                  {"Trip", "/"},
                                                  {"Trip/Inner", "/"},
                                                  {"Trip/Inner/Note.txt", kNote},
                                                  {"Trip/Other", "/"},
                                                  {"Trip/Trip.jpg", kDeletedTrip}}));
}

// A file holding a folder's name, in the destination or in the same save, no longer drops the
// folder and all it holds: the folder is saved as "Trip (2)", the file keeps its name.
TEST(RecoveredSave, FolderWhoseNameIsTakenByAFileGetsANumber) {
    struct Case {
        const char* name;
        const char* variant;
        const char* obstacle;  // put in the destination first: "file", "link" or nothing
        const char* tripFile;  // what the saved file "Trip" holds; nothing when there is none
    };
    const Case cases[] = {
        {"file in the destination", "", "file", "already here"},
        {"dangling link in the destination", "", "link", nullptr},
        {"deleted file beside the folder", "file-named-trip", "", kDeletedTrip},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string image = ClashImage(row.variant);
        if (image.empty()) {
            GTEST_SKIP() << "mkfs.fat or mtools is missing";
        }
        SearchedImage searched(image, "FAT16");
        const fs::path destination =
            ScratchFolder(std::string("taken_") + row.variant + row.obstacle);
        if (std::string(row.obstacle) == "file") {
            std::ofstream(destination / "Trip") << "already here";
        } else if (std::string(row.obstacle) == "link") {
            fs::create_symlink(destination / "nowhere", destination / "Trip");
        }
        ScriptedDecisions decisions;
        const SaveSummary summary = searched.SaveTree(destination, decisions);
        EXPECT_EQ(summary.failed, 0u);
        EXPECT_TRUE(decisions.writeErrors.empty());
        const auto saved = SavedTree(destination);
        EXPECT_EQ(saved.at("Trip (2)"), "/");
        EXPECT_EQ(saved.at("Trip (2)/Inner/Note.txt"), kNote);
        EXPECT_EQ(saved.at("Trip (2)/Trip.jpg"), kLiveTrip);
        EXPECT_EQ(saved.count("Trip (2)/Other"), 1u);
        if (row.tripFile != nullptr) {
            EXPECT_EQ(saved.at("Trip"), row.tripFile);
        } else {
            EXPECT_TRUE(fs::is_symlink(destination / "Trip"));
        }
        EXPECT_TRUE(searched.guard.Unchanged());
    }
}

TEST_F(ClashSave, ReadOnlyDestinationAsksAndAbortStops) {
    const fs::path folder = ScratchFolder("read_only");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    // Permissions do not hold the superuser back; an immutable folder does.
    const bool immutable =
        ::access(folder.c_str(), W_OK) == 0 &&
        std::system(("chattr +i " + ShellQuoted(folder) + " 2>/dev/null").c_str()) == 0;
    const auto release = [&] {
        if (immutable) {
            std::system(("chattr -i " + ShellQuoted(folder)).c_str());
        }
        fs::permissions(folder, fs::perms::owner_all);
    };
    if (::access(folder.c_str(), W_OK) == 0 && !immutable) {
        release();
        GTEST_SKIP() << "no folder here can be made unwritable";
    }
    ScriptedDecisions abort;
    abort.writeError = SaveDecisions::WriteError::Abort;
    const SaveSummary summary = Save(folder, abort);
    release();
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(abort.writeErrors, (std::vector<std::string>{(folder / "Top.txt").string()}));
    EXPECT_TRUE(fs::is_empty(folder));
}

// A partly checked folder gives only its checked subfolders; a single row saves alone; the
// file list the user sees stays as it was; Progress can stop the saving.
TEST_F(ClashSave, CheckedFoldersRowsAndStopping) {
    RecoveryRun& run = searched_->run;
    ToggleCheck(*run.folderTree, searched_->Item("Trip/Inner"));
    const fs::path checked = ScratchFolder("checked");
    ScriptedDecisions decisions;
    const auto entries = CollectCheckedEntries(run, searched_->disk);
    EXPECT_EQ(SaveEntries(run, searched_->disk, entries, checked.string(), decisions).saved, 1u);
    EXPECT_EQ(SavedTree(checked),
              (std::map<std::string, std::string>{
                  {"Trip", "/"}, {"Trip/Inner", "/"}, {"Trip/Inner/Note.txt", kNote}}));

    ListFolder(run, searched_->disk, searched_->Item("Trip"));
    const TextTable shown = run.fileList;
    CollectFolderEntries(run, searched_->disk, run.folderTree->TopItem());
    ASSERT_EQ(run.fileList.RowCount(), 4u);
    for (std::size_t row = 0; row < shown.RowCount(); ++row) {
        EXPECT_EQ(run.fileList.Row(row), shown.Row(row));
    }
    ASSERT_EQ(run.fileListRefs.size(), run.fileList.RowCount());
    const SaveEntry folderRow = FileRowEntry(run.fileList.Cell(0, 0), run.fileListRefs[0]);
    EXPECT_TRUE(folderRow.folder);
    EXPECT_EQ(folderRow.relativePath, run.fileList.Cell(0, 0));
    EXPECT_EQ(folderRow.file.folderItem, kNoItem);
    const fs::path single = ScratchFolder("single");
    SaveEntries(run, searched_->disk, {FileRowEntry(run.fileList.Cell(3, 0), run.fileListRefs[3])},
                single.string(), decisions);
    EXPECT_EQ(SavedTree(single), (std::map<std::string, std::string>{{"Trip.jpg", kDeletedTrip}}));

    const fs::path stopped = ScratchFolder("stopped");
    ScriptedDecisions stop;
    stop.stopBefore = 2;
    const SaveSummary summary = Save(stopped, stop);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(SavedTree(stopped).size(), 2u);
}

// A file whose data cannot be located is not saved as an empty copy, and an older file it was
// to overwrite stays as it was.
TEST_F(ClashSave, NothingFoundLeavesTheOlderFile) {
    const fs::path folder = ScratchFolder("nothing_found");
    std::ofstream(folder / "Lost.jpg") << "an older copy";
    // Cluster 0 holds no file data.
    FileRef lost;
    lost.size = 100;
    ScriptedDecisions overwrite;
    overwrite.replace = SaveDecisions::Replace::Overwrite;
    const SaveSummary summary =
        SaveEntries(searched_->run, searched_->disk, {FileRowEntry("Lost.jpg", lost)},
                    folder.string(), overwrite);
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_TRUE(overwrite.writeErrors.empty());
    EXPECT_EQ(SavedTree(folder),
              (std::map<std::string, std::string>{{"Lost.jpg", "an older copy"}}));
}

// A disk that takes its time, so a file is still being written when someone acts on its name.
class SlowDisk : public SectorSource {
  public:
    explicit SlowDisk(SectorSource& disk) : disk_(disk) {}
    int ReadSectors(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer) override {
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        return disk_.ReadSectors(first, count, buffer);
    }
    std::uint64_t TotalSectors() const override { return disk_.TotalSectors(); }
    std::string Name() const override { return disk_.Name(); }

  private:
    SectorSource& disk_;
};

// A disk that asks the saving to stop after a number of reads: the stop lands wherever the
// saving is then, between files or inside one.
class StoppingDisk : public SectorSource {
  public:
    StoppingDisk(SectorSource& disk, int readsBeforeStop, std::stop_source stop)
        : disk_(disk), left_(readsBeforeStop), stop_(std::move(stop)) {}
    int ReadSectors(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer) override {
        if (--left_ == 0) {
            stop_.request_stop();
        }
        return disk_.ReadSectors(first, count, buffer);
    }
    std::uint64_t TotalSectors() const override { return disk_.TotalSectors(); }
    std::string Name() const override { return disk_.Name(); }

  private:
    SectorSource& disk_;
    int left_;
    std::stop_source stop_;
};

// Every file named in the folder below `root`, partial ones too.
std::vector<std::string> PartialFiles(const fs::path& root) {
    std::vector<std::string> partial;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().starts_with(".lumarest-")) {
            partial.push_back(entry.path().string());
        }
    }
    return partial;
}

// A stop at any point of the saving leaves only whole files behind: the file being written
// is removed, and the summary counts exactly what is there.
TEST_F(ClashSave, StopAnywhereLeavesOnlyWholeFiles) {
    const auto entries =
        CollectFolderEntries(searched_->run, searched_->disk, searched_->run.folderTree->TopItem());
    for (int reads = 1; reads <= 40; reads += 3) {
        SCOPED_TRACE("stopped after read " + std::to_string(reads));
        const fs::path folder = ScratchFolder("stopped");
        int error = 0;
        const std::optional<FolderHandle> destination = FolderHandle::Open(folder.string(), error);
        ASSERT_TRUE(destination);
        std::stop_source stop;
        StoppingDisk disk(searched_->disk, reads, stop);
        FixedSaveDecisions decisions;
        const SaveSummary summary = SaveEntries(searched_->run, disk, entries, *destination,
                                                folder.string(), decisions, stop.get_token());
        EXPECT_TRUE(summary.stopped || !stop.stop_requested());
        EXPECT_TRUE(PartialFiles(folder).empty());
        EXPECT_EQ(WalkFolder(folder).files, summary.saved + summary.incomplete);
        EXPECT_EQ(summary.failed, 0u);
    }
}

// The destination's path swapped for a link to another folder (standing in for a mount of the
// searched image) while a volume is saved: everything lands in the folder opened first.
TEST_F(ClashSave, WritesIntoTheFolderOpenedWhenItsPathIsSwapped) {
    const fs::path scratch = ScratchFolder("swapped");
    const fs::path destination = scratch / "destination";
    const fs::path opened = scratch / "opened";
    const fs::path elsewhere = scratch / "elsewhere";
    fs::create_directories(destination);
    fs::create_directories(elsewhere);
    int error = 0;
    const std::optional<FolderHandle> folder = FolderHandle::Open(destination.string(), error);
    ASSERT_TRUE(folder);
    const auto entries =
        CollectFolderEntries(searched_->run, searched_->disk, searched_->run.folderTree->TopItem());
    SlowDisk slow(searched_->disk);
    FixedSaveDecisions decisions;
    std::thread swapper([&] {
        fs::rename(destination, opened);
        fs::create_directory_symlink(elsewhere, destination);
    });
    const SaveSummary summary =
        SaveEntries(searched_->run, slow, entries, *folder, destination.string(), decisions);
    swapper.join();
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_GT(summary.saved, 0u);
    EXPECT_EQ(WalkFolder(opened).files, summary.saved + summary.incomplete);
}

// Someone who can write in the destination swaps every new entry for a link and plants links
// under the names a saver may use (the old fixed temporary names among them) while a whole
// volume is saved: nothing outside the destination changes, and no file counted as saved is a
// link.
TEST(RecoveredSave, LinksPlantedWhileSavingLeadNowhere) {
    for (const auto& [imageName, fsName] :
         {std::pair{"fat16.img", "FAT16"}, std::pair{"ntfs.img", "NTFS"}}) {
        SCOPED_TRACE(fsName);
        const std::string image = FixtureImage(imageName);
        if (image.empty()) {
            GTEST_SKIP() << "the fixture images were not made";
        }
        SearchedImage searched(image, fsName);
        const fs::path scratch = ScratchFolder(std::string("race_") + fsName);
        const fs::path destination = scratch / "destination";
        const fs::path outside = scratch / "outside.txt";
        const fs::path outsideFolder = scratch / "outside";
        fs::create_directory(destination);
        fs::create_directory(outsideFolder);
        std::ofstream(outside) << "not to be touched";
        const auto entries =
            CollectFolderEntries(searched.run, searched.disk, searched.run.folderTree->TopItem());
        std::vector<std::string> guesses;
        for (int n = 1; n <= 64; ++n) {
            guesses.push_back(".lumarest-save-" + std::to_string(::getpid()) + "-" +
                              std::to_string(n) + ".part");
        }
        for (const SaveEntry& entry : entries) {
            if (entry.relativePath.find('/') == std::string::npos) {
                guesses.push_back(entry.relativePath);
            }
        }
        FixedSaveDecisions decisions;
        SaveSummary summary;
        std::size_t swapped = 0;
        {
            LinkPlanter planter(destination, outside, outsideFolder, guesses);
            SlowDisk slow(searched.disk);
            summary = SaveEntries(searched.run, slow, entries, destination.string(), decisions);
            swapped = planter.Swapped();
        }
        EXPECT_GT(swapped, 0u);
        EXPECT_EQ(FileText(outside), "not to be touched");
        EXPECT_TRUE(fs::is_empty(outsideFolder));
        const auto walk = WalkFolder(destination);
        EXPECT_TRUE(walk.allInside);
        EXPECT_EQ(walk.files, summary.saved + summary.incomplete);
        EXPECT_TRUE(searched.guard.Unchanged());
    }
}

// Random names as a damaged disk may hold them (separators, dots, NUL, control characters,
// long and broken UTF-8) each become one plain name, and a tree saved under them stays inside
// the destination, with no link and nothing beside it.
TEST_F(ClashSave, RandomNamesStayInsideTheDestination) {
    std::mt19937 random(20261209);
    const std::vector<std::string> pieces = {
        "/",    "..",       ".",  std::string(1, '\0'), "\n", "\x1b",
        "\x7f", "\xC2\x85", "写", "\xF0\x9F\x8E\x89",   "a",  " ",
        "\xFF", "\x80"};
    const auto randomName = [&] {
        std::string name;
        const std::size_t count = random() % 8 == 0 ? 100 + random() % 200 : random() % 12;
        for (std::size_t i = 0; i < count; ++i) {
            name += random() % 2 == 0 ? pieces[random() % pieces.size()]
                                      : std::string(1, static_cast<char>(random() % 256));
        }
        return name;
    };
    for (int i = 0; i < 3000; ++i) {
        const std::string name = randomName();
        ASSERT_TRUE(IsPlainSavedName(SafeNamePart(name))) << Bytes(name);
    }

    RecoveryRun& run = searched_->run;
    TreeModel& tree = *run.folderTree;
    std::vector<TreeItem> folders{tree.InsertItem(tree.TopItem(), randomName(), 4, 4)};
    for (int i = 0; i < 60; ++i) {
        folders.push_back(tree.InsertItem(folders[random() % folders.size()], randomName(), 4, 4));
    }
    // Deeper than the saving keeps folders open at once.
    for (int i = 0; i < 80; ++i) {
        folders.push_back(tree.InsertItem(folders.back(), "deep", 4, 4));
    }
    // A folder without a node lists the root's files; each also gets files of random names.
    auto entries = CollectFolderEntries(run, searched_->disk, folders.front());
    std::optional<FileRef> fileRow;
    std::vector<std::string> folderPaths;
    for (const SaveEntry& entry : entries) {
        if (entry.folder) {
            folderPaths.push_back(entry.relativePath);
        } else {
            fileRow = entry.file;
        }
    }
    ASSERT_EQ(folderPaths.size(), folders.size());
    ASSERT_TRUE(fileRow);
    for (const std::string& folder : folderPaths) {
        for (int i = 0; i < 2; ++i) {
            entries.push_back({folder + "/" + SafeNamePart(randomName()), false, *fileRow});
        }
    }
    const fs::path scratch = ScratchFolder("random_names");
    fs::create_directory(scratch / "destination");
    FixedSaveDecisions decisions;
    const SaveSummary summary =
        SaveEntries(run, searched_->disk, entries, (scratch / "destination").string(), decisions);
    EXPECT_EQ(summary.failed, 0u);
    const auto walk = WalkFolder(scratch / "destination");
    EXPECT_TRUE(walk.allInside);
    EXPECT_TRUE(walk.links.empty());
    EXPECT_EQ(walk.folders, folders.size());
    EXPECT_EQ(walk.files, summary.saved + summary.incomplete);
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch), fs::directory_iterator()), 1);
}

// The volumes of make_saved_times_images.sh, made once per build folder; empty when missing.
std::string TimesImage(const std::string& name) {
    static const bool made = [] {
        const std::string command =
            "bash " +
            ShellQuoted(std::string(LUMAREST_SOURCE_DIR) +
                        "/tests/volume/make_saved_times_images.sh") +
            " " + ShellQuoted(std::string(LUMAREST_FIXTURE_DIR) + "/saved_times") +
            " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }();
    const fs::path path = fs::path(LUMAREST_FIXTURE_DIR) / "saved_times" / name;
    return made && fs::exists(path) ? path.string() : std::string();
}

// Each path's modification time as The Sleuth Kit reads it (its stored time on NTFS, not the
// name's), FAT times taken as UTC.
std::map<std::string, std::int64_t> SleuthTimes(const std::string& image) {
    std::map<std::string, std::int64_t> times;
    for (const testing::FlsBodyLine& line :
         testing::ParseFlsBody(testing::FlsOutput(image, "-r -p -m '' -z UTC"))) {
        if (!line.fileNameTimes) {
            times.emplace(line.path, line.modified);
        }
    }
    return times;
}

struct SavedTimes {
    std::int64_t modified = 0;
    std::int64_t accessed = 0;
};

SavedTimes TimesOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return {info.st_mtim.tv_sec, info.st_atim.tv_sec};
}

// FAT times are the writer's wall-clock time: the tests read them in UTC, as the images were
// written.
class UtcZone : public ::testing::Environment {
  public:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
};
[[maybe_unused]] const auto* const kUtcZone = ::testing::AddGlobalTestEnvironment(new UtcZone);

struct TimesCase {
    const char* image;
    const char* fsName;
    const char* badTimeFile;  // its stored time does not convert
};

class SavedTimesTest : public ::testing::TestWithParam<TimesCase> {};

// Files and folders keep their last-write time, folders after everything inside them was
// written; a time that does not convert leaves the file as written now, and the file is saved.
TEST_P(SavedTimesTest, KeepTheVolumesLastWriteTimes) {
    const TimesCase& param = GetParam();
    const std::string image = TimesImage(param.image);
    if (image.empty()) {
        GTEST_SKIP() << param.image << " was not made (mtools, or FUSE for NTFS, missing)";
    }
    SearchedImage searched(image, param.fsName);
    const fs::path destination = ScratchFolder(std::string("times_") + param.fsName);
    const auto before = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    FixedSaveDecisions decisions;
    const SaveSummary summary = searched.SaveTree(destination, decisions);
    EXPECT_EQ(summary.failed, 0u);
    EXPECT_EQ(summary.deleted, 1u);

    // Looked up by name, never listed or read: that would change their access times.
    const auto sleuth = SleuthTimes(image);
    std::size_t compared = 0;
    for (const auto& [path, modified] : sleuth) {
        if (path == param.badTimeFile || !fs::exists(destination / path)) {
            continue;
        }
        SCOPED_TRACE(path);
        const SavedTimes times = TimesOf(destination / path);
        EXPECT_EQ(times.modified, modified);
        EXPECT_EQ(times.accessed, modified);
        ++compared;
    }
    // Album, Inner, their three files (the deleted one too) and the root's photo.
    EXPECT_TRUE(sleuth.empty() || compared == 6u) << compared;
    ASSERT_TRUE(fs::exists(destination / param.badTimeFile));
    EXPECT_GE(TimesOf(destination / param.badTimeFile).modified, before);
    EXPECT_TRUE(searched.guard.Unchanged());
}

INSTANTIATE_TEST_SUITE_P(Volumes, SavedTimesTest,
                         ::testing::Values(TimesCase{"times_fat.img", "FAT16", "BADDATE.TXT"},
                                           TimesCase{"times_ntfs.img", "NTFS", "old.txt"}),
                         [](const auto& info) { return std::string(info.param.fsName); });

// Saving Root leaves the file system's own files and $Extend out, ticked or chosen as a folder;
// "Save All" rows leave them out too; $MFT chosen as a row, or $Extend as the folder to save,
// is saved.
TEST(VolumeOwnFiles, LeftOutOfFolderSavesButSavedWhenChosen) {
    const std::string image = TimesImage("times_ntfs.img");
    if (image.empty()) {
        GTEST_SKIP() << "the NTFS volume was not made (no FUSE here)";
    }
    SearchedImage searched(image, "NTFS");
    RecoveryRun& run = searched.run;
    const auto hasVolumeOwn = [](const std::vector<SaveEntry>& entries) {
        for (const SaveEntry& entry : entries) {
            if (entry.relativePath.starts_with("$")) {
                return true;
            }
        }
        return false;
    };
    const auto root = CollectFolderEntries(run, searched.disk, run.folderTree->TopItem());
    EXPECT_FALSE(hasVolumeOwn(root));
    std::set<std::string> rootPaths;
    for (const SaveEntry& entry : root) {
        rootPaths.insert(entry.relativePath);
    }
    EXPECT_TRUE(rootPaths.contains("old.txt"));
    EXPECT_TRUE(rootPaths.contains("Album/Inner/NOTE.TXT"));
    ToggleCheck(*run.folderTree, run.folderTree->TopItem());
    EXPECT_FALSE(hasVolumeOwn(CollectCheckedEntries(run, searched.disk)));

    const TreeItem extend = searched.Item("$Extend");
    ASSERT_NE(extend, kNoItem);
    const auto chosenExtend = CollectFolderEntries(run, searched.disk, extend);
    ASSERT_FALSE(chosenExtend.empty());
    EXPECT_EQ(chosenExtend.front().relativePath, "$Extend");

    std::optional<FileRef> mft;
    for (const auto& [row, file] : testing::VolumeFiles(run, searched.disk, kNtfsRootId)) {
        const bool volumeOwn = row.name.starts_with("$");
        EXPECT_EQ(IsVolumeOwnRow(run, searched.disk, file), volumeOwn) << row.name;
        if (row.name == "$MFT") {
            mft = file;
        }
    }
    FileRef extendRow;
    extendRow.folderItem = extend;
    EXPECT_TRUE(IsVolumeOwnRow(run, searched.disk, extendRow));
    extendRow.folderItem = searched.Item("Album");
    EXPECT_FALSE(IsVolumeOwnRow(run, searched.disk, extendRow));

    ASSERT_TRUE(mft.has_value());
    const fs::path single = ScratchFolder("volume_own_row");
    FixedSaveDecisions decisions;
    EXPECT_EQ(
        SaveEntries(run, searched.disk, {FileRowEntry("$MFT", *mft)}, single.string(), decisions)
            .saved,
        1u);
    EXPECT_GT(mft->size, 0u);
    EXPECT_EQ(fs::file_size(single / "$MFT"), mft->size);
    EXPECT_TRUE(searched.guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

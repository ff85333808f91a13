#include "carving/carved_file_saver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "carving/carved_file_resave.h"
#include "carving/collecting_sink.h"
#include "carving/whole_disk.h"
#include "core/memory_disk.h"
#include "support/link_planter.h"
#include "support/loop_mount.h"
#include "support/recording_reporter.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::CollectingSink;
using testing::LinkPlanter;
using testing::RecordingReporter;
using testing::TempFolder;

TEST(CheckDestinationFolder, RefusesFoldersThatCannotTakeTheFiles) {
    TempFolder temp;
    const std::string folder = temp.Path().string();
    EXPECT_EQ(CheckDestinationFolder(folder, "/nonexistent/disk.img"), std::nullopt);
    EXPECT_THAT(CheckDestinationFolder("", ""),
                ::testing::Optional(::testing::HasSubstr("choose")));
    EXPECT_THAT(
        CheckDestinationFolder(folder + "/missing", ""),
        ::testing::Optional("The destination folder \"" + folder + "/missing\" does not exist."));
    std::ofstream(temp.Path() / "file.txt") << "x";
    EXPECT_THAT(CheckDestinationFolder(folder + "/file.txt", ""),
                ::testing::Optional(::testing::HasSubstr("is not a folder")));
    if (::geteuid() != 0) {
        fs::permissions(temp.Path(), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THAT(CheckDestinationFolder(folder, ""),
                    ::testing::Optional(::testing::HasSubstr("cannot be written to")));
    }
}

// Below /dev, /proc and /sys lie devices and kernel settings, whatever file system is mounted
// there: a memory file system at /dev/shm is refused like /dev itself.
TEST(CheckDestinationFolder, RefusesEverythingBelowTheSystemFolders) {
    for (const char* folder : {"/dev", "/dev/shm", "/proc/self", "/sys/kernel", "/sys/fs/cgroup"}) {
        if (!fs::is_directory(folder)) {
            continue;
        }
        EXPECT_THAT(CheckDestinationFolder(folder, ""),
                    ::testing::Optional(::testing::HasSubstr("is a system folder")))
            << folder;
    }
}

// The destination's path swapped for a link to another folder (standing in for a mount of the
// searched image) after the check, while files are saved: every file lands in the folder that
// was checked, and the other folder stays as it was.
TEST(SavingSink, WritesIntoTheFolderCheckedWhenItsPathIsSwapped) {
    TempFolder temp;
    const fs::path destination = temp.Path() / "destination";
    const fs::path checked = temp.Path() / "checked";
    const fs::path elsewhere = temp.Path() / "elsewhere";
    fs::create_directories(destination);
    fs::create_directories(elsewhere);
    std::string refusal;
    std::optional<FolderHandle> folder =
        OpenDestinationFolder(destination.string(), "/nonexistent/disk.img", refusal);
    ASSERT_TRUE(folder) << refusal;
    CollectingSink shown;
    RecordingReporter reporter;
    constexpr int kFiles = 40;
    {
        SavingSink saving(std::move(*folder), destination.string(), shown, reporter);
        std::optional<std::thread> swapper;
        for (int i = 0; i < kFiles; ++i) {
            if (i == kFiles / 2) {
                swapper.emplace([&] {
                    fs::rename(destination, checked);
                    fs::create_directory_symlink(elsewhere, destination);
                });
            }
            if (i == kFiles / 2 + 1) {
                swapper->join();
            }
            CarvedFile file;
            file.name = "GNLM" + std::to_string(i) + ".jpg";
            saving.FileFinished(file, std::vector<std::uint8_t>(64 * 1024, 0x5A));
        }
        EXPECT_EQ(saving.SavedCount(), static_cast<std::uint64_t>(kFiles));
    }
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(std::distance(fs::directory_iterator(checked), fs::directory_iterator()), kFiles);
}

TEST(CheckDestinationFolder, AllowsAFolderBesideTheImageBeingSearched) {
    TempFolder temp;
    const fs::path image = temp.Path() / "disk.img";
    std::ofstream(image) << std::string(1024, '\0');
    EXPECT_EQ(CheckDestinationFolder(temp.Path().string(), image.string()), std::nullopt);
}

// A block device tree like the kernel's: sda with partitions sda1 and sda2, sdb whole, and a
// mapped device dm-0 over sdb1... here over sda2, so a folder on it lies on sda.
class FakeSysfs {
  public:
    FakeSysfs() {
        const fs::path root = temp_.Path();
        Disk(root / "devices/pci/block/sda", "8:0");
        Disk(root / "devices/pci/block/sda/sda1", "8:1", true);
        Disk(root / "devices/pci/block/sda/sda2", "8:2", true);
        Disk(root / "devices/pci/block/sdb", "8:16");
        Disk(root / "devices/virtual/block/dm-0", "253:0");
        fs::create_directories(root / "devices/virtual/block/dm-0/slaves");
        fs::create_directory_symlink(root / "devices/pci/block/sda/sda2",
                                     root / "devices/virtual/block/dm-0/slaves/sda2");
        fs::create_directories(root / "dev/block");
        Link("8:0", "devices/pci/block/sda");
        Link("8:1", "devices/pci/block/sda/sda1");
        Link("8:2", "devices/pci/block/sda/sda2");
        Link("8:16", "devices/pci/block/sdb");
        Link("253:0", "devices/virtual/block/dm-0");
    }
    std::string Root() const { return temp_.Path().string(); }

  private:
    void Disk(const fs::path& folder, const std::string& number, bool partition = false) {
        fs::create_directories(folder);
        std::ofstream(folder / "dev") << number << "\n";
        if (partition) {
            std::ofstream(folder / "partition") << "1\n";
        }
    }
    void Link(const std::string& number, const std::string& target) {
        fs::create_directory_symlink(temp_.Path() / target, temp_.Path() / "dev/block" / number);
    }
    TempFolder temp_;
};

TEST(WholeDisk, ResolvesPartitionsAndMappedDevicesToTheirDisks) {
    FakeSysfs sysfs;
    EXPECT_THAT(WholeDisksOf(8, 1, sysfs.Root()), ::testing::ElementsAre("8:0"));
    EXPECT_THAT(WholeDisksOf(8, 0, sysfs.Root()), ::testing::ElementsAre("8:0"));
    EXPECT_THAT(WholeDisksOf(253, 0, sysfs.Root()), ::testing::ElementsAre("8:0"));
    EXPECT_TRUE(WholeDisksOf(0, 42, sysfs.Root()).empty());  // a memory file system
}

TEST(SavingSink, WritesEachFileUnderItsNameAndReportsAFailureOnce) {
    TempFolder temp;
    CollectingSink shown;
    RecordingReporter reporter;
    SavingSink saving(temp.Path().string(), shown, reporter);
    CarvedFile file;
    file.name = "GNLM00001.jpg";
    saving.FileFinished(file, std::vector<std::uint8_t>(1024, 0x5A));
    file.name = "GNLM00002/../x.jpg";  // an extension with a slash stays inside the folder
    saving.FileFinished(file, std::vector<std::uint8_t>(512, 1));
    EXPECT_EQ(saving.SavedCount(), 2u);
    EXPECT_EQ(fs::file_size(temp.Path() / "GNLM00001.jpg"), 1024u);
    EXPECT_TRUE(fs::exists(temp.Path() / "GNLM00002_.._x.jpg"));
    ASSERT_EQ(shown.entries.size(), 2u);
    EXPECT_EQ(shown.entries[0].file.savedPath, (temp.Path() / "GNLM00001.jpg").string());
    EXPECT_EQ(shown.entries[0].bytes.size(), 1024u);

    // A second search into the same folder keeps the files of the first.
    file.name = "GNLM00001.jpg";
    saving.FileFinished(file, std::vector<std::uint8_t>(512, 3));
    saving.FileFinished(file, std::vector<std::uint8_t>(512, 4));
    EXPECT_EQ(fs::file_size(temp.Path() / "GNLM00001.jpg"), 1024u);
    EXPECT_EQ(shown.entries[3].file.savedPath, (temp.Path() / "GNLM00001 (3).jpg").string());
    EXPECT_EQ(fs::file_size(temp.Path() / "GNLM00001 (2).jpg"), 512u);

    SavingSink broken((temp.Path() / "gone").string(), shown, reporter);
    file.name = "GNLM00003.jpg";
    broken.FileFinished(file, std::vector<std::uint8_t>(512, 2));
    broken.FileFinished(file, std::vector<std::uint8_t>(512, 2));
    EXPECT_EQ(broken.SavedCount(), 0u);
    EXPECT_EQ(shown.entries.size(), 6u);  // still shown, not saved
    EXPECT_EQ(shown.entries[5].file.savedPath, "");
    EXPECT_THAT(reporter.Messages(),
                ::testing::ElementsAre(::testing::HasSubstr("Could not save \"GNLM00003.jpg\"")));
}

// A file the folder's disk has no room for ends the saving with one message, whole or in pieces,
// found now or saved again from an earlier search; the files saved before stay, nothing
// half-written is left, and every file is still shown.
TEST(SavingSink, StopsSavingWhenTheFolderHasNoRoomLeft) {
    if (!testing::CanMakeLoopDevices()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    constexpr std::size_t kSmall = 8 * 1024;
    constexpr std::size_t kLarge = 1 << 20;
    TempFolder temp;
    const auto names = [](const std::string& folder) {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder)) {
            found.push_back(entry.path().filename().string());
        }
        return found;
    };
    {
        const testing::MountedFolder small("mount -t tmpfs -o size=64k tmpfs",
                                           (temp.Path() / "found").string());
        ASSERT_TRUE(small.Mounted());
        CollectingSink shown;
        RecordingReporter reporter;
        SavingSink saving(small.Folder(), shown, reporter);
        CarvedFile file;
        file.name = "GNLM00001.jpg";
        saving.FileFinished(file, std::vector<std::uint8_t>(kSmall, 1));
        file.name = "GNLM00002.jpg";
        saving.FileFinished(file, std::vector<std::uint8_t>(kLarge, 2));
        file.name = "GNLM00003.jpg";
        saving.FileFinished(file, std::vector<std::uint8_t>(16, 3));
        file.name = "GNLM00004.jpg";
        const std::vector<std::uint8_t> piece(16, 4);
        saving.FileSpilled(file, piece);
        saving.FileFinished(file, piece);
        EXPECT_EQ(saving.SavedCount(), 1u);
        EXPECT_EQ(shown.entries.size(), 4u);
        EXPECT_THAT(names(small.Folder()), ::testing::ElementsAre("GNLM00001.jpg"));
        EXPECT_THAT(reporter.Messages(), ::testing::ElementsAre(::testing::HasSubstr(
                                             "There is not enough free space in \"" +
                                             small.Folder() + "\" to save \"GNLM00002.jpg\"")));
    }
    {
        const testing::MountedFolder small("mount -t tmpfs -o size=64k tmpfs",
                                           (temp.Path() / "again").string());
        ASSERT_TRUE(small.Mounted());
        MemoryDisk disk(std::vector<std::uint8_t>(2 * kLarge, 7));
        std::vector<CarvedFile> files(3);
        const std::uint64_t sizes[] = {kSmall, kLarge, 16};
        for (std::size_t i = 0; i < files.size(); ++i) {
            files[i].name = "GNLM0000" + std::to_string(i + 1) + ".jpg";
            files[i].bytes = sizes[i];
        }
        int error = 0;
        std::optional<FolderHandle> folder = FolderHandle::Open(small.Folder(), error);
        ASSERT_TRUE(folder) << std::strerror(error);
        const ResaveSummary summary =
            ResaveCarvedFiles(files, disk, std::move(*folder), small.Folder(), nullptr, {});
        EXPECT_EQ(summary.saved, 1u);
        EXPECT_TRUE(summary.stopped);
        EXPECT_NE(summary.noRoom.find("GNLM00002.jpg"), std::string::npos) << summary.noRoom;
        EXPECT_THAT(names(small.Folder()), ::testing::ElementsAre("GNLM00001.jpg"));
    }
}

// A file is saved up to its end unless the carved length is asked for; the sink passes on every
// byte it got either way.
TEST(SavingSink, WritesTheSavedLengthOrAllCarvedBytes) {
    struct Case {
        std::uint64_t savedBytes;
        std::size_t given;
        bool keepCarved;
        std::uintmax_t written;
    };
    const Case cases[] = {
        {700, 1024, false, 700},   {700, 1024, true, 1024}, {1024, 1024, false, 1024},
        {700, 700, false, 700},     // read back from the disk at exactly the saved length
        {0, 1024, false, 1024},     // no saved length given: as carved
        {4096, 1024, false, 1024},  // never more than was given
    };
    for (const Case& c : cases) {
        TempFolder temp;
        CollectingSink shown;
        RecordingReporter reporter;
        SavingSink saving(temp.Path().string(), shown, reporter, c.keepCarved);
        CarvedFile file;
        file.name = "GNLM00001.jpg";
        file.bytes = 1024;
        file.savedBytes = c.savedBytes;
        std::vector<std::uint8_t> bytes(c.given);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 7);
        }
        saving.FileFinished(file, bytes);
        const fs::path saved = temp.Path() / "GNLM00001.jpg";
        ASSERT_EQ(fs::file_size(saved), c.written) << c.savedBytes << " " << c.keepCarved;
        std::ifstream in(saved, std::ios::binary);
        const std::vector<std::uint8_t> content((std::istreambuf_iterator<char>(in)), {});
        EXPECT_TRUE(std::equal(content.begin(), content.end(), bytes.begin()));
        ASSERT_EQ(shown.entries.size(), 1u);
        EXPECT_EQ(shown.entries[0].bytes, bytes);
    }
}

// A carved name is one plain name in the destination, control characters and all.
TEST(SavingSink, SavesCarvedNamesAsPlainNames) {
    struct Case {
        std::string name;
        std::string saved;
    };
    const Case cases[] = {
        {"GNLM00001/../x.jpg", "GNLM00001_.._x.jpg"},
        {"..", "_.."},
        {std::string("GNLM\0.jpg", 9), "GNLM_.jpg"},
        {"GNLM\x1b[2J.jpg", "GNLM_[2J.jpg"},
        {"GNLM\r\n.jpg", "GNLM__.jpg"},
        {"GNLM\x7f\xC2\x9B.jpg", "GNLM__.jpg"},
    };
    for (const Case& row : cases) {
        TempFolder temp;
        CollectingSink shown;
        RecordingReporter reporter;
        SavingSink saving(temp.Path().string(), shown, reporter);
        CarvedFile file;
        file.name = row.name;
        saving.FileFinished(file, std::vector<std::uint8_t>(16, 7));
        ASSERT_EQ(shown.entries.size(), 1u) << row.saved;
        EXPECT_EQ(shown.entries[0].file.savedPath, (temp.Path() / row.saved).string());
        EXPECT_EQ(fs::file_size(temp.Path() / row.saved), 16u) << row.saved;
    }
}

// Links planted under the names the sink will use, and swapped in for every file as it is made,
// never lead the carved bytes outside the destination, and no file reported as saved is a link.
TEST(SavingSink, LinksPlantedWhileSavingLeadNowhere) {
    TempFolder temp;
    const fs::path destination = temp.Path() / "destination";
    const fs::path outside = temp.Path() / "outside.bin";
    fs::create_directories(destination);
    fs::create_directories(temp.Path() / "outside");
    std::ofstream(outside) << "not to be touched";
    constexpr int kFiles = 200;
    std::vector<std::string> guesses;
    for (int i = 0; i < kFiles; i += 2) {
        guesses.push_back("GNLM" + std::to_string(i) + ".jpg");
    }
    CollectingSink shown;
    RecordingReporter reporter;
    std::size_t swapped = 0;
    {
        LinkPlanter planter(destination, outside, temp.Path() / "outside", guesses);
        SavingSink saving(destination.string(), shown, reporter);
        for (int i = 0; i < kFiles; ++i) {
            CarvedFile file;
            file.name = "GNLM" + std::to_string(i) + ".jpg";
            saving.FileFinished(file, std::vector<std::uint8_t>(256 * 1024, 0x5A));
        }
        swapped = planter.Swapped();
    }
    EXPECT_GT(swapped, 0u);
    std::ifstream kept(outside);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "not to be touched");
    EXPECT_TRUE(fs::is_empty(temp.Path() / "outside"));
    std::size_t saved = 0;
    for (const auto& entry : shown.entries) {
        if (!entry.file.savedPath.empty()) {
            ++saved;
            EXPECT_FALSE(fs::is_symlink(entry.file.savedPath)) << entry.file.savedPath;
            EXPECT_EQ(fs::file_size(entry.file.savedPath), 256u * 1024u);
        }
    }
    const auto walk = testing::WalkFolder(destination);
    EXPECT_TRUE(walk.allInside);
    EXPECT_EQ(walk.files, saved);
}

}  // namespace
}  // namespace lumarest

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <utility>

#include "cli/cli_app.h"
#include "cli/interrupt_stop.h"
#include "cli_fixture.h"
#include "disk/disk_inventory.h"
#include "support/command_output.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;

// One disk whose device has gone away since it was listed.
class GoneDiskEnumerator : public DiskEnumerator {
  public:
    std::vector<DiskProperties> ListDisks(const RecoveryRun&) override {
        DiskProperties disk;
        disk.index = 0;
        disk.model = "Gone";
        disk.mediaType = "Removable Media";
        disk.totalSectors = 100000;
        disk.devicePath = "/nonexistent/lumarest-gone-disk";
        return {disk};
    }
    bool HasFloppy() const override { return false; }
};

class PartitionsCommandTest : public testing::CliFixture {
  protected:
    std::string Fixture(const std::string& name) {
        const std::string path = testing::FixtureImage(name);
        if (path.empty()) {
            ADD_FAILURE() << name << " was not made: run the fixtures.make_images test first";
        }
        return path;
    }
};

TEST_F(PartitionsCommandTest, PrintsEachListedPartitionOfTheDisk) {
    const std::string image = Fixture("mbr_layout.img");
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    ASSERT_EQ(Run({"--image", image, "partitions", "--disk", "0"}), kExitOk) << err_.str();
    EXPECT_EQ(out_.str(),
              "Disk 0, sectors of 512 bytes:\n"
              "Number  File system  Start sector  End sector    Found in         Item\n"
              "1       FAT32        2048          69632         partition table  Partition - 1 ( "
              "FAT32 )\n"
              "2       FAT32        69632         137216        partition table  Partition - 2 ( "
              "FAT32 )\n"
              "3       NTFS         139264        147456        extended record  Partition - 3 ( "
              "NTFS )\n"
              "4       NTFS         149504        157696        extended record  Partition - 4 ( "
              "NTFS )\n"
              "5       NTFS         159744        167936        extended record  Partition - 5 ( "
              "NTFS )\n");
    EXPECT_EQ(err_.str(), "");
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionsCommandTest, WritesOneJsonDocumentForTheSecondImage) {
    const std::string layout = Fixture("mbr_layout.img");
    const std::string demo = Fixture("demo.img");
    ASSERT_FALSE(layout.empty());
    ASSERT_FALSE(demo.empty());
    testing::ImageGuard guard(demo);
    ASSERT_EQ(Run({"--json", "--image", layout, "partitions", "--image", demo, "--disk", "1"}),
              kExitOk)
        << err_.str();
    const auto document = nlohmann::json::parse(out_.str());
    EXPECT_EQ(document.at("disk"), 1);
    EXPECT_EQ(document.at("sectorBytes"), 512);
    EXPECT_EQ(document.at("tableDamaged"), false);
    const auto& partitions = document.at("partitions");
    ASSERT_EQ(partitions.size(), 3u);
    EXPECT_EQ(partitions[1], nlohmann::json({{"number", 2},
                                             {"fileSystem", "FAT16"},
                                             {"startSector", 71680},
                                             {"endSector", 104448},
                                             {"item", "Partition - 2 ( FAT16 )"},
                                             {"source", "partition table"},
                                             {"pastDiskEnd", false}}));
    EXPECT_EQ(partitions[2].at("fileSystem"), "NTFS");
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionsCommandTest, SaysWhenTheTableLooksDamagedOrListsNothing) {
    // A 1 MiB disk whose one entry starts inside it and claims 4 GiB.
    const fs::path path = folder_ / "small.img";
    {
        std::string bytes(1024 * 1024, '\0');
        bytes[446 + 4] = 0x0C;
        bytes[446 + 8] = 0x01;
        for (int i = 12; i < 16; ++i) {
            bytes[446 + i] = static_cast<char>(0xFF);
        }
        bytes[510] = 0x55;
        bytes[511] = static_cast<char>(0xAA);
        std::ofstream(path, std::ios::binary) << bytes;
    }
    testing::ImageGuard guard(path.string());
    ASSERT_EQ(Run({"partitions", "--disk", "0", "--image", path.string()}), kExitOk);
    EXPECT_NE(out_.str().find("Note: partition 1 ends at sector 4294967296"), std::string::npos)
        << out_.str();
    EXPECT_NE(err_.str().find("may be damaged"), std::string::npos) << err_.str();

    EXPECT_TRUE(guard.Unchanged());

    // Moved past the end, the entry is not listed.
    {
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(446 + 10);
        file.put(0x10);
    }
    ASSERT_EQ(Run({"partitions", "--disk", "0", "--image", path.string()}), kExitOk);
    EXPECT_EQ(out_.str(), "Disk 0: no FAT16, FAT32, NTFS or exFAT partition is listed.\n");
    EXPECT_NE(err_.str().find("may be damaged"), std::string::npos) << err_.str();
    ASSERT_EQ(Run({"--json", "partitions", "--disk", "0", "--image", path.string()}), kExitOk);
    const auto document = nlohmann::json::parse(out_.str());
    EXPECT_EQ(document.at("tableDamaged"), true);
    EXPECT_TRUE(document.at("partitions").empty());
}

TEST_F(PartitionsCommandTest, RefusesUnknownAndUnreadableDisks) {
    EXPECT_EQ(Run({"partitions"}), kExitBadInput);
    EXPECT_EQ(Run({"partitions", "--disk", "-1"}), kExitBadInput);
    EXPECT_EQ(Run({"partitions", "--disk", "x"}), kExitBadInput);
    EXPECT_EQ(Run({"partitions", "--disk", "3"}), kExitBadInput);
    EXPECT_NE(err_.str().find("there is no disk 3"), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty());

    environment_.makeDiskEnumerator = [] { return std::make_unique<GoneDiskEnumerator>(); };
    EXPECT_EQ(Run({"--json", "partitions", "--disk", "0"}), kExitBadInput);
    EXPECT_NE(err_.str().find("/nonexistent/lumarest-gone-disk is not there any more"),
              std::string::npos)
        << err_.str();
    EXPECT_TRUE(out_.str().empty());
}

TEST_F(PartitionsCommandTest, TheOneAttachedImageIsTheDiskWhenNoneIsNamed) {
    const std::string image = Fixture("mbr_layout.img");
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    ASSERT_EQ(Run({"--image", image, "partitions", "--disk", "0"}), kExitOk) << err_.str();
    const std::string named = out_.str();
    ASSERT_EQ(Run({"partitions", "--image", image}), kExitOk) << err_.str();
    EXPECT_EQ(out_.str(), named);
    // With two images the disk must be named.
    const std::string other = Fixture("demo.img");
    ASSERT_FALSE(other.empty());
    EXPECT_EQ(Run({"--image", image, "--image", other, "partitions"}), kExitBadInput);
    EXPECT_NE(err_.str().find("--disk"), std::string::npos);
    EXPECT_EQ(Run({"partitions"}), kExitBadInput);
    EXPECT_TRUE(guard.Unchanged());
}

// A copy of the made three-volume disk with its first sector zeroed.
class PartitionSearchCommandTest : public PartitionsCommandTest {
  protected:
    std::string WipedDisk() {
        const std::string made = testing::MadeImage("tests/partitions/make_partition_images.sh",
                                                    "partitions_test", "three.img");
        if (made.empty()) {
            return {};
        }
        const fs::path wiped = folder_ / "wiped.img";
        fs::copy_file(made, wiped);
        std::fstream file(wiped, std::ios::binary | std::ios::in | std::ios::out);
        file.write(std::string(512, '\0').data(), 512);
        return wiped.string();
    }
};

TEST_F(PartitionSearchCommandTest, ListsWhatTheSearchFoundAndWhere) {
    const std::string image = WipedDisk();
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    ASSERT_EQ(Run({"--image", image, "partitions", "--search"}), kExitOk) << err_.str();
    EXPECT_EQ(out_.str(),
              "Disk 0, sectors of 512 bytes:\n"
              "Number  File system  Start sector  End sector    Found in         Item\n"
              "1       FAT32        63            70047         cylinder search  Partition - 1 ( "
              "FAT32 )\n"
              "2       NTFS         80325         100325        cylinder search  Partition - 2 ( "
              "NTFS )\n"
              "3       FAT16        112518        152518        cylinder search  Partition - 3 ( "
              "FAT16 )\n");

    ASSERT_EQ(Run({"--json", "--image", image, "partitions", "--search"}), kExitOk) << err_.str();
    const auto document = nlohmann::json::parse(out_.str());
    EXPECT_EQ(document.at("search").at("added"), 3);
    EXPECT_EQ(document.at("search").at("stopped"), false);
    EXPECT_EQ(document.at("partitions").at(1).at("source"), "cylinder search");
    EXPECT_EQ(document.at("partitions").at(2).at("endSector"), 152518);
    EXPECT_FALSE(document.contains("item"));
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(PartitionSearchCommandTest, ADiskWithoutBootSectorsEndsWithUnknownPartition) {
    const fs::path path = folder_ / "zeros.img";
    std::ofstream(path).close();
    fs::resize_file(path, 20 * 1024 * 1024);
    ASSERT_EQ(Run({"--image", path.string(), "partitions", "--search"}), kExitOk) << err_.str();
    EXPECT_EQ(out_.str(),
              "Disk 0: no FAT16, FAT32, NTFS or exFAT partition was found.\nUnknown Partition\n");
    ASSERT_EQ(Run({"--json", "--image", path.string(), "partitions", "--search"}), kExitOk);
    const auto document = nlohmann::json::parse(out_.str());
    EXPECT_EQ(document.at("item"), "Unknown Partition");
    EXPECT_TRUE(document.at("partitions").empty());
}

// A list that reached its 26 rows says so below it and in JSON; a shorter one does not.
TEST_F(PartitionsCommandTest, AFullListSaysSo) {
    const char* const kNote = "Note: a disk lists at most 26 partitions";
    for (const auto& [name, full] :
         {std::pair{"many_logicals.img", true}, std::pair{"odd_types.img", false}}) {
        const std::string image = testing::MadeImage("tests/partitions/make_partition_images.sh",
                                                     "partitions_test", name);
        ASSERT_FALSE(image.empty());
        ASSERT_EQ(Run({"--image", image, "partitions"}), kExitOk) << err_.str();
        EXPECT_EQ(out_.str().find(kNote) != std::string::npos, full) << name << '\n' << out_.str();
        ASSERT_EQ(Run({"--json", "--image", image, "partitions"}), kExitOk) << err_.str();
        const auto document = nlohmann::json::parse(out_.str());
        EXPECT_EQ(document.at("listFull"), full) << name;
        EXPECT_EQ(document.at("partitions").size() == 26, full) << name;
    }
}

TEST(InterruptStop, CtrlCAndTermRequestTheStopAndTheHandlersArePutBack) {
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction before {};
        sigaction(signal, nullptr, &before);
        {
            InterruptStop interrupt;
            EXPECT_FALSE(interrupt.Token().stop_requested()) << signal;
            std::raise(signal);
            for (int i = 0; i < 200 && !interrupt.Token().stop_requested(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_TRUE(interrupt.Token().stop_requested()) << signal;
        }
        struct sigaction after {};
        sigaction(signal, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler) << signal;
    }
}

// A sparse 15 TiB image takes the search many seconds; Ctrl+C after one ends it with the
// partition found at its start listed.
TEST_F(PartitionSearchCommandTest, CtrlCStopsTheSearchAndPrintsWhatWasFound) {
    const std::string image = WipedDisk();
    ASSERT_FALSE(image.empty());
    const fs::path big = folder_ / "big.img";
    fs::copy_file(image, big);
    fs::resize_file(big, std::uintmax_t{15} << 40);
    const std::string command = "cd '" + folder_.string() + "' && HOME='" + folder_.string() +
                                "' XDG_CONFIG_HOME='" + (folder_ / "config").string() +
                                "' timeout --preserve-status -s INT 1 '" LUMAREST_BIN_DIR
                                "/lumarest-cli' --image big.img partitions --search 2>err.txt; "
                                "echo status $?; cat err.txt";
    const std::string out = testing::CommandOutput(command);
    fs::remove(big);
    EXPECT_NE(out.find("1       FAT32        63            70047         cylinder search"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("status 0"), std::string::npos) << out;
    EXPECT_NE(out.find("the partition search was stopped"), std::string::npos) << out;
}

}  // namespace
}  // namespace lumarest

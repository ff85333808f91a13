#include "disk/disk_inventory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "core/recovery_run.h"
#include "disk/disk_test_files.h"
#include "disk/logical_sector_size.h"
#include "disk/parameter_store.h"
#include "support/image_guard.h"
#include "support/made_images.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::WriteText;

std::string ThisHost() {
    char name[256] = {};
    ::gethostname(name, sizeof(name) - 1);
    return name;
}

// A made-up /sys/block and udev database: a USB stick, an NVMe disk, a SATA disk, a card
// and the block devices that are not disks.
class FakeSystem {
  public:
    explicit FakeSystem(const TempFolder& folder)
        : sysBlock_(folder.Path() / "sys" / "block"), udev_(folder.Path() / "udev") {
        fs::create_directories(sysBlock_);
        fs::create_directories(udev_);
        const fs::path usb =
            Device("pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sda");
        Disk(usb, "sda", "7831552", "1", "8:0");
        WriteText((usb / "device" / "vendor").string(), "SanDisk \n");
        WriteText((usb / "device" / "model").string(), "Cruzer Blade    \n");
        WriteText((usb / "device" / "rev").string(), "1.00\n");
        WriteText((udev_ / "b8:0").string(),
                  "S:disk/by-id/usb-SanDisk\nE:ID_BUS=usb\nE:ID_SERIAL_SHORT=4C530001\n"
                  "E:ID_REVISION=1.26\nE:ID_PATH=pci-0000:00:14.0-usb-0:1:1.0-scsi-0:0:0:0\n");

        const fs::path sata =
            Device("pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sdb");
        Disk(sata, "sdb", "1953525168", "0", "8:16");
        WriteText((sata / "device" / "vendor").string(), "ATA     \n");
        WriteText((sata / "device" / "model").string(), "WDC WD10EZEX\n");

        const fs::path nvme = Device("pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1");
        Disk(nvme, "nvme0n1", "1000215216", "0", "259:0");
        WriteText((nvme / "device" / "model").string(), "Samsung SSD 970 EVO 500GB\n");
        WriteText((nvme / "device" / "serial").string(), "S4EWNX0M\n");
        WriteText((nvme / "device" / "firmware_rev").string(), "2B2QEXE7\n");
        fs::create_directories(nvme / "queue");
        WriteText((nvme / "queue" / "logical_block_size").string(), "4096\n");

        const fs::path card = Device("platform/mmc0/mmc0:0001/block/mmcblk0");
        Disk(card, "mmcblk0", "62333952", "0", "179:0");
        WriteText((card / "device" / "name").string(), "SD32G\n");

        for (const char* other :
             {"loop0", "sr0", "ram0", "zram0", "dm-0", "md0", "mmcblk0boot0", "nvme0c0n1"}) {
            Disk(Device(std::string("virtual/block/") + other), other, "2048", "0", "7:0");
        }
    }

    SystemDiskEnumerator Enumerator(const std::string& floppy) const {
        return SystemDiskEnumerator(sysBlock_.string(), udev_.string(), floppy);
    }

  private:
    fs::path Device(const std::string& where) {
        const fs::path folder = sysBlock_.parent_path() / "devices" / where;
        fs::create_directories(folder / "device");
        return folder;
    }
    void Disk(const fs::path& folder, const std::string& name, const std::string& size,
              const std::string& removable, const std::string& majorMinor) {
        WriteText((folder / "size").string(), size + "\n");
        WriteText((folder / "removable").string(), removable + "\n");
        WriteText((folder / "dev").string(), majorMinor + "\n");
        fs::create_directory_symlink(folder, sysBlock_ / name);
    }

    fs::path sysBlock_;
    fs::path udev_;
};

class InventoryTest : public ::testing::Test {
  protected:
    TempFolder folder{"inventory"};
    FakeSystem system{folder};
    RecoveryRun run;
    testing::RecordingReporter reporter;
    std::string noFloppy = folder.File("no-fd0");

    std::string OddImage() {
        const std::string path = folder.File("card.dd");
        testing::WriteBytes(path, std::vector<std::uint8_t>(16065 * 512 + 100, 0));
        return path;
    }
};

TEST_F(InventoryTest, WholeDisksSortedByNameThenImagesFillTheSlots) {
    const std::string image = OddImage();
    testing::ImageGuard guard(image);
    ASSERT_FALSE(AttachImage(run, image));
    SystemDiskEnumerator disks = system.Enumerator(noFloppy);
    const auto listed = disks.ListDisks(run);
    ASSERT_EQ(listed.size(), 5u);
    const std::vector<std::string> expected = {"/dev/mmcblk0", "/dev/nvme0n1", "/dev/sda",
                                               "/dev/sdb", image};
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].index, i);
        EXPECT_EQ(listed[i].devicePath, expected[i]);
    }
    FillDriveTable(run, listed);
    EXPECT_EQ(run.physicalDriveTable[4], image);
    EXPECT_TRUE(run.physicalDriveTable[5].empty());
    EXPECT_FALSE(disks.HasFloppy());
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(InventoryTest, PropertiesComeFromUdevAndSysfs) {
    const std::string image = OddImage();
    ASSERT_FALSE(AttachImage(run, image));
    SystemDiskEnumerator disks = system.Enumerator(noFloppy);
    const auto listed = disks.ListDisks(run);
    ASSERT_EQ(listed.size(), 5u);

    const DiskProperties& usb = listed[2];
    EXPECT_EQ(usb.mediaType, "Removable Media");
    EXPECT_EQ(usb.model, "SanDisk Cruzer Blade");
    EXPECT_EQ(usb.interfaceType, "USB");
    EXPECT_EQ(usb.totalSectors, 7831552u);
    EXPECT_EQ(usb.totalCylinders, 7831552u / 16065);
    EXPECT_EQ(usb.totalHeads, 255u);
    EXPECT_EQ(usb.sectorsPerTrack, 63u);
    EXPECT_EQ(usb.bytesPerSector, 512u);
    EXPECT_EQ(usb.firmwareRevision, "1.26");  // udev before sysfs
    EXPECT_EQ(usb.pnpDeviceId, "pci-0000:00:14.0-usb-0:1:1.0-scsi-0:0:0:0");
    EXPECT_EQ(usb.serialNumber, "4C530001");
    EXPECT_EQ(usb.systemName, ThisHost());
    EXPECT_EQ(usb.deviceId, "/dev/sda");

    const DiskProperties& sata = listed[3];
    EXPECT_EQ(sata.mediaType, "Fixed hard disk media");
    EXPECT_EQ(sata.model, "WDC WD10EZEX");
    EXPECT_EQ(sata.interfaceType, "ATA");
    EXPECT_EQ(sata.pnpDeviceId, "");

    const DiskProperties& nvme = listed[1];
    EXPECT_EQ(nvme.interfaceType, "NVMe");
    EXPECT_EQ(nvme.serialNumber, "S4EWNX0M");
    EXPECT_EQ(nvme.firmwareRevision, "2B2QEXE7");
    EXPECT_EQ(listed[0].interfaceType, "MMC");
    EXPECT_EQ(listed[0].model, "SD32G");

    const DiskProperties& file = listed[4];
    EXPECT_EQ(file.mediaType, "Disk image file");
    EXPECT_EQ(file.model, "card.dd");
    EXPECT_EQ(file.interfaceType, "File");
    EXPECT_EQ(file.totalSectors, 16066u);  // the partial sector counts
    EXPECT_EQ(file.totalCylinders, 1u);
    EXPECT_EQ(file.deviceId, image);
    EXPECT_TRUE(file.isImage);
}

// Each disk's logical sector size: from sysfs for a device, from the content for an image.
// Sizes stay in 512-byte sectors; the geometry and the shown sector count are in the disk's.
TEST_F(InventoryTest, LogicalSectorSizeOfDevicesAndImages) {
    struct Case {
        const char* name;
        std::string path;
        std::uint32_t bytesPerSector;
    };
    const auto made = [](const char* name) {
        return testing::MadeImage("tests/support/make_large_sector_images.sh", "large_sectors",
                                  name);
    };
    const std::vector<Case> cases = {
        {"device without the attribute", "/dev/sda", 512},
        {"device of 4096-byte sectors", "/dev/nvme0n1", 4096},
        {"GPT header at byte 4096", made("gpt_4k.img"), 4096},
        {"volume of 4096-byte sectors alone", made("vol_f32_4k.img"), 4096},
        {"MBR disk holding a 4096-byte-sector volume", made("f32_4k.img"), 512},
        {"empty image", OddImage(), 512},
    };
    std::vector<std::unique_ptr<testing::ImageGuard>> guards;
    for (const Case& c : cases) {
        if (!c.path.starts_with("/dev/")) {
            guards.push_back(std::make_unique<testing::ImageGuard>(c.path));
            ASSERT_FALSE(AttachImage(run, c.path)) << c.name;
        }
    }
    SystemDiskEnumerator disks = system.Enumerator(noFloppy);
    const auto listed = disks.ListDisks(run);
    for (const Case& c : cases) {
        const auto disk = std::find_if(listed.begin(), listed.end(), [&](const DiskProperties& d) {
            return d.devicePath == c.path;
        });
        ASSERT_NE(disk, listed.end()) << c.name;
        EXPECT_EQ(disk->bytesPerSector, c.bytesPerSector) << c.name;
        const std::uint64_t ownSectors = disk->totalSectors / (c.bytesPerSector / 512);
        EXPECT_EQ(SectorsInDiskUnit(*disk), ownSectors) << c.name;
        EXPECT_EQ(disk->totalCylinders, ownSectors / 16065) << c.name;
        ASSERT_TRUE(ShowDiskDetails(run, disks, disk->index)) << c.name;
        EXPECT_EQ(run.detailsList.Cell(6, 1), std::to_string(ownSectors)) << c.name;
        EXPECT_EQ(run.detailsList.Cell(7, 1), std::to_string(c.bytesPerSector)) << c.name;
        EXPECT_EQ(run.shownDisk.totalSectors, disk->totalSectors) << c.name;
        EXPECT_EQ(run.shownDisk.logicalSectorBytes, c.bytesPerSector) << c.name;
    }
    for (const auto& guard : guards) {
        EXPECT_TRUE(guard->Unchanged()) << guard->Path();
    }
}

TEST(DeviceLogicalSectorBytes, TakesOnlySizesTheReaderKnows) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"512", 512}, {"4096", 4096}, {"2048", 2048}, {"", 512},      {"8192", 512},
        {"256", 512}, {"3000", 512},  {"4096 ", 512}, {"-4096", 512},
    };
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(DeviceLogicalSectorBytes(text), bytes) << "'" << text << "'";
    }
}

TEST(DiskItemText, NamesTheMediaAndTheDiskNumber) {
    DiskProperties disk;
    disk.index = 0;
    disk.mediaType = "Fixed hard disk media";
    EXPECT_EQ(DiskItemText(disk), "Fixed hard disk media (Disk0)");
    disk.index = 2;
    disk.mediaType = "Removable media other than floppy";
    EXPECT_EQ(DiskItemText(disk), "Removable Media (Disk2)");
}

TEST(CapacityMb, IsTheDisksTrueSize) {
    struct Case {
        std::uint64_t totalSectors;
        std::int64_t megabytes;
    };
    // A 12 MiB image is one and a half cylinders: all of it counts. A 40 TB disk needs 64 bits.
    for (const Case c : {Case{24576, 12}, Case{16450560, 8032}, Case{16066, 7}, Case{0, 0},
                         Case{78125000000, 38146972}}) {
        DiskProperties disk;
        disk.totalSectors = c.totalSectors;
        disk.totalCylinders = c.totalSectors / 16065;
        EXPECT_EQ(CapacityMb(disk), c.megabytes) << c.totalSectors;
    }
}

class FakeEnumerator : public DiskEnumerator {
  public:
    std::vector<DiskProperties> disks;
    bool floppy = false;
    std::vector<DiskProperties> ListDisks(const RecoveryRun&) override { return disks; }
    bool HasFloppy() const override { return floppy; }
};

TEST(ShowDiskDetails, FourteenRowsWithTheCapacityFromTheGeometry) {
    FakeEnumerator disks;
    DiskProperties disk;
    disk.index = 1;
    disk.model = "Old Disk";
    disk.mediaType = "Fixed hard disk media";
    disk.interfaceType = "ATA";
    disk.totalCylinders = 1024;
    disk.totalHeads = 255;
    disk.sectorsPerTrack = 63;
    disk.bytesPerSector = 512;
    disk.totalSectors = 16450560;
    disk.deviceId = "/dev/sdb";
    disks.disks = {DiskProperties{}, disk};

    RecoveryRun run;
    ASSERT_TRUE(ShowDiskDetails(run, disks, 1));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"1. Model :", "Old Disk"},      {"2. MediaType :", "Fixed hard disk media"},
        {"3. Interface Type :", "ATA"},  {"4. Capacity(size) :", "8032 MB"},
        {"5. Cylinders :", "1024"},      {"6. Heads :", "255"},
        {"7. Sectors :", "16450560"},    {"8. Bytes per Sector :", "512"},
        {"9. Sector per Track :", "63"}, {"10. Firmware Revision ID :", ""},
        {"11. PNP Device ID :", ""},     {"12. Serial Number :", ""},
        {"13. System Name :", ""},       {"14. Physical Device ID :", "/dev/sdb"},
    };
    ASSERT_EQ(run.detailsList.RowCount(), expected.size());
    for (std::size_t row = 0; row < expected.size(); ++row) {
        EXPECT_EQ(run.detailsList.Cell(row, 0), expected[row].first);
        EXPECT_EQ(run.detailsList.Cell(row, 1), expected[row].second);
    }
    EXPECT_EQ(run.shownDisk.capacityText, "8032 MB");
    EXPECT_EQ(run.shownDisk.totalSectors, 16450560u);
    EXPECT_EQ(run.shownDisk.totalSectorsText, "16450560");
    EXPECT_EQ(run.shownDisk.diskMaximum, 16450560);
    EXPECT_EQ(run.shownDisk.model, "Old Disk");
    EXPECT_EQ(run.shownDisk.cylinders, "1024");

    EXPECT_FALSE(ShowDiskDetails(run, disks, 7));
    EXPECT_TRUE(run.detailsList.Empty());
}

TEST(ShowDiskDetails, SliderMaximumHoldsAtTheLargest32BitValue) {
    FakeEnumerator disks;
    DiskProperties disk;
    disk.totalSectors = 3907029168;  // 2 TB
    disks.disks = {disk};
    RecoveryRun run;
    ASSERT_TRUE(ShowDiskDetails(run, disks, 0));
    EXPECT_EQ(run.shownDisk.diskMaximum, 2147483647);
    EXPECT_EQ(run.shownDisk.totalSectors, 3907029168u);
}

TEST_F(InventoryTest, RefreshListsTheDisksUnderMyComputerSortedByText) {
    const std::string floppy = folder.File("fd0");
    WriteText(floppy, "");
    const std::string image = OddImage();
    ASSERT_FALSE(AttachImage(run, image));
    SystemDiskEnumerator disks = system.Enumerator(floppy);
    ParameterStore store(folder.File("config/LMRDSK_param_E.ini"));
    run.accessMode = 'F';

    RefreshInventory(run, disks, store, reporter);
    RefreshInventory(run, disks, store, reporter);  // a refresh never doubles the list

    EXPECT_EQ(run.accessMode, 'N');
    ASSERT_TRUE(run.diskTree);
    const TreeModel& tree = *run.diskTree;
    const TreeItem top = tree.TopItem();
    EXPECT_EQ(tree.Text(top), "My Computer");
    EXPECT_EQ(tree.Image(top), 2);
    EXPECT_TRUE(tree.IsExpanded(top));
    std::vector<std::string> texts;
    for (TreeItem item : tree.Children(top)) {
        texts.push_back(tree.Text(item));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "1.44\" Floppy", "Disk image file (Disk4)",
                         "Fixed hard disk media (Disk0)", "Fixed hard disk media (Disk1)",
                         "Fixed hard disk media (Disk3)", "Removable Media (Disk2)"}));
    EXPECT_EQ(run.floppyPath, floppy);
    EXPECT_EQ(run.physicalDriveTable[2], "/dev/sda");
    EXPECT_EQ(run.physicalDriveTable[4], image);
    EXPECT_TRUE(reporter.Messages().empty());

    EXPECT_EQ(store.Value(kModelKey, "Disk2"), "SanDisk Cruzer Blade");
    EXPECT_EQ(store.Value(kCylinderKey, "Disk4"), "1");
    EXPECT_EQ(store.Value(kHeadKey, "Disk0"), "255");
    EXPECT_EQ(store.Value(kSectorsPerTrackKey, "Disk1"), "63");
    EXPECT_EQ(store.Value(kMediaTypeKey, "Disk4"), "Disk image file");
    EXPECT_EQ(store.Value(kSizeKey, "Disk3"), "953869 MB");

    // The image goes away: the next refresh forgets it in the tree and in the store.
    run.attachedImages.clear();
    RefreshInventory(run, disks, store, reporter);
    EXPECT_EQ(tree.Children(top).size(), 5u);
    EXPECT_EQ(store.Value(kModelKey, "Disk4"), "");
    EXPECT_TRUE(run.physicalDriveTable[4].empty());
    std::ifstream saved(store.Path());
    const std::string text((std::istreambuf_iterator<char>(saved)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("Disk4"), std::string::npos);
}

}  // namespace
}  // namespace lumarest

#include "disk/disk_inputs.h"

#include <gtest/gtest.h>

#include <vector>

#include "disk/disk_inventory.h"
#include "disk/disk_test_files.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::NumberedSectors;
using testing::TempFolder;
using testing::WriteBytes;

// An inventoried disk becomes a reader of that very device, counting in its own sectors, with
// the reading settings it was given; a sector size no reader takes falls back to 512 bytes.
TEST(DiskInputs, AnInventoriedDiskIsReadAsItsPropertiesSay) {
    const TempFolder folder("disk-inputs");
    const std::string path = folder.File("disk.img");
    WriteBytes(path, NumberedSectors(16));
    const ImageGuard guard(path);
    struct Case {
        const char* what;
        std::uint32_t bytesPerSector;
        std::uint32_t readerSectorBytes;
    };
    const std::vector<Case> cases = {
        {"512-byte sectors", 512, 512},
        {"4096-byte sectors", 4096, 4096},
        {"a size no reader takes", 1000, 512},
    };
    for (const Case& c : cases) {
        DiskProperties disk;
        disk.devicePath = path;
        disk.totalSectors = 16;
        disk.bytesPerSector = c.bytesPerSector;
        int notices = 0;
        SectorReaderContext reader;
        reader.readFailureNotice = [&notices] { ++notices; };
        DeviceSectorSource source = OpenDisk(DiskInputsOf(disk, reader));
        EXPECT_EQ(source.Name(), path) << c.what;
        EXPECT_EQ(source.TotalSectors(), 16u) << c.what;
        EXPECT_EQ(source.LogicalSectorBytes(), c.readerSectorBytes) << c.what;
        std::vector<std::uint8_t> buffer(2 * kSectorSize);
        EXPECT_EQ(source.ReadSectors(14, 2, buffer.data()), 1) << c.what;
        EXPECT_EQ(buffer.front(), 15) << c.what;
        EXPECT_EQ(buffer.back(), 16) << c.what;
        // Past the end of the image: the notice the inputs carried is heard.
        EXPECT_EQ(source.ReadSectors(15, 2, buffer.data()), 0) << c.what;
        EXPECT_EQ(notices, 1) << c.what;
    }
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

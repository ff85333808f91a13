#include "disk/service_device_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>

#include "disk/device_sector_source.h"
#include "disk_test_files.h"

namespace lumarest {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

// Hands over `file` opened with `flags`, or refuses when `flags` is negative; counts requests.
class FakeDiskService : public DiskService {
  public:
    FakeDiskService(std::string file, int flags) : file_(std::move(file)), flags_(flags) {}
    ServiceOpening OpenReadOnly(const std::string&) override {
        ++requests;
        if (flags_ < 0) {
            return {-1, "Not authorized"};
        }
        return {::open(file_.c_str(), flags_ | O_CLOEXEC), {}};
    }
    int requests = 0;

  private:
    std::string file_;
    int flags_;
};

bool DescriptorOpen(int descriptor) {
    return ::fcntl(descriptor, F_GETFD) >= 0;
}

TEST(ServiceDeviceFiles, KeepsOnlyReadOnlyDescriptors) {
    TempFolder folder("service-files-hold");
    const std::string file = folder.File("disk.img");
    WriteBytes(file, std::vector<std::uint8_t>(512, 0x5A));
    for (const int flags : {O_RDWR, O_WRONLY}) {
        ServiceDeviceFiles files;
        const int writable = ::open(file.c_str(), flags | O_CLOEXEC);
        ASSERT_GE(writable, 0);
        EXPECT_FALSE(files.Hold("/dev/sdz", writable));
        EXPECT_FALSE(DescriptorOpen(writable)) << "a refused descriptor is closed";
        EXPECT_FALSE(files.Holds("/dev/sdz"));
    }
}

// Reads of the device's path go to the descriptor kept for it until the list is released; a
// reader closing its handle leaves the kept one for the next.
TEST(ServiceDeviceFiles, ReadsTheKeptDescriptorForItsPath) {
    TempFolder folder("service-files-read");
    const std::string handedOver = folder.File("handed.img");
    const std::string named = folder.File("named.img");
    WriteBytes(handedOver, std::vector<std::uint8_t>(1024, 0xA1));
    WriteBytes(named, std::vector<std::uint8_t>(1024, 0x00));
    ServiceDeviceFiles files;
    RecoveryRun run;
    run.deviceFiles = &files;
    ASSERT_TRUE(files.Hold(named, ::open(handedOver.c_str(), O_RDONLY | O_CLOEXEC)));

    std::array<std::uint8_t, 512> sector{};
    for (int reader = 0; reader < 2; ++reader) {
        DeviceSectorSource source(ReaderContextFor(run), named, 2);
        ASSERT_EQ(source.ReadSectors(1, 1, sector.data()), 1);
        EXPECT_EQ(sector[0], 0xA1);
    }
    files.ReleaseAll();
    DeviceSectorSource direct(ReaderContextFor(run), named, 2);
    ASSERT_EQ(direct.ReadSectors(0, 1, sector.data()), 1);
    EXPECT_EQ(sector[0], 0x00);
}

TEST(OpenForReading, AsksTheServiceOnlyWhenNeededAndSaysWhyItFailed) {
    TempFolder folder("service-files-open");
    const std::string image = folder.File("disk.img");
    WriteBytes(image, std::vector<std::uint8_t>(512, 1));
    struct Case {
        const char* name;
        int serviceFlags;  // -1: refuses
        bool alwaysAsk;
        bool readable;
        bool held;
        int requests;
        const char* mentions;
    };
    const Case cases[] = {
        {"readable, not forced", O_RDONLY, false, true, false, 0, ""},
        {"handed over", O_RDONLY, true, true, true, 1, ""},
        {"refused", -1, true, false, false, 1, "Not authorized"},
        {"handed over writable", O_RDWR, true, false, false, 1, "open for writing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServiceDeviceFiles files;
        FakeDiskService service(image, c.serviceFlags);
        const auto problem = OpenForReading(image, files, &service, c.alwaysAsk);
        EXPECT_EQ(!problem.has_value(), c.readable);
        EXPECT_EQ(files.Holds(image), c.held);
        EXPECT_EQ(service.requests, c.requests);
        if (problem) {
            EXPECT_NE(problem->find(c.mentions), std::string::npos) << *problem;
            EXPECT_NE(problem->find("may not read " + image), std::string::npos) << *problem;
        }
        // Once kept, the device is not asked for again.
        if (c.held) {
            EXPECT_FALSE(OpenForReading(image, files, &service, c.alwaysAsk));
            EXPECT_EQ(service.requests, c.requests);
        }
    }
}

}  // namespace
}  // namespace lumarest

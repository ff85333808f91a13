#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli_app.h"
#include "cli_fixture.h"
#include "service/system_disk_service.h"
#include "support/command_output.h"
#include "support/image_guard.h"
#include "support/private_disk_service.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using Answer = testing::PrivateDiskService::Answer;

// The command is given a blank disk of the image's size; only the descriptor the service hands
// over holds the image, so a listing proves the sectors came through it.
class DiskServiceCommandTest : public testing::CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        image_ = testing::FixtureImage("mbr_layout.img");
        ASSERT_FALSE(image_.empty()) << "mbr_layout.img was not made";
        blank_ = (folder_ / "blank.img").string();
        std::ofstream(blank_).close();
        fs::resize_file(blank_, fs::file_size(image_));
        environment_.makeDiskService = [] { return std::make_unique<SystemDiskService>(); };
        environment_.alwaysAskDiskService = true;
    }
    void TearDown() override { ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS"); }

    // Starts the service, or skips the test when no bus can be started here.
    std::unique_ptr<testing::PrivateDiskService> StartService(Answer answer) {
        auto service = std::make_unique<testing::PrivateDiskService>((folder_ / "bus").string(),
                                                                     blank_, image_, answer);
        if (service->Running()) {
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", service->Address().c_str(), 1);
        }
        return service;
    }

    std::string image_;
    std::string blank_;
};

TEST_F(DiskServiceCommandTest, ReadsThroughTheHandedOverDescriptorOrFailsWithTheWayOut) {
    struct Case {
        Answer answer;
        int status;
        const char* errMentions;
    };
    const Case cases[] = {
        {Answer::ReadOnly, kExitOk, "asking the system's disk service"},
        {Answer::Refuse, kExitBadInput, "Not authorized"},
        {Answer::Absent, kExitBadInput, "gave no access"},
        {Answer::Writable, kExitBadInput, "open for writing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        testing::ImageGuard guard(image_);
        const auto service = StartService(c.answer);
        if (!service->Running()) {
            GTEST_SKIP() << "no private message bus can be started here";
        }
        EXPECT_EQ(Run({"--image", blank_, "partitions"}), c.status) << err_.str();
        EXPECT_NE(err_.str().find(c.errMentions), std::string::npos) << err_.str();
        if (c.status == kExitOk) {
            EXPECT_NE(out_.str().find("FAT32        2048"), std::string::npos) << out_.str();
        } else {
            EXPECT_EQ(out_.str(), "");
            EXPECT_NE(err_.str().find("may not read " + blank_), std::string::npos);
        }
        if (c.answer != Answer::Absent) {
            EXPECT_EQ(service->RequestedModes(), std::vector<std::string>{"r"});
        }
        EXPECT_TRUE(guard.Unchanged());
    }
}

TEST_F(DiskServiceCommandTest, ADiskThisUserMayOpenIsNotAskedFor) {
    const auto service = StartService(Answer::ReadOnly);
    if (!service->Running()) {
        GTEST_SKIP() << "no private message bus can be started here";
    }
    environment_.alwaysAskDiskService = false;
    EXPECT_EQ(Run({"--image", image_, "partitions"}), kExitOk) << err_.str();
    EXPECT_TRUE(service->RequestedModes().empty());
}

TEST_F(DiskServiceCommandTest, TheProgramAsksWhenTheEnvironmentSaysAlways) {
    const auto service = StartService(Answer::ReadOnly);
    if (!service->Running()) {
        GTEST_SKIP() << "no private message bus can be started here";
    }
    ::setenv("LUMAREST_DISK_SERVICE", "always", 1);
    const std::string listing = (folder_ / "listing.txt").string();
    const testing::ProgramRun run = testing::RunCliProgram(
        (folder_ / "config").string(), "--image " + testing::ShellQuoted(blank_) + " partitions",
        listing, 60);
    ::unsetenv("LUMAREST_DISK_SERVICE");
    ASSERT_EQ(run.status, kExitOk) << run.err;
    std::ostringstream out;
    out << std::ifstream(listing).rdbuf();
    EXPECT_NE(out.str().find("FAT32        2048"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace lumarest

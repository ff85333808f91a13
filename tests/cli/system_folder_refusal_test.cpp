#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli_fixture.h"
#include "support/command_output.h"
#include "support/image_guard.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;

class SystemFolderRefusalTest : public testing::CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        demo_ = testing::FixtureImage("demo.img");
        if (demo_.empty()) {
            GTEST_SKIP() << "the demo image was not made";
        }
    }
    std::string demo_;
};

// Nothing recovered ever lands among device nodes or kernel settings, even run as root.
TEST_F(SystemFolderRefusalTest, RefusesDeviceAndKernelFoldersWithStatus2) {
    const testing::ImageGuard guard(demo_);
    const std::vector<std::string> commands[] = {{"standard", "--partition", "1", "--save"},
                                                 {"raw", "--last", "2048", "--out"}};
    for (const char* folder : {"/dev", "/proc", "/sys"}) {
        if (!fs::is_directory(folder)) {
            continue;
        }
        for (std::vector<std::string> args : commands) {
            args.insert(args.begin(), {"--image", demo_});
            args.push_back(folder);
            const std::string row = args[2] + " " + folder;
            EXPECT_EQ(Run(args), kExitBadInput) << row;
            EXPECT_NE(err_.str().find("is a system folder"), std::string::npos)
                << row << ": " << err_.str();
            EXPECT_TRUE(out_.str().empty()) << row;
        }
    }
    EXPECT_TRUE(guard.Unchanged());
}

// A memory file system mounted below /sys (as /sys/fs/cgroup is in containers) is no place
// for files either: tried in a mount namespace of its own, so the system's /sys stays as it is.
TEST_F(SystemFolderRefusalTest, RefusesAMemoryFileSystemMountedBelowSys) {
    if (testing::CommandOutput("unshare -m true 2>/dev/null && echo yes") != "yes\n" ||
        !fs::is_directory("/sys/fs/cgroup")) {
        GTEST_SKIP() << "mounting in a mount namespace of its own needs root and /sys/fs/cgroup";
    }
    const testing::ImageGuard guard(demo_);
    const std::string command =
        "unshare -m sh -c " +
        testing::ShellQuoted(
            "mount --make-rprivate / && mount -t tmpfs lumarest-test /sys/fs/cgroup && "
            "XDG_CONFIG_HOME=" +
            testing::ShellQuoted((folder_ / "config").string()) + " " +
            testing::ShellQuoted(std::string(LUMAREST_BIN_DIR) + "/lumarest-cli") + " --image " +
            testing::ShellQuoted(demo_) +
            " raw --last 2048 --out /sys/fs/cgroup 2>&1; echo status $?");
    const std::string out = testing::CommandOutput(command);
    EXPECT_NE(out.find("status 2"), std::string::npos) << out;
    EXPECT_NE(out.find("is a system folder"), std::string::npos) << out;
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest

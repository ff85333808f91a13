#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli_fixture.h"
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

}  // namespace
}  // namespace lumarest

#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "disk/disk_inventory.h"

namespace lumarest::testing {

// A command line run in a folder of its own, with no machine disks (the first attached image
// is disk 0).
class CliFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::path(LUMAREST_FIXTURE_DIR) / test->test_suite_name() / test->name();
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "sys_block");
        environment_.makeDiskEnumerator = [root = folder_] {
            return std::make_unique<SystemDiskEnumerator>((root / "sys_block").string(),
                                                          (root / "udev").string(),
                                                          (root / "no_fd0").string());
        };
    }

    int Run(const std::vector<std::string>& args) {
        out_.str("");
        err_.str("");
        return RunCli(args, out_, err_, environment_);
    }

    std::filesystem::path folder_;
    CliEnvironment environment_;
    std::ostringstream out_;
    std::ostringstream err_;
};

}  // namespace lumarest::testing

#include "support/loop_mount.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/command_output.h"
#include "support/made_images.h"

namespace lumarest::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kPartitionWaits = 20;
constexpr auto kPartitionWait = std::chrono::milliseconds(100);
constexpr int kUnmountTries = 10;
constexpr auto kUnmountWait = std::chrono::milliseconds(200);

bool Succeeds(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

bool IsMountPoint(const std::string& folder) {
    return Succeeds("mountpoint -q " + ShellQuoted(folder));
}

}  // namespace

bool CanMakeLoopDevices() {
    return ::geteuid() == 0 && ToolInstalled("losetup") && ToolInstalled("mount") &&
           ToolInstalled("mountpoint");
}

LoopDevice::LoopDevice(const std::string& image) {
    path_ = Trimmed(CommandOutput("losetup -f --show -P " + ShellQuoted(image) + " 2>/dev/null"));
    if (path_.empty() || !fs::exists(path_)) {
        path_.clear();
    }
}

LoopDevice::~LoopDevice() {
    if (Attached()) {
        Succeeds("losetup -d " + ShellQuoted(path_));
    }
}

std::string LoopDevice::Partition(int number) const {
    const std::string partition = path_ + "p" + std::to_string(number);
    if (!Attached()) {
        return {};
    }
    // Some kernels read no partition tables themselves; partx hands them the table instead.
    if (!fs::exists(partition)) {
        Succeeds("partx -a " + ShellQuoted(path_));
    }
    for (int wait = 0; wait < kPartitionWaits && !fs::exists(partition); ++wait) {
        std::this_thread::sleep_for(kPartitionWait);
    }
    return fs::exists(partition) ? partition : std::string();
}

MountedFolder::MountedFolder(const std::string& mountCommand, std::string folder)
    : folder_(std::move(folder)) {
    fs::create_directories(folder_);
    mounted_ = Succeeds(mountCommand + " " + ShellQuoted(folder_)) && IsMountPoint(folder_);
}

MountedFolder::~MountedFolder() {
    // A FUSE file system may still be busy a moment after its last use.
    for (int attempt = 0; attempt < kUnmountTries && IsMountPoint(folder_); ++attempt) {
        if (!Succeeds("umount " + ShellQuoted(folder_))) {
            std::this_thread::sleep_for(kUnmountWait);
        }
    }
}

}  // namespace lumarest::testing

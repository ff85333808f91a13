#include "carving/whole_disk.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace lumarest {
namespace {

namespace fs = std::filesystem;

// Mapped devices stacked on mapped devices end long before this.
constexpr int kMostStackDepth = 16;

std::string ReadDeviceNumber(const fs::path& deviceFile) {
    std::ifstream file(deviceFile);
    std::string number;
    std::getline(file, number);
    return number;
}

void CollectWholeDisks(const fs::path& device, int depth, std::set<std::string>& disks) {
    std::error_code error;
    if (depth > kMostStackDepth || !fs::is_directory(device, error)) {
        return;
    }
    // A partition's folder sits inside its disk's folder and holds a "partition" file.
    if (fs::exists(device / "partition", error)) {
        CollectWholeDisks(device.parent_path(), depth + 1, disks);
        return;
    }
    const fs::path slaves = device / "slaves";
    bool stacked = false;
    if (fs::is_directory(slaves, error)) {
        for (const auto& entry : fs::directory_iterator(slaves, error)) {
            stacked = true;
            CollectWholeDisks(fs::canonical(entry.path(), error), depth + 1, disks);
        }
    }
    if (!stacked) {
        const std::string number = ReadDeviceNumber(device / "dev");
        if (!number.empty()) {
            disks.insert(number);
        }
    }
}

}  // namespace

std::set<std::string> WholeDisksOf(unsigned major, unsigned minor, const std::string& sysfsRoot) {
    std::set<std::string> disks;
    std::error_code error;
    const fs::path link = fs::path(sysfsRoot) / "dev" / "block" /
                          (std::to_string(major) + ":" + std::to_string(minor));
    const fs::path device = fs::canonical(link, error);
    if (!error) {
        CollectWholeDisks(device, 0, disks);
    }
    return disks;
}

}  // namespace lumarest

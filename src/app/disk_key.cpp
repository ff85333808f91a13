#include "app/disk_key.h"

namespace lumarest {

namespace {
constexpr std::size_t kKeyLength = 2;
constexpr const char* kBlanks = " \t\r\n";
}  // namespace

std::string DiskKeyOfItemText(const std::string& itemText) {
    const auto first = itemText.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = itemText.find_last_not_of(kBlanks);
    const std::string trimmed = itemText.substr(first, last - first + 1);
    return trimmed.size() >= kKeyLength ? trimmed.substr(trimmed.size() - kKeyLength) : trimmed;
}

std::uint16_t DiskNumberOfKey(const std::string& key) {
    if (key.empty() || key[0] < '0' || key[0] > '9') {
        return 0;
    }
    return static_cast<std::uint16_t>(key[0] - '0');
}

std::string SelectedDevicePath(const RecoveryRun& run) {
    if (run.FloppySelected()) {
        return run.floppyPath;
    }
    if (run.selectedDiskNumber >= run.physicalDriveTable.size()) {
        return {};
    }
    return run.physicalDriveTable[run.selectedDiskNumber];
}

}  // namespace lumarest

#include "app/settings_place.h"

#include <sys/stat.h>

#include <filesystem>

#include "carving/folder_storage.h"

namespace lumarest {

namespace {

// The device of the nearest folder along `path` that exists: the settings folder is made on
// the first write, on the file system of the folder above it.
bool DeviceOfNearestFolder(std::filesystem::path path, dev_t& device) {
    while (!path.empty()) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            device = info.st_dev;
            return true;
        }
        if (path == path.parent_path()) {
            break;
        }
        path = path.parent_path();
    }
    return false;
}

}  // namespace

bool SettingsMayBeWritten(const std::string& filePath,
                          const std::vector<std::string>& searchedSources) {
    dev_t device = 0;
    if (filePath.empty() ||
        !DeviceOfNearestFolder(std::filesystem::path(filePath).parent_path(), device)) {
        return false;
    }
    const SystemView view = LiveSystemView();
    for (const std::string& source : searchedSources) {
        if (!source.empty() && FolderLiesOnSource(device, source, view)) {
            return false;
        }
    }
    return true;
}

}  // namespace lumarest

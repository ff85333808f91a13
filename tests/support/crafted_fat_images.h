#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace lumarest::testing {

// The volumes and disks make_crafted_fat_images.sh builds: entries no tool writes.
inline std::filesystem::path CraftedFatFolder() {
    return std::filesystem::path(LUMAREST_FIXTURE_DIR) / "crafted_fat";
}

// Builds them once per test program; false when the script failed.
inline bool MakeCraftedFatImages() {
    static const bool built = [] {
        const std::string command = "bash '" + std::string(LUMAREST_SOURCE_DIR) +
                                    "/tests/support/make_crafted_fat_images.sh' '" +
                                    CraftedFatFolder().string() + "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }();
    return built;
}

// "amplify.img", "names.img", "amplify_disk.img" or "names_disk.img".
inline std::string CraftedFatImage(const std::string& name) {
    return (CraftedFatFolder() / name).string();
}

}  // namespace lumarest::testing

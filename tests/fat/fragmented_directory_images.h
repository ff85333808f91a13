#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/fls_listing.h"
#include "support/made_images.h"

namespace lumarest::testing {

// A volume make_fragmented_directory_images.sh builds.
struct FragmentedVolume {
    std::string name;  // "f32_s1"
    std::string fsName;
    std::uint64_t sectors = 0;
    int emptyPages = 0;  // the empty files that fill Old Trip's first clusters
};

inline void PrintTo(const FragmentedVolume& volume, std::ostream* out) {
    *out << volume.name;
}

inline std::vector<FragmentedVolume> FragmentedVolumes() {
    return {{"f16_s4", "FAT16", 65536, 50}, {"f32_s1", "FAT32", 81920, 22}};
}

inline std::filesystem::path FragmentedImagesFolder() {
    return std::filesystem::path(LUMAREST_FIXTURE_DIR) / "fragmented_directory_images";
}

inline std::string FragmentedImage(const FragmentedVolume& volume) {
    return (FragmentedImagesFolder() / (volume.name + ".img")).string();
}

// False when the script failed.
inline bool MakeFragmentedImages() {
    static const bool built = [] {
        const std::string command = "bash '" + std::string(LUMAREST_SOURCE_DIR) +
                                    "/tests/fat/make_fragmented_directory_images.sh' '" +
                                    FragmentedImagesFolder().string() + "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }();
    return built;
}

// Path -> deleted, of what `fls -r -p -d`-style listing shows.
using FlsPaths = std::map<std::string, bool>;

// The folders ("d/d") or files ("r/r") fls lists, live and deleted, by path; nothing when
// fls is not installed. Entries fls only reaches as orphans are under "$OrphanFiles/", with
// "-/d" or "-/r" when it cannot tell their type from a directory.
inline std::optional<FlsPaths> FlsListing(const std::string& image, bool folders) {
    if (!lumarest::testing::ToolInstalled("fls")) {
        return std::nullopt;
    }
    FlsPaths paths;
    for (const FlsEntry& entry : ParseFlsListing(FlsOutput(image, "-r -p"))) {
        if (entry.kind == (folders ? 'd' : 'r') && !entry.reallocated) {
            paths[entry.path] = entry.deleted;
        }
    }
    return paths;
}

inline constexpr const char* kFlsOrphans = "$OrphanFiles/";

// fls's paths outside its orphan folder, and how many entries lie right in that folder.
struct SplitFls {
    FlsPaths reached;
    int orphans = 0;
};

inline SplitFls SplitOrphans(const FlsPaths& paths) {
    SplitFls split;
    const std::string prefix = kFlsOrphans;
    for (const auto& [path, deleted] : paths) {
        if (path.rfind(prefix, 0) != 0) {
            split.reached[path] = deleted;
        } else if (path.find('/', prefix.size()) == std::string::npos) {
            ++split.orphans;
        }
    }
    return split;
}

}  // namespace lumarest::testing

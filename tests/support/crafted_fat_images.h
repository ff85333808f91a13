#pragma once

#include <string>

#include "support/made_images.h"

namespace lumarest::testing {

// "amplify.img", "names.img", "amplify_disk.img" or "names_disk.img": entries no tool writes,
// built by make_crafted_fat_images.sh; empty when it failed.
inline std::string CraftedFatImage(const std::string& name) {
    return MadeImage("tests/support/make_crafted_fat_images.sh", "crafted_fat", name);
}

// Builds them once per test program; false when the script failed.
inline bool MakeCraftedFatImages() {
    return !CraftedFatImage("amplify.img").empty();
}

}  // namespace lumarest::testing

#pragma once

#include <string>

namespace lumarest::testing {

// Runs an image-building script of the source tree (`script`, relative to its root) once per
// test program into `folder` below the fixture folder, and returns the path of `name` there;
// empty, with a test failure, when the script failed. The scripts lock their folder, so test
// programs running side by side build it once.
std::string MadeImage(const std::string& script, const std::string& folder,
                      const std::string& name);

// As MadeImage, for scripts that exit with 77 when a tool they need cannot run here (FUSE):
// `skipped` is set then, with no failure, and the test skips.
struct MadeImageResult {
    std::string path;
    bool skipped = false;
};
MadeImageResult MadeImageUnlessSkipped(const std::string& script, const std::string& folder,
                                       const std::string& name);

// Whether `tool` can be run, the system folders (/usr/sbin, /sbin) searched too, as the image
// scripts search them: a test whose images need a missing tool skips with its name.
bool ToolInstalled(const std::string& tool);

}  // namespace lumarest::testing

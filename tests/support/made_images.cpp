#include "support/made_images.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "support/command_output.h"

namespace lumarest::testing {

namespace {

constexpr int kSkipStatus = 77;

// The script's exit status, run once per test program and folder.
int RunImageScript(const std::string& script, const std::filesystem::path& where) {
    static std::mutex mutex;
    static std::map<std::string, int> built;
    const std::lock_guard lock(mutex);
    const std::string key = script + '\n' + where.string();
    const auto found = built.find(key);
    if (found != built.end()) {
        return found->second;
    }
    const std::string command = "bash " +
                                ShellQuoted(std::string(LUMAREST_SOURCE_DIR) + "/" + script) + " " +
                                ShellQuoted(where.string()) + " >/dev/null";
    const int status = std::system(command.c_str());
    return built[key] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::filesystem::path FixtureFolder(const std::string& folder) {
    return std::filesystem::path(LUMAREST_FIXTURE_DIR) / folder;
}

}  // namespace

std::string MadeImage(const std::string& script, const std::string& folder,
                      const std::string& name) {
    if (RunImageScript(script, FixtureFolder(folder)) != 0) {
        ADD_FAILURE() << script << " failed";
        return {};
    }
    return (FixtureFolder(folder) / name).string();
}

MadeImageResult MadeImageUnlessSkipped(const std::string& script, const std::string& folder,
                                       const std::string& name) {
    const int status = RunImageScript(script, FixtureFolder(folder));
    if (status == kSkipStatus) {
        return {{}, true};
    }
    if (status != 0) {
        ADD_FAILURE() << script << " failed with status " << status;
        return {};
    }
    return {(FixtureFolder(folder) / name).string(), false};
}

bool ToolInstalled(const std::string& tool) {
    const std::string command =
        "PATH=$PATH:/usr/sbin:/sbin command -v " + ShellQuoted(tool) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace lumarest::testing

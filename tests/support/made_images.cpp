#include "support/made_images.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "support/command_output.h"

namespace lumarest::testing {

std::string MadeImage(const std::string& script, const std::string& folder,
                      const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, bool> built;
    const std::filesystem::path where = std::filesystem::path(LUMAREST_FIXTURE_DIR) / folder;
    bool ok = false;
    {
        const std::lock_guard lock(mutex);
        const std::string key = script + '\n' + where.string();
        const auto found = built.find(key);
        if (found == built.end()) {
            const std::string command =
                "bash " + ShellQuoted(std::string(LUMAREST_SOURCE_DIR) + "/" + script) + " " +
                ShellQuoted(where.string()) + " >/dev/null";
            ok = built[key] = std::system(command.c_str()) == 0;
        } else {
            ok = found->second;
        }
    }
    if (!ok) {
        ADD_FAILURE() << script << " failed";
        return {};
    }
    return (where / name).string();
}

bool ToolInstalled(const std::string& tool) {
    const std::string command =
        "PATH=$PATH:/usr/sbin:/sbin command -v " + ShellQuoted(tool) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace lumarest::testing

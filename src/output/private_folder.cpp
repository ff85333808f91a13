#include "output/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace lumarest {

namespace {

constexpr mode_t kOwnerOnlyFolderMode = 0700;
constexpr const char* kFolderNamePattern = "/open-XXXXXX";

std::string Reason(int error) {
    return std::strerror(error);
}

// `base` exists as a real folder (not a link) of this user's, or is made so.
bool EnsureOwnBase(const std::string& base, std::string& error) {
    std::error_code ignored;
    const std::filesystem::path parent = std::filesystem::path(base).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, ignored);
    }
    if (::mkdir(base.c_str(), kOwnerOnlyFolderMode) != 0 && errno != EEXIST) {
        error = base + ": " + Reason(errno);
        return false;
    }
    struct stat info {};
    if (::lstat(base.c_str(), &info) != 0) {
        error = base + ": " + Reason(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        error = base + " is not a folder of the user's own";
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<PrivateFolder> PrivateFolder::Make(const std::string& base, std::string& error) {
    if (base.empty()) {
        error = "no folder is set for opened files";
        return nullptr;
    }
    if (!EnsureOwnBase(base, error)) {
        return nullptr;
    }
    std::string pattern = base;
    while (pattern.size() > 1 && pattern.back() == '/') {
        pattern.pop_back();
    }
    pattern += kFolderNamePattern;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkdtemp makes the folder with mode 0700 under a fresh random name.
    if (::mkdtemp(name.data()) == nullptr) {
        error = base + ": " + Reason(errno);
        return nullptr;
    }
    return std::unique_ptr<PrivateFolder>(new PrivateFolder(name.data()));
}

PrivateFolder::~PrivateFolder() {
    // remove_all never follows a link found inside: only this folder's own entries go.
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace lumarest

#include "disk/parameter_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "core/reporter.h"

namespace lumarest {

namespace {

constexpr const char* kStoreFolder = "Lumarest";
constexpr const char* kStoreFileName = "LMRDSK_param_E.ini";

// A line break inside a value would start a new key in the file.
std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

std::string Section(const std::string& name) {
    return "[" + name + "]\n";
}

// An absolute folder named by `variable`, or nothing.
std::optional<std::filesystem::path> AbsoluteFolderOf(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/') {
        return std::nullopt;
    }
    return std::filesystem::path(value);
}

bool FileHolds(const std::string& path, const std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    const std::string held((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return held == text;
}

}  // namespace

ParameterStore::ParameterStore(std::string iniPath) : path_(std::move(iniPath)) {}

std::string ParameterStore::DefaultPath() {
    std::optional<std::filesystem::path> base = AbsoluteFolderOf("XDG_CONFIG_HOME");
    if (!base) {
        base = AbsoluteFolderOf("HOME");
        if (!base) {
            return {};
        }
        *base /= ".config";
    }
    return (*base / kStoreFolder / kStoreFileName).string();
}

void ParameterStore::Clear() {
    entries_.clear();
}

void ParameterStore::SetValue(const std::string& subKey, const std::string& valueName,
                              const std::string& value) {
    for (Entry& entry : entries_) {
        if (entry.subKey == subKey && entry.valueName == valueName) {
            entry.value = OneLine(value);
            return;
        }
    }
    entries_.push_back(Entry{subKey, valueName, OneLine(value)});
}

std::string ParameterStore::Value(const std::string& subKey, const std::string& valueName) const {
    for (const Entry& entry : entries_) {
        if (entry.subKey == subKey && entry.valueName == valueName) {
            return entry.value;
        }
    }
    return {};
}

bool ParameterStore::Save(Reporter& reporter) {
    namespace fs = std::filesystem;
    if (!Writable()) {
        return true;
    }
    std::string text = Section(kParameterStoreKey);
    std::vector<std::string> subKeys;
    for (const Entry& entry : entries_) {
        if (std::find(subKeys.begin(), subKeys.end(), entry.subKey) == subKeys.end()) {
            subKeys.push_back(entry.subKey);
        }
    }
    for (const std::string& subKey : subKeys) {
        text += "\n" + Section(subKey);
        for (const Entry& entry : entries_) {
            if (entry.subKey == subKey) {
                text += entry.valueName + "=" + entry.value + "\n";
            }
        }
    }

    // A file that says it all already is left alone: every write may land on a disk that holds
    // deleted files.
    if (FileHolds(path_, text)) {
        return true;
    }
    // Written beside the old file and renamed over it, so a failed write leaves the old one.
    std::error_code error;
    const fs::path target(path_);
    if (target.has_parent_path()) {
        fs::create_directories(target.parent_path(), error);
    }
    const fs::path partial = path_ + ".part";
    if (!error) {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            error = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
        }
    }
    if (!error) {
        fs::rename(partial, target, error);
    }
    if (!error) {
        return true;
    }
    const std::string reason = error.message();
    fs::remove(partial, error);
    if (!failureReported_) {
        failureReported_ = true;
        reporter.ShowMessage(
            "Lumarest cannot write the disk parameter store \"" + path_ + "\" (" + reason +
                "). The disk list is not affected; Lumarest goes on without the store.",
            MessageIcon::Warning);
    }
    return false;
}

}  // namespace lumarest

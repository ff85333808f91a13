#include "disk/parameter_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

}  // namespace

ParameterStore::ParameterStore(std::string iniPath) : path_(std::move(iniPath)) {}

std::string ParameterStore::DefaultPath() {
    namespace fs = std::filesystem;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    if (configHome != nullptr && configHome[0] != '\0') {
        base = configHome;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home != nullptr && home[0] != '\0' ? home : ".") / ".config";
    }
    return (base / kStoreFolder / kStoreFileName).string();
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

#include "disk/mount_table.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace lumarest {
namespace {

constexpr const char* kOwnMountInfo = "/proc/self/mountinfo";
constexpr std::string_view kOptionalFieldsEnd = "-";
// Mount id, parent id, major:minor, root, mount point, options: then the optional fields.
constexpr std::size_t kDeviceField = 2;
constexpr std::size_t kMountPointField = 4;
constexpr std::size_t kFixedFields = 6;
constexpr std::size_t kOctalEscapeLength = 4;  // \ and three octal digits

constexpr std::string_view kSystemFileSystems[] = {
    "devtmpfs", "proc",        "sysfs",  "devpts",  "securityfs", "debugfs", "tracefs", "configfs",
    "efivarfs", "binfmt_misc", "cgroup", "cgroup2", "pstore",     "bpf",     "mqueue"};

bool IsOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

std::vector<std::string_view> SplitOnSpaces(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        if (end > start) {
            fields.push_back(line.substr(start, end - start));
        }
        start = end + 1;
    }
    return fields;
}

bool ParseDeviceNumber(std::string_view text, unsigned& major, unsigned& minor) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    const auto readNumber = [](std::string_view digits, unsigned& value) {
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return result.ec == std::errc() && result.ptr == digits.data() + digits.size() &&
               !digits.empty();
    };
    return readNumber(text.substr(0, colon), major) && readNumber(text.substr(colon + 1), minor);
}

std::optional<MountEntry> ParseMountLine(std::string_view line) {
    const std::vector<std::string_view> fields = SplitOnSpaces(line);
    if (fields.size() < kFixedFields) {
        return std::nullopt;
    }
    MountEntry entry;
    if (!ParseDeviceNumber(fields[kDeviceField], entry.major, entry.minor)) {
        return std::nullopt;
    }
    entry.mountPoint = UnescapeMountField(fields[kMountPointField]);
    std::size_t at = kFixedFields;
    while (at < fields.size() && fields[at] != kOptionalFieldsEnd) {
        ++at;
    }
    if (at + 1 >= fields.size()) {
        return std::nullopt;
    }
    entry.fileSystemType = UnescapeMountField(fields[at + 1]);
    if (at + 2 < fields.size()) {
        entry.source = UnescapeMountField(fields[at + 2]);
    }
    return entry;
}

}  // namespace

std::string UnescapeMountField(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + kOctalEscapeLength <= field.size() &&
            IsOctalDigit(field[i + 1]) && IsOctalDigit(field[i + 2]) &&
            IsOctalDigit(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            text.push_back(static_cast<char>(value & 0xFF));
            i += kOctalEscapeLength - 1;
        } else {
            text.push_back(field[i]);
        }
    }
    return text;
}

MountTable ParseMountInfo(std::string_view text) {
    MountTable mounts;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (auto entry = ParseMountLine(text.substr(start, end - start))) {
            mounts.push_back(std::move(*entry));
        }
        start = end + 1;
    }
    return mounts;
}

std::optional<MountEntry> MountOfDevice(const MountTable& mounts, unsigned major, unsigned minor) {
    for (auto entry = mounts.rbegin(); entry != mounts.rend(); ++entry) {
        if (entry->major == major && entry->minor == minor) {
            return *entry;
        }
    }
    return std::nullopt;
}

bool IsSystemFileSystem(std::string_view type) {
    return std::ranges::find(kSystemFileSystems, type) != std::end(kSystemFileSystems);
}

bool IsFuseFileSystem(std::string_view type) {
    return type == "fuse" || type == "fuseblk" || type.starts_with("fuse.");
}

std::string ReadOwnMountInfo() {
    std::ifstream file(kOwnMountInfo);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace lumarest

#include "output/recovered_file.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace lumarest {

namespace {

namespace fs = std::filesystem;

// The longest file name the folder can hold, in bytes.
constexpr std::size_t kMaxFileNameBytes = 255;

bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The tail of `text` that fits in `limit` bytes, starting on a whole UTF-8 character.
std::string_view Utf8Tail(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t start = text.size() - limit;
    while (start < text.size() && IsUtf8Continuation(text[start])) {
        ++start;
    }
    return text.substr(start);
}

// The text after the first dot, or the whole name without one; cut from the front when the
// temporary name would not fit in a file name, so the real extension stays.
std::string NameEnding(std::string_view name, std::size_t limit) {
    const std::size_t dot = name.find('.');
    std::string_view ending = dot == std::string_view::npos ? name : name.substr(dot + 1);
    ending = Utf8Tail(ending, limit);
    std::string text(ending);
    // A name read from a damaged disk must not lead the copy out of the working folder.
    std::replace(text.begin(), text.end(), '/', '_');
    std::replace(text.begin(), text.end(), '\0', '_');
    return text;
}

}  // namespace

std::string TempFileName(std::uint32_t counter, std::string_view name) {
    const std::string prefix = kTempFilePrefix + std::to_string(counter) + ".";
    return prefix + NameEnding(name, kMaxFileNameBytes - prefix.size());
}

std::string TempFilePath(const std::string& folder, const std::string& name) {
    // Without a folder the copy stays where the program runs, never in the file system's root.
    if (folder.empty()) {
        return name;
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool CreateFolderPath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        fs::create_directory(path.substr(0, slash), error);
    }
    fs::create_directory(path, error);
    return fs::is_directory(path, error);
}

}  // namespace lumarest

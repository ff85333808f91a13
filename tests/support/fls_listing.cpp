#include "support/fls_listing.h"

#include <regex>
#include <sstream>

#include "support/command_output.h"

namespace lumarest::testing {
namespace {

bool FileSystemOwn(const std::string& path) {
    return path.starts_with('$') || path.find(":$") != std::string::npos ||
           path.find("(Volume Label Entry)") != std::string::npos;
}

}  // namespace

std::set<std::pair<std::string, bool>> FlsUserFiles(const std::string& image,
                                                    std::uint64_t offset) {
    static const std::regex line(R"(^r/r (\* )?[0-9-]+:\t(.*)$)");
    std::set<std::pair<std::string, bool>> files;
    std::istringstream lines(CommandOutput("fls -r -p -o " + std::to_string(offset) + " " +
                                           ShellQuoted(image) + " 2>/dev/null"));
    for (std::string text; std::getline(lines, text);) {
        std::smatch match;
        if (!std::regex_match(text, match, line)) {
            continue;
        }
        const std::string path = match[2];
        if (FileSystemOwn(path)) {
            continue;
        }
        files.emplace(path, match[1].matched);
    }
    return files;
}

std::set<std::string> FlsFolders(const std::string& image, std::uint64_t offset) {
    static const std::regex line(R"(^d/d (\* )?[0-9-]+:\t(.*)$)");
    std::set<std::string> folders;
    std::istringstream lines(CommandOutput("fls -r -D -p -o " + std::to_string(offset) + " " +
                                           ShellQuoted(image) + " 2>/dev/null"));
    for (std::string text; std::getline(lines, text);) {
        std::smatch match;
        if (std::regex_match(text, match, line)) {
            folders.insert(match[2]);
        }
    }
    return folders;
}

std::vector<FlsEntry> FlsEntries(const std::string& image, std::uint64_t offset) {
    static const std::regex line(R"(^[dr-]/([dr-]) (\* )?([0-9]+)[0-9-]*:\t(.*)$)");
    std::vector<FlsEntry> entries;
    std::istringstream lines(CommandOutput("fls -r -p -o " + std::to_string(offset) + " " +
                                           ShellQuoted(image) + " 2>/dev/null"));
    for (std::string text; std::getline(lines, text);) {
        std::smatch match;
        if (std::regex_match(text, match, line)) {
            entries.push_back(
                FlsEntry{match[1].str()[0], match[2].matched, match[4], std::stoull(match[3])});
        }
    }
    return entries;
}

std::vector<FlsEntry> FlsUserEntries(const std::string& image, std::uint64_t offset) {
    std::vector<FlsEntry> entries = FlsEntries(image, offset);
    std::erase_if(entries, [](const FlsEntry& entry) { return FileSystemOwn(entry.path); });
    return entries;
}

}  // namespace lumarest::testing

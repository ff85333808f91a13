#include "support/fls_listing.h"

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/command_output.h"

namespace lumarest::testing {
namespace {

constexpr const char* kListingsFolder = "listings";

// The timeline body's fields: MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime.
constexpr std::size_t kBodyNameField = 1;
constexpr std::size_t kBodyModifiedField = 8;
constexpr const char* kBodyDeletedMark = " (deleted)";
constexpr const char* kBodyFileNameMark = " ($FILE_NAME)";

// The two kinds, the deleted mark, the address with its first number, the realloc mark and
// what follows the tab.
const std::regex& EntryLine() {
    static const std::regex line(R"(^(\S)/(\S) (\* )?((\d+)(?:-\d+)*)(\(realloc\))?:\t(.*)$)");
    return line;
}

std::vector<std::string> Fields(const std::string& text, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, separator);) {
        fields.push_back(field);
    }
    if (fields.empty()) {
        fields.emplace_back();
    }
    return fields;
}

bool FolderOrFileKind(char kind) {
    return kind == 'd' || kind == 'r' || kind == '-';
}

// An entry fls names plainly: both kinds folder, file or unknown, and not reallocated.
bool PlainEntry(const FlsEntry& entry) {
    return FolderOrFileKind(entry.nameKind) && FolderOrFileKind(entry.kind) && !entry.reallocated;
}

bool BothKinds(const FlsEntry& entry, char kind) {
    return entry.nameKind == kind && entry.kind == kind && !entry.reallocated;
}

}  // namespace

std::vector<FlsEntry> ParseFlsListing(const std::string& listing) {
    std::vector<FlsEntry> entries;
    std::istringstream lines(listing);
    for (std::string text; std::getline(lines, text);) {
        std::smatch match;
        if (!std::regex_match(text, match, EntryLine())) {
            continue;
        }
        std::vector<std::string> fields = Fields(match[7], '\t');
        FlsEntry entry;
        entry.nameKind = match[1].str()[0];
        entry.kind = match[2].str()[0];
        entry.deleted = match[3].matched;
        entry.address = match[4];
        entry.inode = std::stoull(match[5]);
        entry.reallocated = match[6].matched;
        entry.path = fields.front();
        entry.details.assign(fields.begin() + 1, fields.end());
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<FlsBodyLine> ParseFlsBody(const std::string& body) {
    std::vector<FlsBodyLine> lines;
    std::istringstream in(body);
    for (std::string text; std::getline(in, text);) {
        const std::vector<std::string> fields = Fields(text, '|');
        if (fields.size() <= kBodyModifiedField || fields[kBodyNameField].empty()) {
            continue;
        }
        FlsBodyLine line;
        line.path = fields[kBodyNameField].substr(1);
        if (const auto mark = line.path.rfind(kBodyDeletedMark); mark != std::string::npos) {
            line.path.erase(mark);
            line.deleted = true;
        }
        line.fileNameTimes = line.path.ends_with(kBodyFileNameMark);
        line.modified = std::stoll(fields[kBodyModifiedField]);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string FlsOutput(const std::string& image, const std::string& options, std::uint64_t offset,
                      const std::string& folder) {
    const std::string folderArgument = folder.empty() ? "" : " " + ShellQuoted(folder);
    return CommandOutput("fls " + options + " -o " + std::to_string(offset) + " " +
                         ShellQuoted(image) + folderArgument + " 2>/dev/null");
}

std::string StoredFlsListing(const std::string& name) {
    std::ifstream file(std::filesystem::path(LUMAREST_REALDATA_DIR) / kListingsFolder / name);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool FileSystemOwn(const std::string& path) {
    return path.starts_with('$') || path.find(":$") != std::string::npos ||
           path.find("(Volume Label Entry)") != std::string::npos;
}

std::set<std::pair<std::string, bool>> FlsUserFiles(const std::string& image,
                                                    std::uint64_t offset) {
    std::set<std::pair<std::string, bool>> files;
    for (const FlsEntry& entry : ParseFlsListing(FlsOutput(image, "-r -p", offset))) {
        if (BothKinds(entry, 'r') && !FileSystemOwn(entry.path)) {
            files.emplace(entry.path, entry.deleted);
        }
    }
    return files;
}

std::map<std::string, bool> FlsFolderMarks(const std::string& image, std::uint64_t offset) {
    std::map<std::string, bool> folders;
    for (const FlsEntry& entry : ParseFlsListing(FlsOutput(image, "-r -D -p", offset))) {
        if (BothKinds(entry, 'd')) {
            folders[entry.path] = entry.deleted;
        }
    }
    return folders;
}

std::set<std::string> FlsFolders(const std::string& image, std::uint64_t offset) {
    std::set<std::string> folders;
    for (const auto& [path, deleted] : FlsFolderMarks(image, offset)) {
        folders.insert(path);
    }
    return folders;
}

std::vector<FlsEntry> FlsEntries(const std::string& image, std::uint64_t offset) {
    std::vector<FlsEntry> entries = ParseFlsListing(FlsOutput(image, "-r -p", offset));
    std::erase_if(entries, [](const FlsEntry& entry) { return !PlainEntry(entry); });
    return entries;
}

std::vector<FlsEntry> FlsUserEntries(const std::string& image, std::uint64_t offset) {
    std::vector<FlsEntry> entries = FlsEntries(image, offset);
    std::erase_if(entries, [](const FlsEntry& entry) { return FileSystemOwn(entry.path); });
    return entries;
}

}  // namespace lumarest::testing

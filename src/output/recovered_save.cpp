#include "output/recovered_save.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "core/text_number.h"
#include "fat/folder_tree_events.h"
#include "fat/recovered_entries.h"
#include "output/fat_file_rows.h"
#include "output/file_list_row.h"
#include "output/ntfs_file_rows.h"
#include "output/recovered_file.h"

namespace lumarest {

namespace {

namespace fs = std::filesystem;

// The longest file name a folder holds, in bytes.
constexpr std::size_t kMaxNameBytes = 255;
// An ending longer than this is no extension worth keeping when a long name is cut.
constexpr std::size_t kMaxKeptExtensionBytes = 64;
// Numbers tried for a renamed copy before the name counts as unwritable.
constexpr int kMostCopies = 10000;
constexpr char kReplacement = '_';
constexpr char kSeparator = '/';
constexpr const char* kNtfsName = "NTFS";
constexpr const char* kPartialPrefix = ".lumarest-save-";
constexpr const char* kPartialSuffix = ".part";
// A FAT entry that names the volume, not a file.
constexpr std::uint8_t kVolumeLabelAttribute = 0x08;

constexpr std::size_t kNameCell = 0;
constexpr std::size_t kTypeCell = 1;
constexpr std::size_t kSizeCell = 2;
constexpr std::string_view kFolderEnding = "FOLDER";
constexpr std::string_view kFolderEndingMixed = "Folder";

bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The head of `text` that fits in `limit` bytes, ending on a whole UTF-8 character.
std::string_view Utf8Head(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t end = limit;
    while (end > 0 && IsUtf8Continuation(text[end])) {
        --end;
    }
    return text.substr(0, end);
}

// `name` with `suffix` added, cut to one file name's length: the stem gives way so a short
// extension (when `keepExtension`) and the suffix stay.
std::string FitName(std::string_view name, std::string_view suffix, bool keepExtension) {
    std::string_view stem = name;
    std::string_view extension;
    const std::size_t dot = name.rfind('.');
    if (keepExtension && dot != std::string_view::npos && dot != 0 &&
        name.size() - dot <= kMaxKeptExtensionBytes) {
        stem = name.substr(0, dot);
        extension = name.substr(dot);
    }
    const std::size_t room = kMaxNameBytes - suffix.size() - extension.size();
    std::string fitted(Utf8Head(stem, room));
    fitted += suffix;
    fitted += extension;
    return fitted;
}

// "name (2).ext" for a file, "name (2)" for a folder; the name itself for the first copy.
std::string NumberedName(std::string_view name, int copy, bool keepExtension) {
    if (copy == 1) {
        return std::string(name);
    }
    return FitName(name, " (" + std::to_string(copy) + ")", keepExtension);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    return folder.back() == kSeparator ? folder + name : folder + kSeparator + name;
}

bool EndsWith(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

bool IsFolderRow(const std::vector<std::string>& row) {
    if (row.size() <= kTypeCell) {
        return false;
    }
    return EndsWith(row[kTypeCell], kFolderEnding) || EndsWith(row[kTypeCell], kFolderEndingMixed);
}

// A file the list shows with 0 bytes is whole when nothing of it is found (an NTFS record
// without a data stream).
bool ListedEmpty(const std::vector<std::string>& row) {
    return row.size() > kSizeCell && ParseTextNumber(row[kSizeCell]) == 0;
}

// Anything at all under that name, a dangling link included.
bool Occupied(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// The file rows of each folder, as the file list lists them.
class FolderFiles {
  public:
    FolderFiles(RecoveryRun& run, SectorSource& disk)
        : run_(run), disk_(disk), ntfs_(run.activeVolume.fsName == kNtfsName) {
        if (ntfs_) {
            const TextTable& files = run.fileTable;
            const std::size_t parent = files.ColumnIndex("parent");
            for (std::size_t r = 0; r < files.RowCount(); ++r) {
                ntfsRows_[files.CellU32(r, parent)].push_back(r);
            }
        }
    }

    std::uint32_t FolderId(TreeItem item) {
        if (const FolderNode* node = run_.folderNodes.FindByItem(item)) {
            return node->selfId;
        }
        // As the listing does: a folder item without a node is the root.
        return ntfs_ ? kNtfsRootId : kFatRootId;
    }

    std::vector<std::vector<std::string>> Rows(std::uint32_t folderId) {
        std::vector<std::vector<std::string>> rows;
        if (ntfs_) {
            const auto found = ntfsRows_.find(folderId);
            if (found != ntfsRows_.end()) {
                for (const std::size_t r : found->second) {
                    rows.push_back(NtfsFileRow(run_.fileTable, r, folderId).Cells());
                }
            }
            return rows;
        }
        // The orphan folder has no directory of its own on FAT.
        if (folderId == kOrphanFolderId) {
            return rows;
        }
        ForEachFatFile(run_, disk_, folderId,
                       [&](const FatFileFacts& facts, FileTypeWording wording) {
                           // The volume's label entry holds no file to save.
                           if ((facts.attributes & kVolumeLabelAttribute) == 0) {
                               rows.push_back(FatFileRow(facts, wording).Cells());
                           }
                       });
        return rows;
    }

  private:
    RecoveryRun& run_;
    SectorSource& disk_;
    bool ntfs_;
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> ntfsRows_;
};

// Each child folder's saved name: siblings of one name (a deleted folder beside a live one)
// are kept apart as "name (2)" rather than poured into one folder.
std::vector<std::pair<TreeItem, std::string>> ChildFolders(const TreeModel& tree, TreeItem item) {
    std::vector<std::pair<TreeItem, std::string>> children;
    std::set<std::string> used;
    for (const TreeItem child : tree.Children(item)) {
        const std::string base = SafeNamePart(tree.Text(child));
        std::string name = base;
        for (int copy = 2; used.contains(name); ++copy) {
            name = NumberedName(base, copy, false);
        }
        used.insert(name);
        children.emplace_back(child, std::move(name));
    }
    return children;
}

struct PendingFolder {
    TreeItem item;
    std::string path;  // "" for the top of the tree: its contents go straight below
};

// Every folder below `top` (itself first, unless its path is empty) with its files, each
// folder's files before its subfolders. Walked with a list: trees can be deeper than the stack.
void AddFolderTree(const TreeModel& tree, FolderFiles& files, TreeItem top,
                   const std::string& topPath, std::vector<SaveEntry>& entries) {
    std::vector<PendingFolder> pending{{top, topPath}};
    while (!pending.empty()) {
        const PendingFolder folder = std::move(pending.back());
        pending.pop_back();
        if (!folder.path.empty()) {
            entries.push_back({folder.path, true, {}});
        }
        for (auto& row : files.Rows(files.FolderId(folder.item))) {
            const std::string name = SafeNamePart(row.empty() ? std::string() : row[kNameCell]);
            entries.push_back({JoinPath(folder.path, name), false, std::move(row)});
        }
        const auto children = ChildFolders(tree, folder.item);
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            pending.push_back({it->first, JoinPath(folder.path, it->second)});
        }
    }
}

// Writes the entries one by one and keeps the user's standing answers.
class Saver {
  public:
    Saver(RecoveryRun& run, SectorSource& disk, std::string destination, SaveDecisions& decisions)
        : run_(run), disk_(disk), destination_(std::move(destination)), decisions_(decisions) {}

    SaveSummary Save(const std::vector<SaveEntry>& entries) {
        for (std::size_t i = 0; i < entries.size() && !summary_.stopped; ++i) {
            const SaveEntry& entry = entries[i];
            const std::string path = JoinPath(destination_, entry.relativePath);
            if (decisions_.Progress(i, entries.size(), path)) {
                summary_.stopped = true;
                break;
            }
            if (InsideFailedFolder(entry.relativePath)) {
                if (!entry.folder) {
                    ++summary_.skipped;
                }
                continue;
            }
            if (entry.folder) {
                SaveFolder(entry, path);
            } else {
                SaveFile(entry, path);
            }
        }
        return summary_;
    }

  private:
    bool InsideFailedFolder(const std::string& relativePath) const {
        for (const std::string& folder : failedFolders_) {
            if (relativePath.size() > folder.size() && relativePath.starts_with(folder) &&
                relativePath[folder.size()] == kSeparator) {
                return true;
            }
        }
        return false;
    }

    // Counts the failure and asks what to do unless told to skip them all.
    void WriteFailed(const std::string& path) {
        ++summary_.failed;
        if (skipAllErrors_) {
            return;
        }
        switch (decisions_.AskWriteError(path)) {
            case SaveDecisions::WriteError::Abort:
                summary_.stopped = true;
                break;
            case SaveDecisions::WriteError::SkipAll:
                skipAllErrors_ = true;
                break;
            case SaveDecisions::WriteError::Skip:
                break;
        }
    }

    void SaveFolder(const SaveEntry& entry, const std::string& path) {
        std::error_code error;
        // A folder already there takes the saved one in; a link of that name is not followed.
        if (!fs::is_directory(fs::symlink_status(path, error))) {
            fs::create_directory(path, error);
        }
        if (!fs::is_directory(fs::symlink_status(path, error))) {
            failedFolders_.push_back(entry.relativePath);
            WriteFailed(path);
        }
    }

    // The first "name (n).ext" free beside `path`; empty when none is.
    std::string RenamedPath(const std::string& path) const {
        const fs::path whole(path);
        const std::string folder = whole.parent_path().string();
        const std::string name = whole.filename().string();
        for (int copy = 2; copy <= kMostCopies; ++copy) {
            const std::string candidate = JoinPath(folder, NumberedName(name, copy, true));
            if (!Occupied(candidate)) {
                return candidate;
            }
        }
        return {};
    }

    // Where the file is written before it takes its name: an older file of that name stays
    // until the new one is whole, and a failed write leaves nothing that passes for a file.
    std::string PartialPath(const std::string& target) {
        const std::string folder = fs::path(target).parent_path().string();
        std::string candidate;
        do {
            candidate = JoinPath(folder, kPartialPrefix + std::to_string(::getpid()) + "-" +
                                             std::to_string(++partialCounter_) + kPartialSuffix);
        } while (Occupied(candidate));
        return candidate;
    }

    // Settles a clash with the user; nothing when the file is not to be written.
    std::optional<std::string> ResolveClash(const std::string& path) {
        const std::string renamed = RenamedPath(path);
        SaveDecisions::Replace answer = SaveDecisions::Replace::Cancel;
        if (replaceAll_) {
            answer = *replaceAll_;
        } else {
            bool applyToAll = false;
            answer = decisions_.AskReplace(path, renamed, applyToAll);
            if (applyToAll) {
                replaceAll_ = answer;
            }
        }
        switch (answer) {
            case SaveDecisions::Replace::Overwrite:
                return path;
            case SaveDecisions::Replace::Rename:
                if (renamed.empty()) {
                    WriteFailed(path);
                    return std::nullopt;
                }
                return renamed;
            case SaveDecisions::Replace::Skip:
                ++summary_.skipped;
                return std::nullopt;
            case SaveDecisions::Replace::Cancel:
                break;
        }
        summary_.stopped = true;
        return std::nullopt;
    }

    void SaveFile(const SaveEntry& entry, const std::string& path) {
        std::string target = path;
        if (Occupied(path)) {
            const std::optional<std::string> settled = ResolveClash(path);
            if (!settled) {
                return;
            }
            target = *settled;
        }
        const std::string partial = PartialPath(target);
        const RecoveredFileStatus status = WriteListedFile(run_, disk_, entry.row, partial);
        std::error_code error;
        if (status == RecoveredFileStatus::WriteFailed) {
            fs::remove(partial, error);
            WriteFailed(target);
            return;
        }
        if (status == RecoveredFileStatus::NoData && !ListedEmpty(entry.row)) {
            // Nothing of the file was found: an empty file would pass for a recovered one.
            fs::remove(partial, error);
            ++summary_.failed;
            return;
        }
        fs::rename(partial, target, error);
        if (error) {
            fs::remove(partial, error);
            WriteFailed(target);
            return;
        }
        if (status == RecoveredFileStatus::Incomplete) {
            ++summary_.incomplete;
        } else {
            ++summary_.saved;
        }
    }

    RecoveryRun& run_;
    SectorSource& disk_;
    std::string destination_;
    SaveDecisions& decisions_;
    SaveSummary summary_;
    std::optional<SaveDecisions::Replace> replaceAll_;
    bool skipAllErrors_ = false;
    std::vector<std::string> failedFolders_;
    std::uint64_t partialCounter_ = 0;
};

}  // namespace

std::string SafeNamePart(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        if (c == kSeparator || c == '\0') {
            c = kReplacement;
        }
    }
    if (safe.empty() || safe == "." || safe == "..") {
        safe.insert(safe.begin(), kReplacement);
    }
    return FitName(safe, "", true);
}

std::vector<SaveEntry> CollectFolderEntries(RecoveryRun& run, SectorSource& disk, TreeItem item) {
    std::vector<SaveEntry> entries;
    if (!run.folderTree || !run.folderTree->Exists(item)) {
        return entries;
    }
    const TreeModel& tree = *run.folderTree;
    FolderFiles files(run, disk);
    const bool top = tree.Parent(item) == kNoItem;
    AddFolderTree(tree, files, item, top ? std::string() : SafeNamePart(tree.Text(item)), entries);
    return entries;
}

std::vector<SaveEntry> CollectCheckedEntries(RecoveryRun& run, SectorSource& disk) {
    std::vector<SaveEntry> entries;
    if (!run.folderTree || run.folderTree->TopItem() == kNoItem) {
        return entries;
    }
    const TreeModel& tree = *run.folderTree;
    FolderFiles files(run, disk);
    std::vector<PendingFolder> pending{{tree.TopItem(), std::string()}};
    while (!pending.empty()) {
        const PendingFolder folder = std::move(pending.back());
        pending.pop_back();
        const int state = tree.CheckState(folder.item);
        if (state == kCheckedState) {
            AddFolderTree(tree, files, folder.item, folder.path, entries);
            continue;
        }
        if (state != kPartlyCheckedState) {
            continue;
        }
        // Only the path down to the checked folders: a partly checked folder's own files stay.
        if (!folder.path.empty()) {
            entries.push_back({folder.path, true, {}});
        }
        const auto children = ChildFolders(tree, folder.item);
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            pending.push_back({it->first, JoinPath(folder.path, it->second)});
        }
    }
    return entries;
}

SaveEntry FileRowEntry(const std::vector<std::string>& row) {
    SaveEntry entry;
    entry.relativePath = SafeNamePart(row.empty() ? std::string() : row[kNameCell]);
    // A folder row holds no file data: writing its cells as a file would give a false copy.
    entry.folder = IsFolderRow(row);
    if (!entry.folder) {
        entry.row = row;
    }
    return entry;
}

SaveSummary SaveEntries(RecoveryRun& run, SectorSource& disk, const std::vector<SaveEntry>& entries,
                        const std::string& destination, SaveDecisions& decisions) {
    Saver saver(run, disk, destination, decisions);
    return saver.Save(entries);
}

}  // namespace lumarest

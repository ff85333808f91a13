#include "volume/recovered_save.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "core/entry_rows.h"
#include "core/folder_nodes.h"
#include "core/new_file.h"
#include "core/plain_name.h"
#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "output/file_list_row.h"
#include "output/recovered_file.h"
#include "tree/folder_tree_events.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {

namespace {

// The longest file name a folder holds, in bytes.
constexpr std::size_t kMaxNameBytes = 255;
// An ending longer than this is no extension worth keeping when a long name is cut.
constexpr std::size_t kMaxKeptExtensionBytes = 64;
// Numbers tried for a renamed copy before the name counts as unwritable.
constexpr int kMostCopies = 10000;
// A UTF-8 character has at most this many bytes after its first.
constexpr std::size_t kMaxUtf8Continuations = 3;
// Folders of one saved path held open at once; deeper ones are opened again when needed.
constexpr std::size_t kMostOpenFolders = 64;
constexpr char kSeparator = '/';

bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The head of `text` that fits in `limit` bytes, ending on a whole UTF-8 character. Bytes that
// are no UTF-8 are cut where the limit falls: a name of them must not shrink to nothing.
std::string_view Utf8Head(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t end = limit;
    while (end > 0 && limit - end < kMaxUtf8Continuations && IsUtf8Continuation(text[end])) {
        --end;
    }
    return text.substr(0, IsUtf8Continuation(text[end]) ? limit : end);
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

// One file of a folder: its listed name and what identifies it.
struct FolderFile {
    std::string name;
    FileRef file;
};

// The files of each folder, as the file list lists them.
class FolderFiles {
  public:
    FolderFiles(RecoveryRun& run, SectorSource& disk)
        : run_(run), volume_(OpenRebuiltVolume(run, disk)) {}

    std::uint32_t FolderId(TreeItem item) {
        if (const FolderNode* node = run_.folderNodes.FindByItem(item)) {
            return node->selfId;
        }
        // As the listing does: a folder item without a node is the root.
        return volume_ ? volume_->RootFolderId() : kFatRootId;
    }

    // The folder is one of the file system's own, not the user's.
    bool IsVolumeOwn(TreeItem item) {
        const FolderNode* node = run_.folderNodes.FindByItem(item);
        return volume_ && node != nullptr && volume_->IsVolumeOwnFolder(*node);
    }

    // With `keepVolumeOwn` false, the file system's own files are left out.
    std::vector<FolderFile> Files(std::uint32_t folderId, bool keepVolumeOwn) {
        std::vector<FolderFile> files;
        if (volume_) {
            volume_->ForEachFile(folderId, [&](const FileListRow& row, const FileRef& file) {
                if (keepVolumeOwn || !volume_->IsVolumeOwnFile(file)) {
                    files.push_back({row.name, file});
                }
            });
        }
        return files;
    }

  private:
    RecoveryRun& run_;
    std::unique_ptr<RebuiltVolume> volume_;
};

// Each child folder's saved name: siblings of one name (a deleted folder beside a live one)
// are kept apart as "name (2)" rather than poured into one folder. Files and folders of one
// folder share one set of names: `used` holds the files' names, which keep theirs.
std::vector<std::pair<TreeItem, std::string>> ChildFolders(const TreeModel& tree,
                                                           FolderFiles& files, TreeItem item,
                                                           bool keepVolumeOwn,
                                                           std::set<std::string> used = {}) {
    std::vector<std::pair<TreeItem, std::string>> children;
    for (const TreeItem child : tree.Children(item)) {
        if (!keepVolumeOwn && files.IsVolumeOwn(child)) {
            continue;
        }
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

SaveEntry FolderEntry(const std::string& path, TreeItem item) {
    SaveEntry entry{path, true, FileRef{}};
    entry.file.folderItem = item;
    return entry;
}

// Every folder below `top` (itself first, unless its path is empty) with its files, each
// folder's files before its subfolders; the file system's own files and folders only with
// `keepVolumeOwn`. Walked with a list: trees can be deeper than the stack.
void AddFolderTree(const TreeModel& tree, FolderFiles& files, TreeItem top,
                   const std::string& topPath, bool keepVolumeOwn,
                   std::vector<SaveEntry>& entries) {
    std::vector<PendingFolder> pending{{top, topPath}};
    while (!pending.empty()) {
        const PendingFolder folder = std::move(pending.back());
        pending.pop_back();
        if (!folder.path.empty()) {
            entries.push_back(FolderEntry(folder.path, folder.item));
        }
        std::set<std::string> fileNames;
        for (const FolderFile& file : files.Files(files.FolderId(folder.item), keepVolumeOwn)) {
            const std::string name = SafeNamePart(file.name);
            fileNames.insert(name);
            entries.push_back({JoinPath(folder.path, name), false, file.file});
        }
        const auto children =
            ChildFolders(tree, files, folder.item, keepVolumeOwn, std::move(fileNames));
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            pending.push_back({it->first, JoinPath(folder.path, it->second)});
        }
    }
}

std::string ParentOf(const std::string& relativePath) {
    const std::size_t slash = relativePath.rfind(kSeparator);
    return slash == std::string::npos ? std::string() : relativePath.substr(0, slash);
}

std::string LastPart(const std::string& relativePath) {
    const std::size_t slash = relativePath.rfind(kSeparator);
    return slash == std::string::npos ? relativePath : relativePath.substr(slash + 1);
}

// `path` is `folder` or lies below it ("" is the destination, above everything).
bool WithinFolder(const std::string& path, const std::string& folder) {
    return folder.empty() || path == folder ||
           (path.size() > folder.size() && path.starts_with(folder) &&
            path[folder.size()] == kSeparator);
}

// A folder of the destination on the way to the entry being saved.
struct SavedFolder {
    std::string entryPath;  // as the entries name it; "" for the destination
    std::string name;       // its name in its parent, after any " (n)" it was given
    std::string path;       // where it lies, as questions and messages show it
    std::optional<FolderHandle> handle;
};

// Where a file goes: its name and whether what holds that name is replaced.
struct Placement {
    std::string name;
    PlaceMode mode = PlaceMode::KeepExisting;
};

// Writes the entries one by one and keeps the user's standing answers. Every name is made and
// looked up inside a folder held open, from the destination down, never through a link.
class Saver {
  public:
    Saver(RecoveryRun& run, SectorSource& disk, std::string destination, SaveDecisions& decisions,
          std::stop_token stop)
        : run_(run),
          destination_(std::move(destination)),
          decisions_(decisions),
          stop_(std::move(stop)),
          volume_(OpenRebuiltVolume(run, disk)) {}

    // Saves into `destination`, the folder held open, never into what its path names later.
    SaveSummary Save(const std::vector<SaveEntry>& entries,
                     std::optional<FolderHandle> destination) {
        chain_.push_back({"", "", destination_, std::move(destination)});
        for (std::size_t i = 0; i < entries.size() && !summary_.stopped; ++i) {
            const SaveEntry& entry = entries[i];
            const std::string path = JoinPath(destination_, entry.relativePath);
            if (stop_.stop_requested() || decisions_.Progress(i, entries.size(), path)) {
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
        while (chain_.size() > 1) {
            LeaveFolder();
        }
        return summary_;
    }

  private:
    bool InsideFailedFolder(const std::string& relativePath) const {
        for (const std::string& folder : failedFolders_) {
            if (relativePath != folder && WithinFolder(relativePath, folder)) {
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

    // Deep trees would run out of descriptors: only the deepest folders of the chain stay open,
    // the others are opened again on the way back up.
    void CloseFarFolders() {
        for (std::size_t i = 1; i + kMostOpenFolders < chain_.size(); ++i) {
            chain_[i].handle.reset();
        }
    }

    // Opens again the folders of the chain closed to spare descriptors; false when one is gone.
    bool ReopenChain() {
        std::size_t first = chain_.size();
        while (first > 0 && !chain_[first - 1].handle) {
            --first;
        }
        if (first == 0) {
            return false;
        }
        int error = 0;
        for (std::size_t i = first; i < chain_.size(); ++i) {
            chain_[i].handle = chain_[i - 1].handle->OpenChild(chain_[i].name, false, error);
            if (!chain_[i].handle) {
                return false;
            }
        }
        CloseFarFolders();
        return true;
    }

    // Opens, or with `create` makes, the folder `entryPath` inside the last one of the chain. A
    // folder already there takes the saved one in; a file or a link holding the name leaves the
    // folder to "name (2)", as a file would be.
    bool EnterFolder(const std::string& entryPath, bool create) {
        if (!ReopenChain()) {
            return false;
        }
        const SavedFolder& parent = chain_.back();
        const std::string wanted = LastPart(entryPath);
        std::string name = wanted;
        std::optional<FolderHandle> handle;
        int error = 0;
        if (!create) {
            if (const auto renamed = renamedFolders_.find(entryPath);
                renamed != renamedFolders_.end()) {
                name = renamed->second;
            }
            handle = parent.handle->OpenChild(name, false, error);
        }
        for (int copy = 1; create && copy <= kMostCopies && !handle; ++copy) {
            name = NumberedName(wanted, copy, false);
            handle = parent.handle->OpenChild(name, true, error);
            if (!handle && error != ENOTDIR && error != ELOOP) {
                break;
            }
        }
        if (!handle) {
            return false;
        }
        if (name != wanted) {
            renamedFolders_[entryPath] = name;
        } else {
            renamedFolders_.erase(entryPath);
        }
        chain_.push_back({entryPath, name, JoinPath(parent.path, name), std::move(handle)});
        CloseFarFolders();
        return true;
    }

    // Writing into a folder changes its time: a saved folder gets its own once nothing more
    // is written into it, when the saving leaves it, so the deepest get theirs first.
    void LeaveFolder() {
        if (const auto time = folderTimes_.find(chain_.back().entryPath);
            time != folderTimes_.end() && ReopenChain()) {
            chain_.back().handle->SetTimes(time->second);
        }
        chain_.pop_back();
    }

    // The saved folder the entries call `entryPath`, open; nothing when it cannot be opened.
    // Entries come folder by folder, so the chain is mostly walked up and down one step.
    SavedFolder* FolderAt(const std::string& entryPath) {
        while (chain_.size() > 1 && !WithinFolder(entryPath, chain_.back().entryPath)) {
            LeaveFolder();
        }
        // Folders the entries reach without listing them first (a row saved alone) are taken
        // as they are.
        while (chain_.back().entryPath != entryPath) {
            const std::string& base = chain_.back().entryPath;
            const std::size_t end = entryPath.find(kSeparator, base.empty() ? 0 : base.size() + 1);
            if (!EnterFolder(entryPath.substr(0, end), false)) {
                return nullptr;
            }
        }
        return ReopenChain() ? &chain_.back() : nullptr;
    }

    void SaveFolder(const SaveEntry& entry, const std::string& path) {
        if (FolderAt(ParentOf(entry.relativePath)) == nullptr ||
            !EnterFolder(entry.relativePath, true)) {
            failedFolders_.push_back(entry.relativePath);
            WriteFailed(path);
            return;
        }
        const FolderNode* node = run_.folderNodes.FindByItem(entry.file.folderItem);
        const std::optional<std::int64_t> time =
            volume_ && node != nullptr ? volume_->FolderLastWrite(*node) : std::nullopt;
        if (time) {
            folderTimes_[entry.relativePath] = *time;
        } else {
            folderTimes_.erase(entry.relativePath);
        }
    }

    // The first "name (n).ext" free in `folder`; empty when none is.
    std::string RenamedName(const SavedFolder& folder, const std::string& name) const {
        for (int copy = 2; copy <= kMostCopies; ++copy) {
            std::string candidate = NumberedName(name, copy, true);
            if (folder.handle->Lookup(candidate) == FolderHandle::Entry::None) {
                return candidate;
            }
        }
        return {};
    }

    // Settles a clash with the user; nothing when the file is not to be written.
    std::optional<Placement> ResolveClash(const SavedFolder& folder, const std::string& name) {
        const std::string path = JoinPath(folder.path, name);
        const std::string renamed = RenamedName(folder, name);
        SaveDecisions::Replace answer = SaveDecisions::Replace::Cancel;
        if (replaceAll_) {
            answer = *replaceAll_;
        } else {
            bool applyToAll = false;
            answer = decisions_.AskReplace(
                path, renamed.empty() ? std::string() : JoinPath(folder.path, renamed), applyToAll);
            if (applyToAll) {
                replaceAll_ = answer;
            }
        }
        switch (answer) {
            case SaveDecisions::Replace::Overwrite:
                return Placement{name, PlaceMode::Replace};
            case SaveDecisions::Replace::Rename:
                if (renamed.empty()) {
                    WriteFailed(path);
                    return std::nullopt;
                }
                return Placement{renamed, PlaceMode::KeepExisting};
            case SaveDecisions::Replace::Skip:
                ++summary_.skipped;
                return std::nullopt;
            case SaveDecisions::Replace::Cancel:
                break;
        }
        summary_.stopped = true;
        return std::nullopt;
    }

    // The file is written under a name of its own first and takes its name whole: an older file
    // of that name stays until then, and a failed write leaves nothing behind.
    void SaveFile(const SaveEntry& entry, const std::string& path) {
        SavedFolder* folder = FolderAt(ParentOf(entry.relativePath));
        if (folder == nullptr) {
            WriteFailed(path);
            return;
        }
        if (entry.file.nameOnly) {
            ++summary_.nameOnly;
            return;
        }
        const std::string wanted = LastPart(entry.relativePath);
        std::optional<Placement> placement = Placement{wanted, PlaceMode::KeepExisting};
        if (folder->handle->Lookup(wanted) != FolderHandle::Entry::None) {
            placement = ResolveClash(*folder, wanted);
            if (!placement) {
                return;
            }
        }
        if (!HasRoom(*folder, entry.file, JoinPath(folder->path, placement->name))) {
            return;
        }
        int error = 0;
        const std::unique_ptr<NewFile> file = NewFile::Create(*folder->handle, error);
        if (!file) {
            WriteFailed(JoinPath(folder->path, placement->name));
            return;
        }
        if (const std::optional<std::int64_t> time =
                volume_ ? volume_->LastWrite(entry.file) : std::nullopt) {
            file->SetTimes(*time);
        }
        file->StopWhen(stop_);
        const RecoveredFileStatus status = WriteData(entry.file, file->Stream());
        if (StoppedInside()) {
            return;
        }
        if (status == RecoveredFileStatus::WriteFailed) {
            WriteFailed(JoinPath(folder->path, placement->name));
            return;
        }
        // A file the list shows with 0 bytes is whole when nothing of it is found (an NTFS
        // record without a data stream).
        if (status == RecoveredFileStatus::NoData && entry.file.size != 0) {
            // Nothing of the file was found: an empty file would pass for a recovered one.
            ++summary_.failed;
            return;
        }
        error = file->Place(placement->name, placement->mode);
        if (error == EEXIST) {
            // The name was taken while the file was written: the user decides again.
            placement = ResolveClash(*folder, wanted);
            if (!placement) {
                return;
            }
            error = file->Place(placement->name, placement->mode);
        }
        if (error != 0 && StoppedInside()) {
            return;
        }
        if (error != 0) {
            WriteFailed(JoinPath(folder->path, placement->name));
            return;
        }
        if (status == RecoveredFileStatus::Incomplete) {
            ++summary_.incomplete;
        } else {
            ++summary_.saved;
        }
        if (entry.file.deleted) {
            ++summary_.deleted;
        }
        if (entry.file.truncated) {
            ++summary_.truncated;
        }
    }

    // False, stopping the saving, when the folder's disk has not the room the file's data
    // needs: it would fill the disk and fail part way.
    bool HasRoom(const SavedFolder& folder, const FileRef& file, const std::string& path) {
        const std::optional<std::uint64_t> free = folder.handle->FreeBytes();
        if (!free || !volume_) {
            return true;
        }
        const std::uint64_t needed = volume_->StoredBytes(file);
        if (needed <= *free) {
            return true;
        }
        summary_.stopped = true;
        summary_.noRoom = "There is not enough free space to save " + path + ": it needs " +
                          std::to_string(needed) + " bytes and " + std::to_string(*free) +
                          " bytes are free. Saving stopped; the files saved before it are kept.";
        return false;
    }

    // Through the saving's own volume: what it read of the disk for one file serves the next.
    RecoveredFileStatus WriteData(const FileRef& file, std::ostream& out) {
        if (!volume_) {
            return RecoveredFileStatus::NoData;
        }
        const RecoveredFileStatus status = volume_->WriteFile(file, out);
        out.flush();
        return out ? status : RecoveredFileStatus::WriteFailed;
    }

    // A stop asked while a file was written: the file is dropped unnamed, counted nowhere.
    bool StoppedInside() {
        summary_.stopped = summary_.stopped || stop_.stop_requested();
        return summary_.stopped;
    }

    RecoveryRun& run_;
    std::string destination_;
    SaveDecisions& decisions_;
    std::stop_token stop_;
    // Where each file's and folder's time comes from.
    std::unique_ptr<RebuiltVolume> volume_;
    SaveSummary summary_;
    std::optional<SaveDecisions::Replace> replaceAll_;
    bool skipAllErrors_ = false;
    std::vector<std::string> failedFolders_;
    // The destination, then each folder down to the one being saved into.
    std::vector<SavedFolder> chain_;
    // Folders saved under another name than the entries give them, by their entry path.
    std::unordered_map<std::string, std::string> renamedFolders_;
    // The recovered time of each saved folder that has one, by its entry path.
    std::unordered_map<std::string, std::int64_t> folderTimes_;
};

}  // namespace

std::string SafeNamePart(const std::string& name) {
    return FitName(PlainFileName(name), "", true);
}

std::vector<SaveEntry> CollectFolderEntries(RecoveryRun& run, SectorSource& disk, TreeItem item) {
    std::vector<SaveEntry> entries;
    if (!run.folderTree || !run.folderTree->Exists(item)) {
        return entries;
    }
    const TreeModel& tree = *run.folderTree;
    FolderFiles files(run, disk);
    // A system folder picked itself as what to save (or one inside it) is saved whole: the user
    // asked for it. Reached from above, it is left out.
    bool keepVolumeOwn = false;
    for (TreeItem above = item; above != kNoItem && !keepVolumeOwn; above = tree.Parent(above)) {
        keepVolumeOwn = files.IsVolumeOwn(above);
    }
    const bool top = tree.Parent(item) == kNoItem;
    AddFolderTree(tree, files, item, top ? std::string() : SafeNamePart(tree.Text(item)),
                  keepVolumeOwn, entries);
    return entries;
}

std::vector<SaveEntry> CollectCheckedEntries(RecoveryRun& run, SectorSource& disk) {
    std::vector<SaveEntry> entries;
    if (!run.folderTree || run.folderTree->TopItem() == kNoItem) {
        return entries;
    }
    const TreeModel& tree = *run.folderTree;
    FolderFiles files(run, disk);
    // Ticks spread down from Root, so a ticked system folder is never plainly the user's choice:
    // the file system's own files and folders stay out of every checked save.
    constexpr bool kKeepVolumeOwn = false;
    std::vector<PendingFolder> pending{{tree.TopItem(), std::string()}};
    while (!pending.empty()) {
        const PendingFolder folder = std::move(pending.back());
        pending.pop_back();
        const int state = tree.CheckState(folder.item);
        if (state == kCheckedState) {
            AddFolderTree(tree, files, folder.item, folder.path, kKeepVolumeOwn, entries);
            continue;
        }
        if (state != kPartlyCheckedState) {
            continue;
        }
        // Only the path down to the checked folders: a partly checked folder's own files stay.
        if (!folder.path.empty()) {
            entries.push_back(FolderEntry(folder.path, folder.item));
        }
        const auto children = ChildFolders(tree, files, folder.item, kKeepVolumeOwn);
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            pending.push_back({it->first, JoinPath(folder.path, it->second)});
        }
    }
    return entries;
}

bool IsVolumeOwnRow(RecoveryRun& run, SectorSource& disk, const FileRef& file) {
    const std::unique_ptr<RebuiltVolume> volume = OpenRebuiltVolume(run, disk);
    if (!volume) {
        return false;
    }
    if (!file.IsFolder()) {
        return volume->IsVolumeOwnFile(file);
    }
    const FolderNode* node = run.folderNodes.FindByItem(file.folderItem);
    return node != nullptr && volume->IsVolumeOwnFolder(*node);
}

SaveEntry FileRowEntry(const std::string& name, const FileRef& file) {
    SaveEntry entry;
    entry.relativePath = SafeNamePart(name);
    // A folder row holds no file data: writing it as a file would give a false copy.
    entry.folder = file.IsFolder();
    if (!entry.folder) {
        entry.file = file;
    }
    return entry;
}

SaveSummary SaveEntries(RecoveryRun& run, SectorSource& disk, const std::vector<SaveEntry>& entries,
                        const FolderHandle& destination, const std::string& shownDestination,
                        SaveDecisions& decisions, std::stop_token stop) {
    int error = 0;
    Saver saver(run, disk, shownDestination, decisions, std::move(stop));
    return saver.Save(entries, destination.Duplicate(error));
}

SaveSummary SaveEntries(RecoveryRun& run, SectorSource& disk, const std::vector<SaveEntry>& entries,
                        const std::string& destination, SaveDecisions& decisions) {
    int error = 0;
    Saver saver(run, disk, destination, decisions, std::stop_token{});
    return saver.Save(entries, FolderHandle::Open(destination, error));
}

}  // namespace lumarest

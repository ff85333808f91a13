#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "core/file_ref.h"
#include "core/packed_texts.h"
#include "core/tree_model.h"
#include "output/file_list_row.h"

namespace lumarest {

struct RecoveryRun;
class SectorSource;

struct ListedFolder {
    std::string path;
    TreeItem item = kNoItem;
    std::uint32_t self = 0;
    std::uint32_t parent = 0;
    // It or a folder above it is deleted, as the window marks it.
    bool deleted = false;
    // Root and the orphan folder hold what the tree places; they are not folders of the volume
    // and are not counted as such.
    bool ofVolume = false;
};

// A file of the rebuilt tree as the file list shows it, with its place on the disk as numbers.
// Read back from a TreeListing, its row holds the shown texts only: name, type, date and time.
struct ListedFile {
    std::string folder;
    FileListRow row;
    FileRef file;
};

using ListedFolderVisitor = std::function<void(const ListedFolder& folder)>;
// Gets each file with its folder; the file's own `folder` is left empty.
using ListedFileVisitor = std::function<void(const ListedFolder& folder, const ListedFile& file)>;

// Walks the rebuilt tree from "Root" depth first, each folder before its children in the
// tree's order: `folder` for every folder and, when `file` is set, then `file` for each file
// the folder holds, read from the disk (FAT) or the file table (NTFS). Returns how many NTFS
// file rows name a folder that is not in the tree, so no listing shows them.
std::size_t WalkTree(RecoveryRun& run, SectorSource& disk, const ListedFolderVisitor& folder,
                     const ListedFileVisitor& file);

// Which rows a listing shows: all, or only the deleted or only the live ones, by the same
// mark the listing prints for each row.
enum class RowFilter { All, Deleted, Live };

inline bool Keeps(RowFilter filter, bool deleted) {
    return filter == RowFilter::All || deleted == (filter == RowFilter::Deleted);
}

// How many folders below Root and files the whole tree holds, whatever a filter kept: what
// the window's counts line shows.
struct TreeCounts {
    std::size_t folders = 0;
    std::size_t deletedFolders = 0;
    std::size_t files = 0;
    std::size_t deletedFiles = 0;

    void Count(const ListedFolder& folder) {
        if (!folder.ofVolume) {
            return;
        }
        ++folders;
        deletedFolders += folder.deleted ? 1 : 0;
    }
    void Count(const FileRef& file) {
        ++files;
        deletedFiles += file.deleted ? 1 : 0;
    }
};

// A file row of a TreeListing as it is printed: texts escaped for a terminal. The views last
// until the next row is read.
struct ListedFileView {
    std::string_view folder;
    std::string_view name;
    std::string_view type;
    std::string_view date;
    std::string_view time;
    const FileRef* file = nullptr;
};

// A folder row of a TreeListing; its path is escaped for a terminal and lasts until the next
// row is read.
struct ListedFolderView {
    std::string_view path;
    std::uint32_t self = 0;
    std::uint32_t parent = 0;
    bool deleted = false;
};

// The folders and files of the rebuilt tree a filter keeps, held in a compact form for a text
// listing: a folder as its tree item and numbers, a file as its numbers and its texts (already
// escaped for a terminal) packed one after another. Folder paths are made again when a row is
// read, so a deep tree costs no more than a wide one. Rows read back by index in walk order.
class TreeListing {
  public:
    TreeListing(RecoveryRun& run, SectorSource& disk, RowFilter filter = RowFilter::All);
    TreeListing(const TreeListing&) = delete;
    TreeListing& operator=(const TreeListing&) = delete;

    std::size_t FolderCount() const { return folderRows_.size(); }
    std::size_t FileCount() const { return files_.size(); }
    ListedFolderView Folder(std::size_t index) const;
    ListedFileView File(std::size_t index) const;

    // NTFS file rows whose folder is not in the tree, so no listing shows them.
    std::size_t unplacedFiles = 0;
    // The whole tree, the rows the filter left out too.
    TreeCounts counts;

  private:
    struct PackedFolder {
        TreeItem item = kNoItem;
        std::uint32_t self = 0;
        std::uint32_t parent = 0;
        bool deleted = false;
    };
    struct PackedFile {
        std::uint64_t texts = 0;   // name, type, date and time
        std::uint32_t folder = 0;  // index in folders_
        FileRef file;
    };
    std::string_view FolderPath(std::size_t index) const;

    const TreeModel* tree_ = nullptr;
    // Every folder of the tree, kept or not: a kept file's folder may be one the filter left out.
    std::deque<PackedFolder> folders_;
    std::deque<std::uint32_t> folderRows_;  // the kept folders, as indexes in folders_
    std::deque<PackedFile> files_;
    PackedTexts texts_;
    // Files are read in order, many to a folder: the last folder's path is kept.
    mutable std::size_t pathFolder_ = SIZE_MAX;
    mutable std::string path_;
    mutable std::array<std::string_view, 4> fileTexts_;
};

}  // namespace lumarest

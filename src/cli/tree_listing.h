#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

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
    bool deleted = false;
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

// Every folder and file of the rebuilt tree kept in a compact form: a folder as its tree item
// and numbers, a file as its numbers and its texts packed one after another. Folder paths are
// made again when a row is read, so a deep tree costs no more than a wide one. Rows read back
// by index in walk order, as values.
class TreeListing {
  public:
    TreeListing(RecoveryRun& run, SectorSource& disk);
    TreeListing(const TreeListing&) = delete;
    TreeListing& operator=(const TreeListing&) = delete;

    class Folders {
      public:
        explicit Folders(const TreeListing& listing) : listing_(listing) {}
        std::size_t size() const { return listing_.folders_.size(); }
        ListedFolder operator[](std::size_t index) const;

      private:
        const TreeListing& listing_;
    };
    class Files {
      public:
        explicit Files(const TreeListing& listing) : listing_(listing) {}
        std::size_t size() const { return listing_.files_.size(); }
        ListedFile operator[](std::size_t index) const;

      private:
        const TreeListing& listing_;
    };

    const Folders folders{*this};
    const Files files{*this};
    // NTFS file rows whose folder is not in the tree, so no listing shows them.
    std::size_t unplacedFiles = 0;

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
    const std::string& FolderPath(std::size_t index) const;

    const TreeModel* tree_ = nullptr;
    std::deque<PackedFolder> folders_;
    std::deque<PackedFile> files_;
    PackedTexts texts_;
    // Files are read in order, many to a folder: the last folder's path is kept.
    mutable std::size_t pathFolder_ = SIZE_MAX;
    mutable std::string path_;
};

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "core/file_ref.h"
#include "core/file_system.h"
#include "core/new_file.h"
#include "output/file_list_row.h"
#include "output/recovered_file.h"

namespace lumarest {

struct FolderNode;
struct RecoveryRun;
class SectorSource;

// Gets each file of a folder with what identifies it, in the order the file list shows them.
using VolumeFileVisitor = std::function<void(const FileListRow& row, const FileRef& file)>;

// Browsing the volume a search rebuilt: what its folders hold and the data of its files. One
// implementation per file system; a volume the Advance search found is the same volume with
// the parameters of its row.
class RebuiltVolume {
  public:
    virtual ~RebuiltVolume() = default;

    virtual FileSystem Kind() const = 0;
    // The folder number the tree's top item stands for.
    virtual std::uint32_t RootFolderId() const = 0;
    // The date and time cells of a child folder's row.
    virtual void DateFolderRow(const FolderNode& node, FileListRow& row) const = 0;
    // Each file of the folder numbered `folderId`; the orphan folder holds none on FAT.
    virtual void ForEachFile(std::uint32_t folderId, const VolumeFileVisitor& visit) = 0;
    // Writes the file's data to `out`.
    virtual RecoveredFileStatus WriteFile(const FileRef& file, std::ostream& out) = 0;
    // The bytes WriteFile stores: what the saved file needs on its disk, holes left out.
    virtual std::uint64_t StoredBytes(const FileRef& file) = 0;
    // When the file's data was last written, seconds since 1970 (UTC); nothing when the volume
    // keeps no time for it that converts.
    virtual std::optional<std::int64_t> LastWrite(const FileRef& file) { return file.lastWrite; }
    // The same for a folder of the tree.
    virtual std::optional<std::int64_t> FolderLastWrite(const FolderNode& node) = 0;
    // Names the child folders of `node` where the volume names folders from their parent's
    // entries rather than their own (FAT); nothing otherwise.
    virtual void NameChildFolders(const FolderNode& /*node*/) {}
    // The file system's own bookkeeping, not the user's: left out when whole folders are saved.
    virtual bool IsVolumeOwnFile(const FileRef& /*file*/) const { return false; }
    virtual bool IsVolumeOwnFolder(const FolderNode& /*node*/) const { return false; }
};

// The volume the run rebuilt last (run.activeVolume), or nothing when its file system is none
// that can be browsed. It reads through `disk` and the run's tables as they are when called.
std::unique_ptr<RebuiltVolume> OpenRebuiltVolume(RecoveryRun& run, SectorSource& disk);

// Writes one listed file of the run's volume to `out`.
RecoveredFileStatus WriteListedFile(RecoveryRun& run, SectorSource& disk, const FileRef& file,
                                    std::ostream& out);

// Writes one listed file as `name` in `folder`, made as a new file and put in place whole,
// replacing what held the name (a link itself, never the file it points at). Nothing is left
// behind when the write fails or nothing of the file is found.
RecoveredFileStatus WriteListedCopy(RecoveryRun& run, SectorSource& disk, const FileRef& file,
                                    const std::string& folder, const std::string& name,
                                    FileReaders readers = FileReaders::Everyone);

}  // namespace lumarest

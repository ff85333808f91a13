#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <stop_token>
#include <string>

namespace lumarest {

// A folder held open: names below it are looked up in this very folder, so a folder swapped for
// a link after it was opened leads nowhere else.
class FolderHandle {
  public:
    enum class Entry { None, Folder, Other };

    // The folder at `path`. A link the user named as the folder is resolved once, before it is
    // opened: the user chose it. What is opened then is never a link. Nothing, with the reason
    // in `error`, when it cannot be opened as a folder.
    static std::optional<FolderHandle> Open(const std::string& path, int& error);

    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    ~FolderHandle();

    // The folder `name` inside this one, made first when `create` and it is missing. A link or a
    // file in its place is refused (ELOOP, ENOTDIR), never followed.
    std::optional<FolderHandle> OpenChild(const std::string& name, bool create, int& error) const;

    // What holds `name` here; a link counts as Other, whatever it points at.
    Entry Lookup(const std::string& name) const;

    int Descriptor() const { return fd_; }

    // A second handle on this very folder, whatever its path names by now.
    std::optional<FolderHandle> Duplicate(int& error) const;

    // Where the folder lies now, as the kernel names it; empty when it cannot say.
    std::string RealPath() const;
    // The bytes its file system still gives an unprivileged writer; nothing when it does not
    // say.
    std::optional<std::uint64_t> FreeBytes() const;

    // Gives the folder this access and modification time (seconds since 1970, UTC); false
    // when the folder's file system refuses it.
    bool SetTimes(std::int64_t seconds) const;

  private:
    explicit FolderHandle(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Who may read a new file: everyone the usual way, or the user alone (copies made for opening).
enum class FileReaders { Everyone, OwnerOnly };

enum class PlaceMode {
    KeepExisting,  // a name already taken is left alone: EEXIST
    Replace,       // whatever holds the name is replaced (a link itself, never what it points at)
};

// A file written for the user: made under a name nobody can guess, only ever opened by this
// process and never through a link, then given its name in one step. Until then, and when it is
// not placed, nothing of it passes for a file.
class NewFile {
  public:
    // A new empty file in `folder`, which must stay open while this lives. Nothing, with the
    // reason in `error`, when the folder takes no file.
    static std::unique_ptr<NewFile> Create(const FolderHandle& folder, int& error,
                                           FileReaders readers = FileReaders::Everyone);

    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile();

    // Zeros put through WriteZeros (core/hole_stream.h) become holes in the file.
    std::ostream& Stream() { return stream_; }

    // Once `stop` is requested, writing fails (ECANCELED): a large file stops part way and is
    // discarded instead of being written to its end.
    void StopWhen(std::stop_token stop);

    // The access and modification time (seconds since 1970, UTC) the file gets once all of it
    // is written; without it the file keeps the time it was written at.
    void SetTimes(std::int64_t seconds) { times_ = seconds; }

    // Writes out what the stream holds and gives the file `name` in its folder: 0, or the reason
    // it failed (EEXIST when the name is taken and `mode` keeps it). The file stays unnamed on
    // failure, to be placed again or dropped.
    int Place(const std::string& name, PlaceMode mode);

    // Removes the unnamed file; done anyway when this ends unplaced.
    void Discard();

  private:
    class Buffer;
    NewFile(int folderFd, int fd, std::string name);
    int Finish();
    // `name` in the folder is this very file, not a link or another file put there.
    bool HoldsThisFile(const std::string& name) const;

    int folderFd_;
    int fd_;
    std::string partialName_;
    std::unique_ptr<Buffer> buffer_;
    std::ostream stream_;
    bool placed_ = false;
    std::optional<std::int64_t> times_;
    // The file's identity, to know it again by its name.
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
};

}  // namespace lumarest

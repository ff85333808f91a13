#include "carving/carved_file_saver.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "carving/folder_storage.h"
#include "core/reporter.h"

namespace lumarest {
namespace {

constexpr mode_t kSavedFileMode = 0644;
// Files of the same name from earlier searches that a new one is numbered past.
constexpr int kMostCopies = 1000;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A carved name comes from a definition file's extension line; it must stay a plain name
// inside the destination folder.
std::string SafeFileName(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        if (c == '/' || c == '\0') {
            c = '_';
        }
    }
    if (safe.empty() || safe == "." || safe == "..") {
        safe = "_" + safe;
    }
    return safe;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Writes the whole file or nothing: a half-written file would pass for a recovered one. Never
// replaces a file already there, which may be one recovered by an earlier search.
int WriteNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kSavedFileMode);
    if (fd < 0) {
        return errno;
    }
    int error = WriteAll(fd, bytes.data(), bytes.size()) ? 0 : errno;
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(path.c_str());
    }
    return error;
}

// "GNLM00001.jpg", then "GNLM00001 (2).jpg", "GNLM00001 (3).jpg" ... while names are taken.
std::string NumberedName(const std::string& name, int copy) {
    if (copy == 1) {
        return name;
    }
    const std::size_t dot = name.rfind('.');
    const std::size_t split = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, split) + " (" + std::to_string(copy) + ")" + name.substr(split);
}

// Device nodes and kernel settings, not a place for files: as root, saving there would write
// among devices. The mount list names the type; statfs answers where the list is unreadable.
std::string SystemFileSystemOf(const std::string& folder, const struct stat& folderInfo,
                               const SystemView& view) {
    const std::string type = FileSystemTypeOf(folderInfo.st_dev, view);
    if (IsSystemFileSystem(type)) {
        return type;
    }
    struct statfs info {};
    if (type.empty() && ::statfs(folder.c_str(), &info) == 0) {
        if (info.f_type == PROC_SUPER_MAGIC) {
            return "proc";
        }
        if (info.f_type == SYSFS_MAGIC) {
            return "sysfs";
        }
    }
    return {};
}

}  // namespace

std::optional<std::string> CheckDestinationFolder(const std::string& folder,
                                                  const std::string& sourceDevicePath) {
    if (folder.empty()) {
        return "Please choose a destination folder for the recovered files.";
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return "The destination folder " + Quoted(folder) + " does not exist.";
    }
    if (!S_ISDIR(info.st_mode)) {
        return "The destination " + Quoted(folder) + " is not a folder.";
    }
    const SystemView view = LiveSystemView();
    if (const std::string system = SystemFileSystemOf(folder, info, view); !system.empty()) {
        return "The destination folder " + Quoted(folder) + " is a system folder (" + system +
               ") that holds devices or kernel settings, not files. Please choose another "
               "folder.";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return "The destination folder " + Quoted(folder) +
               " cannot be written to. Please choose another folder.";
    }
    // Whatever way the folder's file system sits on the source (a partition of it, a loop
    // device or FUSE mount over the image), saving there overwrites what is being recovered.
    if (FolderLiesOnSource(info.st_dev, sourceDevicePath, view)) {
        return "The destination folder " + Quoted(folder) + " lies on the disk being searched (" +
               sourceDevicePath +
               "). Saving recovered files there would overwrite the files being recovered. "
               "Please choose a folder on another disk.";
    }
    return std::nullopt;
}

SavingSink::SavingSink(std::string folder, CarvedFileSink& next, Reporter& reporter)
    : folder_(std::move(folder)), next_(next), reporter_(reporter) {}

void SavingSink::FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) {
    CarvedFile saved = file;
    const std::string name = SafeFileName(file.name);
    std::string path;
    int error = EEXIST;
    for (int copy = 1; copy <= kMostCopies && error == EEXIST; ++copy) {
        path = JoinPath(folder_, NumberedName(name, copy));
        error = WriteNewFile(path, bytes);
    }
    if (error == 0) {
        saved.savedPath = path;
        ++saved_;
    } else if (!failureReported_) {
        // Once only: a full disk would otherwise raise a box for every file that follows.
        failureReported_ = true;
        reporter_.ShowMessage("Could not save " + Quoted(file.name) + " into " + Quoted(folder_) +
                                  ": " + std::strerror(error) +
                                  ". The search goes on; files that cannot be saved are still "
                                  "shown.",
                              MessageIcon::Error);
    }
    next_.FileFinished(saved, std::move(bytes));
}

}  // namespace lumarest

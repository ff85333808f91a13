#include "carving/carved_file_saver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "carving/whole_disk.h"
#include "core/new_file.h"
#include "core/plain_name.h"
#include "core/reporter.h"

namespace lumarest {
namespace {

constexpr const char* kSysfsRoot = "/sys";
// Files of the same name from earlier searches that a new one is numbered past.
constexpr int kMostCopies = 1000;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
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

// Writes the whole file or nothing: a half-written file would pass for a recovered one. Never
// replaces a file already there, which may be one recovered by an earlier search: the file
// takes the first free of "name", "name (2)" ... and `placed` tells which; 0 or the reason it
// could not be saved.
int WriteNewFile(const FolderHandle& folder, const std::string& name,
                 const std::vector<std::uint8_t>& bytes, std::string& placed) {
    int error = 0;
    const std::unique_ptr<NewFile> file = NewFile::Create(folder, error);
    if (!file) {
        return error;
    }
    file->Stream().write(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<std::streamsize>(bytes.size()));
    error = EEXIST;
    for (int copy = 1; copy <= kMostCopies && error == EEXIST; ++copy) {
        placed = NumberedName(name, copy);
        error = file->Place(placed, PlaceMode::KeepExisting);
    }
    return error;
}

bool IsOnSourceDisk(const struct stat& folderInfo, const std::string& sourceDevicePath) {
    struct stat sourceInfo {};
    if (sourceDevicePath.empty() || ::stat(sourceDevicePath.c_str(), &sourceInfo) != 0) {
        return false;
    }
    // Saving beside a disk image leaves the image alone; only a real disk can be overwritten.
    if (!S_ISBLK(sourceInfo.st_mode)) {
        return false;
    }
    return OnSameWholeDisk(major(folderInfo.st_dev), minor(folderInfo.st_dev),
                           major(sourceInfo.st_rdev), minor(sourceInfo.st_rdev), kSysfsRoot);
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
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return "The destination folder " + Quoted(folder) +
               " cannot be written to. Please choose another folder.";
    }
    if (IsOnSourceDisk(info, sourceDevicePath)) {
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
    // A carved name comes from a definition file's extension line; it must stay a plain name
    // inside the destination folder.
    const std::string name = PlainFileName(file.name);
    std::string path;
    int error = 0;
    if (!folderHandle_) {
        // Opened once and kept: every file lands in this folder, even if its path is swapped.
        folderHandle_ = FolderHandle::Open(folder_, error);
    }
    if (folderHandle_) {
        std::string placed;
        error = WriteNewFile(*folderHandle_, name, bytes, placed);
        path = JoinPath(folder_, placed);
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

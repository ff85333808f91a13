#include "carving/carved_file_saver.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "carving/formats/capture_time.h"
#include "core/new_file.h"
#include "core/plain_name.h"
#include "core/reporter.h"

namespace lumarest {
namespace {

// Files of the same name from earlier searches that a new one is numbered past.
constexpr int kMostCopies = 1000;

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

void Write(NewFile& file, std::span<const std::uint8_t> bytes) {
    file.Stream().write(reinterpret_cast<const char*>(bytes.data()),
                        static_cast<std::streamsize>(bytes.size()));
}

// Never replaces a file already there, which may be one recovered by an earlier search: the
// file takes the first free of "name", "name (2)" ... and `placed` tells which; 0 or the reason
// it could not be placed. Placing writes the whole file or nothing: a half-written file would
// pass for a recovered one.
int PlaceNumbered(NewFile& file, const std::string& name, std::string& placed) {
    int error = EEXIST;
    for (int copy = 1; copy <= kMostCopies && error == EEXIST; ++copy) {
        placed = NumberedName(name, copy);
        error = file.Place(placed, PlaceMode::KeepExisting);
    }
    return error;
}

}  // namespace

SavingSink::SavingSink(FolderHandle folder, std::string shownFolder, CarvedFileSink& next,
                       Reporter& reporter, bool keepCarvedLength)
    : folder_(std::move(shownFolder)),
      folderHandle_(std::move(folder)),
      next_(next),
      reporter_(reporter),
      keepCarvedLength_(keepCarvedLength) {}

SavingSink::SavingSink(std::string folder, CarvedFileSink& next, Reporter& reporter,
                       bool keepCarvedLength)
    : folder_(std::move(folder)),
      next_(next),
      reporter_(reporter),
      keepCarvedLength_(keepCarvedLength) {
    // Opened once and kept: every file lands in this folder, even if its path is swapped.
    folderHandle_ = FolderHandle::Open(folder_, openError_);
}

// A file still being written when the search stops was dropped by the scan: it is discarded.
SavingSink::~SavingSink() = default;

int SavingSink::Begin() {
    if (!folderHandle_) {
        return openError_;
    }
    int error = 0;
    writing_ = NewFile::Create(*folderHandle_, error);
    return writing_ ? 0 : error;
}

void SavingSink::DropOpenFile() {
    writing_.reset();
    writingError_ = 0;
    writingName_.clear();
}

void SavingSink::ForgetOtherFile(const CarvedFile& file) {
    // Pieces of a file the scan dropped (a stopped pass) belong to no later file.
    if (file.name != writingName_ || file.firstSector != writingSector_) {
        writing_.reset();
        writingError_ = 0;
        writingName_ = file.name;
        writingSector_ = file.firstSector;
    }
}

bool SavingSink::HasRoom(const CarvedFile& file, std::uint64_t bytes) {
    if (!noRoom_.empty()) {
        return false;
    }
    int error = 0;
    if (!folderHandle_) {
        folderHandle_ = FolderHandle::Open(folder_, error);
    }
    const std::optional<std::uint64_t> free =
        folderHandle_ ? folderHandle_->FreeBytes() : std::nullopt;
    if (!free || bytes <= *free) {
        return true;
    }
    noRoom_ = "There is not enough free space in " + Quoted(folder_) + " to save " +
              Quoted(file.name) + ": it needs " + std::to_string(bytes) + " bytes and " +
              std::to_string(*free) +
              " bytes are free. No more files are saved; those saved before it are kept.";
    reporter_.ShowMessage(noRoom_, MessageIcon::Error);
    failureReported_ = true;
    return false;
}

void SavingSink::FileSpilled(const CarvedFile& file, std::span<const std::uint8_t> piece) {
    ForgetOtherFile(file);
    if (writingError_ == 0 && !HasRoom(file, piece.size())) {
        writing_.reset();
        writingError_ = ENOSPC;
    }
    if (!writing_ && writingError_ == 0) {
        writingError_ = Begin();
    }
    if (writing_) {
        Write(*writing_, piece);
    }
    next_.FileSpilled(file, piece);
}

void SavingSink::FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) {
    ForgetOtherFile(file);
    CarvedFile saved = file;
    // A carved name comes from a definition file's extension line; it must stay a plain name
    // inside the destination folder.
    const std::string name = PlainFileName(
        nameByDate_ && file.captured ? DatedFileName(*file.captured, file.extension) : file.name);
    // After pieces the rest is all there is; otherwise the file's end decides.
    std::span<const std::uint8_t> content(bytes);
    const bool inPieces = writing_ || writingError_ != 0;
    if (!inPieces && !keepCarvedLength_ && file.savedBytes != 0) {
        content = content.first(std::min<std::uint64_t>(file.savedBytes, content.size()));
    }
    if ((!inPieces || writing_) && !HasRoom(file, content.size())) {
        writing_.reset();
        writingError_ = ENOSPC;
    }
    int error = inPieces || writingError_ != 0 ? writingError_ : Begin();
    std::string path;
    if (writing_) {
        Write(*writing_, content);
        // Photo software sorts by the file's time: it is the moment the photo was taken.
        if (file.captured) {
            writing_->SetTimes(*file.captured);
        }
        std::string placed;
        error = PlaceNumbered(*writing_, name, placed);
        path = JoinPath(folder_, placed);
    }
    writing_.reset();
    writingError_ = 0;
    writingName_.clear();
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

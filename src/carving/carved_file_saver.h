#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "carving/carving_scan.h"
#include "carving/destination_folder.h"
#include "core/new_file.h"

namespace lumarest {

class Reporter;

// Writes every finished carved file into the destination folder under its carved name as it
// is finished, records where it went, then hands it on to `next`. A file is written at its
// saved length (its first `savedBytes` bytes; all bytes given when that is 0), or as carved
// when `keepCarvedLength`. A file of that name already there is kept; the new one becomes
// "GNLM00001 (2).jpg" and so on. A file that cannot be written is reported once through the
// reporter; the scan goes on. Takes a file in pieces when `next` does, writing them as they come.
// A file the destination's disk has no room for is not started (nor a piece of it written): the
// reporter hears why once, and no later file is saved; those saved already stay.
class SavingSink : public CarvedFileSink {
  public:
    // Writes into `folder` as opened and checked (OpenDestinationFolder), named `shownFolder`.
    SavingSink(FolderHandle folder, std::string shownFolder, CarvedFileSink& next,
               Reporter& reporter, bool keepCarvedLength = false);
    // Writes into the folder at `folder`, opened here once.
    SavingSink(std::string folder, CarvedFileSink& next, Reporter& reporter,
               bool keepCarvedLength = false);
    ~SavingSink() override;
    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) override;
    std::uint64_t ImageCount() const override { return next_.ImageCount(); }
    bool TakesPieces(const CarvedFile& file) const override { return next_.TakesPieces(file); }
    void FileSpilled(const CarvedFile& file, std::span<const std::uint8_t> piece) override;
    std::uint64_t SavedCount() const { return saved_; }
    // Removes the file being written, as a stopped scan drops it.
    void DropOpenFile();
    // Why saving stopped for want of room; empty while there was room.
    const std::string& NoRoom() const { return noRoom_; }
    // Names each file that says when it was taken by that time ("2024-07-14 10.30.22.heic")
    // instead of its carved name.
    void NameByDate(bool byDate) { nameByDate_ = byDate; }

  private:
    // Starts the file being written, once per file: 0 or the reason it cannot be.
    int Begin();
    void ForgetOtherFile(const CarvedFile& file);
    // False, ending the saving, when `bytes` more of `file` do not fit on the folder's disk.
    bool HasRoom(const CarvedFile& file, std::uint64_t bytes);

    std::string folder_;
    std::optional<FolderHandle> folderHandle_;
    int openError_ = 0;  // why the folder could not be opened
    CarvedFileSink& next_;
    Reporter& reporter_;
    bool keepCarvedLength_;
    bool nameByDate_ = false;
    std::unique_ptr<NewFile> writing_;  // the file whose pieces are being written
    int writingError_ = 0;
    std::string writingName_;  // the file whose pieces came, by name and first sector
    std::uint64_t writingSector_ = 0;
    std::uint64_t saved_ = 0;
    bool failureReported_ = false;
    std::string noRoom_;
};

}  // namespace lumarest

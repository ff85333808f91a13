#pragma once

#include <optional>
#include <string>

#include "carving/carving_scan.h"
#include "core/new_file.h"

namespace lumarest {

class Reporter;

// The message to show when carved files may not be saved into `folder`: it does not exist, is
// not a folder, cannot be written, or lies on the disk being searched (`sourceDevicePath`),
// where saving would overwrite what is being recovered. Nothing when the folder is fine.
std::optional<std::string> CheckDestinationFolder(const std::string& folder,
                                                  const std::string& sourceDevicePath);

// Writes every finished carved file into the destination folder under its carved name as it
// is finished, records where it went, then hands it on to `next`. A file of that name already
// there is kept; the new one becomes "GNLM00001 (2).jpg" and so on. A file that cannot be
// written is reported once through the reporter; the scan goes on.
class SavingSink : public CarvedFileSink {
  public:
    SavingSink(std::string folder, CarvedFileSink& next, Reporter& reporter);
    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) override;
    std::uint64_t ImageCount() const override { return next_.ImageCount(); }
    std::uint64_t SavedCount() const { return saved_; }

  private:
    std::string folder_;
    std::optional<FolderHandle> folderHandle_;
    CarvedFileSink& next_;
    Reporter& reporter_;
    std::uint64_t saved_ = 0;
    bool failureReported_ = false;
};

}  // namespace lumarest

#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "carving/signature_file.h"
#include "core/reporter.h"

namespace lumarest {

class SectorSource;

// Where finished carved files go: the thumbnail list, the destination folder, the command
// line's listing. Called on the scan's thread, in order of position.
class CarvedFileSink {
  public:
    virtual ~CarvedFileSink() = default;
    // `file.position` is the thumbnail position; `bytes` are the carved sectors.
    virtual void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) = 0;
    // The number of pictures the thumbnail list holds: where a thorough scan starts.
    virtual std::uint64_t ImageCount() const = 0;
};

enum class CarvingPass { General, Thorough };

// One carving pass over sectors [firstSector, lastSector) in chunks of 1024 sectors, naming
// files GNLM00001... (General) or THLM00001... (Thorough). Reports "Sectors  N of M", the
// search-method text and progress through `reporter`; stops between sectors when `stop` is
// requested, keeping every file already finished and dropping the incomplete open one. No file
// starts at or after `lastSector`; a file that starts before it runs on to the end of its
// chunk, its size limit or the next header, but not past the end of a disk of known size, and
// is then finished like any other. Thorough files take thumbnail
// positions from the sink's ImageCount() on.
void RunCarvingPass(CarvingPass pass, const SignatureList& signatures, SectorSource& disk,
                    std::uint64_t firstSector, std::uint64_t lastSector, CarvedFileSink& sink,
                    Reporter& reporter, std::stop_token stop);

// "GNLM00001.jpg": the pass's prefix, the number padded to five digits, the extension.
std::string CarvedFileName(CarvingPass pass, std::uint64_t fileNumber,
                           const std::string& extension);

}  // namespace lumarest

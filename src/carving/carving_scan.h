#pragma once

#include <cstdint>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "carving/formats/carved_format.h"
#include "carving/signature_file.h"
#include "core/reporter.h"

namespace lumarest {

class SectorSource;

// Where finished carved files go: the thumbnail list, the destination folder, the command
// line's listing. Called on the scan's thread, in order of position.
class CarvedFileSink {
  public:
    virtual ~CarvedFileSink() = default;
    // `file.position` is the thumbnail position; `bytes` hold at least the file's first
    // `file.savedBytes` bytes (all `file.bytes` carved when the pass keeps the carved length).
    // A sink that takes pieces gets, for a file handed on in pieces, only the bytes after them.
    virtual void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) = 0;
    // The number of pictures the thumbnail list holds: where a thorough scan starts.
    virtual std::uint64_t ImageCount() const = 0;
    // True when the sink can take `file` (not finished yet) in pieces, when its end cannot be
    // found or lies far on: it is then handed on through FileSpilled as it is carved, so it is
    // never held whole; every piece comes before the file's FileFinished. A pass that is
    // stopped drops the open file after some of its pieces may have come.
    virtual bool TakesPieces(const CarvedFile& /*file*/) const { return false; }
    // The next piece of the open file; `file` names it (its position is not given yet).
    virtual void FileSpilled(const CarvedFile& /*file*/, std::span<const std::uint8_t> /*piece*/) {}
};

enum class CarvingPass { General, Thorough };

// The per-format checks a pass asks: the registered ones, or a test's own.
struct FormatChecks {
    bool (*headerHolds)(std::string_view extension,
                        std::span<const std::uint8_t> head) = HeaderHolds;
    FormatEnd (*findEnd)(std::string_view extension,
                         std::span<const std::uint8_t> bytes) = FindFormatEnd;
    bool (*picture)(std::string_view extension) = IsPictureType;
    std::string_view (*trueType)(std::string_view extension,
                                 std::span<const std::uint8_t> bytes) = TrueFileType;
    std::optional<FormatEnd> (*walkFrom)(std::string_view extension,
                                         std::span<const std::uint8_t> bytes,
                                         WalkPoint& point) = WalkFormatFrom;
    bool (*runsOnUnits)(std::string_view extension) = RunsOnUnits;
    std::span<const MarkedType> (*markedTypes)() = MarkedTypes;
};

struct CarvingOptions {
    // Every carved byte reaches the sink, also past a found end (saving at the carved length).
    bool keepCarvedBytes = false;
    FormatChecks checks;
};

// One carving pass over sectors [firstSector, lastSector) in chunks of 1024 sectors, naming
// files GNLM00001... (General) or THLM00001... (Thorough). Reports "Sectors  N of M", the
// search-method text and progress through `reporter`; stops between sectors when `stop` is
// requested, keeping every file already finished and dropping the incomplete open one. No file
// starts at or after `lastSector`; a file that starts before it runs on to the end of its
// chunk, its size limit or the next header, but not past the end of a disk of known size, and
// is then finished like any other. Thorough files take thumbnail
// positions from the sink's ImageCount() on.
//
// A sector whose leading bytes match a record starts a file only when the record's format
// holds the header; otherwise the next matching record is tried, and a sector no record holds
// is plain data of the open file. So is a header inside the open file where the file's own
// sizes say it goes on past it (a preview inside a raw picture, a clip inside a clip). Where
// the file's own marks name a type the record stands in for (a brand, a maker), the file is
// named and checked as that type. When a file is finished its end is looked for: `savedBytes`
// is where it ends (the carved count when unknown) and `verdict` the structural verdict. Bytes
// past a found end are counted but not held, unless `options.keepCarvedBytes`. A sector no
// record matches starts a file of a marked type whose mark it bears (an MTS stream).
//
// A file is held while its end is looked for, up to 512 MiB. One that a sink takes in pieces
// is streamed instead, never held whole, when its end cannot be found, or when its own walk
// says it goes on far past the bytes held (a clip's media box) or runs on in units no size
// bounds: its walk goes on over each piece, so it still ends where its structure does, and
// it may run past its type's size limit to the end its sizes declare.
void RunCarvingPass(CarvingPass pass, const SignatureList& signatures, SectorSource& disk,
                    std::uint64_t firstSector, std::uint64_t lastSector, CarvedFileSink& sink,
                    Reporter& reporter, std::stop_token stop, const CarvingOptions& options = {});

// "GNLM00001.jpg": the pass's prefix, the number padded to five digits, the extension.
std::string CarvedFileName(CarvingPass pass, std::uint64_t fileNumber,
                           const std::string& extension);

}  // namespace lumarest

#include "carving/carving_scan.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "carving/carved_verdict.h"
#include "carving/formats/capture_time.h"
#include "carving/signature_matcher.h"
#include "core/sector_source.h"

namespace lumarest {
namespace {

constexpr std::uint32_t kChunkSectors = 1024;
// How far ahead of the chunk being examined the disk is asked to fetch.
constexpr std::uint32_t kReadAheadSectors = 4 * kChunkSectors;
constexpr std::size_t kChunkBytes = std::size_t{kChunkSectors} * kSectorSize;
constexpr std::size_t kNameDigits = 5;
constexpr const char* kSectorsText = "Sectors  ";
constexpr const char* kCompletedText = "Completed ";
constexpr const char* kGeneralMethodText =
    "(Currently performing Search based on: General Recovery Procedure)";
constexpr const char* kThoroughMethodText =
    "(Currently performing Search based on: Thorough Scanning Algorithm)";
// Memory set aside when a file starts; it grows with the sectors that really arrive, so a huge
// limit in a damaged definition file costs nothing up front.
constexpr std::uint64_t kInitialReserveBytes = 4ull << 20;
// However large a type's limit, a carved file is complete at this size: a damaged definition
// file must not let one file take all memory.
constexpr std::uint64_t kMostCarvedBytes = 512ull << 20;

std::string SectorsText(std::uint64_t sector, std::uint64_t endSector) {
    return kSectorsText + std::to_string(sector) + " of " + std::to_string(endSector);
}

int ProgressPercent(std::uint64_t chunkStart, std::uint64_t endSector) {
    const unsigned __int128 percent =
        static_cast<unsigned __int128>(chunkStart) * 100 / std::max<std::uint64_t>(endSector, 1);
    return percent > 100 ? 100 : static_cast<int>(percent);
}

// A whole chunk, also past the end of the range, but never past the end of a disk of known size:
// sectors that do not exist would only pad the last file with zeros.
std::uint32_t SectorsToExamine(std::uint64_t chunkStart, std::uint64_t diskSectors) {
    if (diskSectors == 0) {
        return kChunkSectors;
    }
    if (chunkStart >= diskSectors) {
        return 0;
    }
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(kChunkSectors, diskSectors - chunkStart));
}

std::string ExtensionWithoutDot(const std::string& extension) {
    return !extension.empty() && extension.front() == '.' ? extension.substr(1) : extension;
}

// Where a file's end is first looked for; each later look is at twice the bytes, so the
// looking costs about twice the file at most.
constexpr std::uint64_t kFirstEndCheckBytes = 256ull << 10;
// A file with no end to find goes to a sink that takes pieces in pieces of this size.
constexpr std::size_t kSpillPieceBytes = 4u << 20;

// The one file a pass carves at a time, from its header sector to its limit or the next header.
class Carver {
  public:
    Carver(CarvingPass pass, const SignatureList& signatures, CarvedFileSink& sink,
           std::uint64_t firstPosition, const CarvingOptions& options)
        : pass_(pass),
          signatures_(signatures),
          matcher_(signatures),
          sink_(sink),
          options_(options),
          position_(firstPosition) {
        extensions_.reserve(signatures.size());
        for (const FileType& type : signatures) {
            extensions_.push_back(ExtensionWithoutDot(type.extension));
        }
    }

    // Past the range (`mayStart` false) a sector only carries on the open file: a header
    // there ends it, but no file starts outside the range asked for. `head` is the sector and
    // the rest of the buffer read after it.
    void Step(std::span<const std::uint8_t> head, std::uint64_t sectorNumber, bool mayStart) {
        const std::uint8_t* sector = head.data();
        std::size_t match = matcher_.Match(sector);
        // A header its format does not hold is data: it neither starts nor ends a file.
        while (match != SignatureMatcher::kNoMatch &&
               !options_.checks.headerHolds(extensions_[match], head)) {
            match = matcher_.Match(sector, match + 1);
        }
        if (match != SignatureMatcher::kNoMatch && inFile_ && SaysItGoesOn()) {
            match = SignatureMatcher::kNoMatch;
        }
        if (match != SignatureMatcher::kNoMatch) {
            if (inFile_) {
                Finish();
            }
            if (mayStart) {
                Start(signatures_[match], extensions_[match], sector, sectorNumber);
            }
            return;
        }
        if (!inFile_) {
            return;
        }
        if (file_.bytes < sizeLimit_) {
            Append(sector);
            return;
        }
        // The file reached its limit: this sector belongs to no file.
        Finish();
    }

    bool InFile() const { return inFile_; }

    // Hands on the file still open when the range ends.
    void FinishOpenFile() {
        if (inFile_) {
            Finish();
        }
    }

  private:
    void Start(const FileType& type, const std::string& extension, const std::uint8_t* sector,
               std::uint64_t sectorNumber) {
        inFile_ = true;
        ++fileNumber_;
        file_ = CarvedFile{};
        file_.name = CarvedFileName(pass_, fileNumber_, type.extension);
        file_.extension = extension;
        file_.firstSector = sectorNumber;
        sizeLimit_ = std::min(SizeLimitBytes(type), kMostCarvedBytes);
        end_ = FormatEnd{};
        holding_ = true;
        spilling_ = false;
        nextEndCheck_ = kFirstEndCheckBytes;
        lookedAt_ = 0;
        typed_ = false;
        bytes_.clear();
        bytes_.reserve(
            std::min(std::max<std::uint64_t>(sizeLimit_, kSectorSize), kInitialReserveBytes));
        file_.bytes = 0;
        Append(sector);
    }

    void Append(const std::uint8_t* sector) {
        file_.bytes += kSectorSize;
        if (!holding_) {
            return;
        }
        bytes_.insert(bytes_.end(), sector, sector + kSectorSize);
        if (spilling_) {
            if (bytes_.size() >= kSpillPieceBytes) {
                Spill();
            }
        } else if (end_.kind != EndKind::Found && bytes_.size() >= nextEndCheck_) {
            nextEndCheck_ *= 2;
            LookForEnd(false);
        }
    }

    // Once the end is found the bytes past it are only counted. A file whose structure gives
    // no end will not give one with more bytes: a sink that takes pieces gets it in pieces.
    void LookForEnd(bool finishing) {
        if (!typed_) {
            TakeTrueType();
        }
        lookedAt_ = bytes_.size();
        end_ = options_.checks.findEnd(file_.extension, bytes_);
        if (end_.kind == EndKind::Found && !options_.keepCarvedBytes) {
            bytes_.resize(std::min<std::uint64_t>(end_.length, bytes_.size()));
            if (!finishing) {
                bytes_.shrink_to_fit();
            }
            holding_ = false;
        } else if (end_.kind == EndKind::Unknown && !finishing && sink_.TakesPieces(file_)) {
            // Its first bytes are all a file handed on in pieces keeps to say when it was taken.
            file_.captured = CaptureSeconds(file_.extension, bytes_);
            spilling_ = true;
            Spill();
        }
    }

    // Named by what its first bytes say it is, before any sink sees it.
    void TakeTrueType() {
        typed_ = true;
        const std::string_view type = options_.checks.trueType(file_.extension, bytes_);
        if (!type.empty() && type != file_.extension) {
            file_.extension = std::string(type);
            file_.name = CarvedFileName(pass_, fileNumber_, "." + file_.extension);
        }
    }

    // Whether the open file's own sizes reach past what was carved of it: a header met now
    // lies inside it.
    bool SaysItGoesOn() {
        if (!holding_ || spilling_ || end_.kind == EndKind::Found) {
            return false;
        }
        if (bytes_.size() != lookedAt_) {
            LookForEnd(false);
        }
        return holding_ && !spilling_ && end_.kind == EndKind::PastBytes &&
               end_.length > file_.bytes;
    }

    void Spill() {
        sink_.FileSpilled(file_, bytes_);
        bytes_.clear();
    }

    void Finish() {
        // A file ending between two looks is looked at once more, whole.
        if (holding_ && !spilling_ && end_.kind != EndKind::Found && bytes_.size() != lookedAt_) {
            LookForEnd(true);
        }
        if (!spilling_) {
            file_.captured = CaptureSeconds(file_.extension, bytes_);
        }
        file_.position = position_++;
        file_.savedBytes = SavedLength(end_, file_.bytes);
        file_.verdict =
            JudgeCarvedFile(end_, options_.checks.picture(file_.extension), std::nullopt);
        inFile_ = false;
        sink_.FileFinished(file_, std::move(bytes_));
        bytes_ = {};
    }

    CarvingPass pass_;
    const SignatureList& signatures_;
    std::vector<std::string> extensions_;  // each record's, without its dot
    SignatureMatcher matcher_;
    CarvedFileSink& sink_;
    const CarvingOptions& options_;
    std::uint64_t position_;
    std::uint64_t fileNumber_ = 0;
    bool inFile_ = false;
    CarvedFile file_;  // `bytes` counts the sectors carved so far
    std::uint64_t sizeLimit_ = 0;
    FormatEnd end_;
    bool holding_ = false;   // the bytes are kept: no end found yet, or all are wanted
    bool spilling_ = false;  // no end to find: the bytes go to the sink in pieces
    std::uint64_t nextEndCheck_ = 0;
    std::size_t lookedAt_ = 0;         // the bytes held at the last look
    bool typed_ = false;               // the file's own marks were asked for its type
    std::vector<std::uint8_t> bytes_;  // held, after any pieces handed on
};

void ReportStart(CarvingPass pass, std::uint64_t firstSector, std::uint64_t lastSector,
                 Reporter& reporter) {
    reporter.SetStatisticValue(Statistic::DirectoriesFound, "0");
    reporter.SetStatisticValue(Statistic::BootSectorsFound, "0");
    reporter.SetStatisticValue(Statistic::SectorProgress, SectorsText(firstSector, lastSector));
    reporter.SetStatisticValue(Statistic::SearchMethod, pass == CarvingPass::General
                                                            ? kGeneralMethodText
                                                            : kThoroughMethodText);
}

}  // namespace

std::string CarvedFileName(CarvingPass pass, std::uint64_t fileNumber,
                           const std::string& extension) {
    std::string number = std::to_string(fileNumber);
    if (number.size() < kNameDigits) {
        number.insert(0, kNameDigits - number.size(), '0');
    }
    return (pass == CarvingPass::General ? "GNLM" : "THLM") + number + extension;
}

void RunCarvingPass(CarvingPass pass, const SignatureList& signatures, SectorSource& disk,
                    std::uint64_t firstSector, std::uint64_t lastSector, CarvedFileSink& sink,
                    Reporter& reporter, std::stop_token stop, const CarvingOptions& options) {
    ReportStart(pass, firstSector, lastSector, reporter);
    const std::uint64_t firstPosition = pass == CarvingPass::General ? 0 : sink.ImageCount();
    Carver carver(pass, signatures, sink, firstPosition, options);
    std::vector<std::uint8_t> buffer(kChunkBytes);
    int shownPercent = -1;
    for (std::uint64_t chunkStart = firstSector; chunkStart < lastSector;) {
        reporter.SetStatisticValue(Statistic::SectorProgress, SectorsText(chunkStart, lastSector));
        const std::uint32_t sectors = SectorsToExamine(chunkStart, disk.TotalSectors());
        if (sectors == 0) {
            break;
        }
        // A failed read leaves zeros for the sectors it could not get; they are examined alike.
        disk.ReadSectors(chunkStart, sectors, buffer.data());
        // The disk fetches what follows while this chunk is examined.
        if (chunkStart + sectors < lastSector) {
            disk.WillRead(chunkStart + sectors, kReadAheadSectors);
        }
        const std::span<const std::uint8_t> chunk(buffer.data(),
                                                  std::size_t{sectors} * kSectorSize);
        for (std::uint32_t j = 0; j < sectors; ++j) {
            // A stopped pass keeps the files already handed on; the open one is incomplete.
            if (stop.stop_requested()) {
                return;
            }
            const bool inRange = chunkStart + j < lastSector;
            if (!inRange && !carver.InFile()) {
                break;
            }
            carver.Step(chunk.subspan(std::size_t{j} * kSectorSize), chunkStart + j, inRange);
        }
        const int percent = ProgressPercent(chunkStart, lastSector);
        if (percent != shownPercent) {
            reporter.SetProgress(ProgressBar::MainScan, percent, kCompletedText);
            shownPercent = percent;
        }
        if (chunkStart > std::numeric_limits<std::uint64_t>::max() - kChunkSectors) {
            break;
        }
        chunkStart += kChunkSectors;
    }
    carver.FinishOpenFile();
}

}  // namespace lumarest

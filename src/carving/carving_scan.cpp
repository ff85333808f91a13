#include "carving/carving_scan.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "carving/signature_matcher.h"
#include "core/sector_source.h"

namespace lumarest {
namespace {

constexpr std::uint32_t kChunkSectors = 1024;
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

// The one file a pass carves at a time, from its header sector to its limit or the next header.
class Carver {
  public:
    Carver(CarvingPass pass, const SignatureList& signatures, CarvedFileSink& sink,
           std::uint64_t firstPosition)
        : pass_(pass),
          signatures_(signatures),
          matcher_(signatures),
          sink_(sink),
          position_(firstPosition) {}

    // Past the range (`mayStart` false) a sector only carries on the open file: a header
    // there ends it, but no file starts outside the range asked for.
    void Step(const std::uint8_t* sector, std::uint64_t sectorNumber, bool mayStart) {
        const std::size_t match = matcher_.Match(sector);
        if (match != SignatureMatcher::kNoMatch) {
            if (inFile_) {
                Finish();
            }
            if (mayStart) {
                Start(signatures_[match], sector, sectorNumber);
            }
            return;
        }
        if (!inFile_) {
            return;
        }
        if (bytes_.size() < sizeLimit_) {
            bytes_.insert(bytes_.end(), sector, sector + kSectorSize);
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
    void Start(const FileType& type, const std::uint8_t* sector, std::uint64_t sectorNumber) {
        inFile_ = true;
        ++fileNumber_;
        file_ = CarvedFile{};
        file_.name = CarvedFileName(pass_, fileNumber_, type.extension);
        file_.extension = ExtensionWithoutDot(type.extension);
        file_.firstSector = sectorNumber;
        sizeLimit_ = std::min(SizeLimitBytes(type), kMostCarvedBytes);
        bytes_.clear();
        bytes_.reserve(
            std::min(std::max<std::uint64_t>(sizeLimit_, kSectorSize), kInitialReserveBytes));
        bytes_.insert(bytes_.end(), sector, sector + kSectorSize);
    }

    void Finish() {
        file_.position = position_++;
        file_.bytes = bytes_.size();
        inFile_ = false;
        sink_.FileFinished(file_, std::move(bytes_));
        bytes_ = {};
    }

    CarvingPass pass_;
    const SignatureList& signatures_;
    SignatureMatcher matcher_;
    CarvedFileSink& sink_;
    std::uint64_t position_;
    std::uint64_t fileNumber_ = 0;
    bool inFile_ = false;
    CarvedFile file_;
    std::uint64_t sizeLimit_ = 0;
    std::vector<std::uint8_t> bytes_;
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
                    Reporter& reporter, std::stop_token stop) {
    ReportStart(pass, firstSector, lastSector, reporter);
    const std::uint64_t firstPosition = pass == CarvingPass::General ? 0 : sink.ImageCount();
    Carver carver(pass, signatures, sink, firstPosition);
    std::vector<std::uint8_t> chunk(kChunkBytes);
    int shownPercent = -1;
    for (std::uint64_t chunkStart = firstSector; chunkStart < lastSector;) {
        reporter.SetStatisticValue(Statistic::SectorProgress, SectorsText(chunkStart, lastSector));
        const std::uint32_t sectors = SectorsToExamine(chunkStart, disk.TotalSectors());
        if (sectors == 0) {
            break;
        }
        // A failed read leaves zeros for the sectors it could not get; they are examined alike.
        disk.ReadSectors(chunkStart, sectors, chunk.data());
        for (std::uint32_t j = 0; j < sectors; ++j) {
            // A stopped pass keeps the files already handed on; the open one is incomplete.
            if (stop.stop_requested()) {
                return;
            }
            const bool inRange = chunkStart + j < lastSector;
            if (!inRange && !carver.InFile()) {
                break;
            }
            carver.Step(chunk.data() + std::size_t{j} * kSectorSize, chunkStart + j, inRange);
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

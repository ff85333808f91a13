#include "carving/carving_scan.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "carving/carved_verdict.h"
#include "carving/formats/capture_time.h"
#include "carving/signature_matcher.h"
#include "core/sector_range_scan.h"
#include "core/sector_source.h"

namespace lumarest {
namespace {

constexpr std::uint32_t kChunkSectors = 1024;
// How far ahead of the chunk being examined the disk is asked to fetch.
constexpr std::uint32_t kReadAheadSectors = 4 * kChunkSectors;
constexpr std::size_t kNameDigits = 5;
constexpr const char* kGeneralMethodText =
    "(Currently performing Search based on: General Recovery Procedure)";
constexpr const char* kThoroughMethodText =
    "(Currently performing Search based on: Thorough Scanning Algorithm)";
// Memory set aside when a file starts; it grows with the sectors that really arrive, so a huge
// limit in a damaged definition file costs nothing up front.
constexpr std::uint64_t kInitialReserveBytes = 4ull << 20;
// However large a type's limit, a file held whole is complete at this size: a damaged definition
// file must not let one file take all memory.
constexpr std::uint64_t kMostHeldBytes = 512ull << 20;

std::string ExtensionWithoutDot(const std::string& extension) {
    return !extension.empty() && extension.front() == '.' ? extension.substr(1) : extension;
}

// Where a file's end is first looked for; each later look is at twice the bytes, so the
// looking costs about twice the file at most.
constexpr std::uint64_t kFirstEndCheckBytes = 256ull << 10;
// A file handed on in pieces goes in pieces of this size.
constexpr std::size_t kSpillPieceBytes = 4u << 20;
// A file whose walk says it goes on further than this past the bytes held, or that has this
// much held and goes on, is streamed to a sink that takes pieces.
constexpr std::uint64_t kStreamingBytes = 8ull << 20;
// A streamed walk goes on over the bytes held once they are more than any unit's header.
constexpr std::uint64_t kWalkLeadBytes = 64ull << 10;
// A streamed file is carved this far past where its walk says it goes, so the walk sees what
// follows before the file reaches its limit.
constexpr std::uint64_t kStreamSlackBytes = 2 * kSpillPieceBytes;
// However far a damaged file's sizes say it goes, no file is carved longer.
constexpr std::uint64_t kMostStreamedBytes = 256ull << 30;

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
        for (const MarkedType& marked : options.checks.markedTypes()) {
            FileType type;
            type.extension = std::string(marked.extension);
            type.sizeLimit = std::to_string(marked.sizeLimit);
            marked_.push_back({type, marked.holds});
            extensions_.push_back(ExtensionWithoutDot(type.extension));
        }
    }

    // Past the range (`mayStart` false) a sector only carries on the open file: a header
    // there ends it, but no file starts outside the range asked for. `head` is the sector and
    // the rest of the buffer read after it.
    void Step(std::span<const std::uint8_t> head, std::uint64_t sectorNumber, bool mayStart) {
        std::size_t match = MatchHeader(head);
        if (match != SignatureMatcher::kNoMatch && inFile_ &&
            SaysItGoesOn(head.first(kSectorSize))) {
            match = SignatureMatcher::kNoMatch;
        }
        if (match != SignatureMatcher::kNoMatch) {
            if (inFile_) {
                Finish();
            }
            if (mayStart) {
                Start(TypeOf(match), extensions_[match], head.data(), sectorNumber);
            }
            return;
        }
        if (!inFile_) {
            return;
        }
        if (walking_ && file_.bytes >= sizeLimit_) {
            WalkOn(true);  // what it walks may take the limit further
        }
        if (file_.bytes < sizeLimit_) {
            Append(head.data());
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
    struct Marked {
        FileType type;
        bool (*holds)(std::span<const std::uint8_t> head);
    };

    // The first record whose leading bytes match and whose format holds the header, else the
    // first marked type whose mark the sector bears (numbered after the records).
    std::size_t MatchHeader(std::span<const std::uint8_t> head) const {
        const std::uint8_t* sector = head.data();
        std::size_t match = matcher_.Match(sector);
        // A header its format does not hold is data: it neither starts nor ends a file.
        while (match != SignatureMatcher::kNoMatch &&
               !options_.checks.headerHolds(extensions_[match], head)) {
            match = matcher_.Match(sector, match + 1);
        }
        if (match != SignatureMatcher::kNoMatch) {
            return match;
        }
        for (std::size_t i = 0; i < marked_.size(); ++i) {
            if (marked_[i].holds(head)) {
                return signatures_.size() + i;
            }
        }
        return SignatureMatcher::kNoMatch;
    }

    const FileType& TypeOf(std::size_t match) const {
        return match < signatures_.size() ? signatures_[match]
                                          : marked_[match - signatures_.size()].type;
    }

    void Start(const FileType& type, const std::string& extension, const std::uint8_t* sector,
               std::uint64_t sectorNumber) {
        inFile_ = true;
        ++fileNumber_;
        file_ = CarvedFile{};
        file_.name = CarvedFileName(pass_, fileNumber_, type.extension);
        file_.extension = extension;
        file_.firstSector = sectorNumber;
        typeLimit_ = SizeLimitBytes(type);
        sizeLimit_ = std::min(typeLimit_, kMostHeldBytes);
        end_ = FormatEnd{};
        holding_ = true;
        spilling_ = false;
        walking_ = false;
        point_ = WalkPoint{};
        heldFrom_ = 0;
        waitFor_ = 0;
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
                if (walking_) {
                    WalkOn(false);
                }
                // Once its end is found the rest of it waits for the file's end.
                if (holding_) {
                    Spill();
                }
            }
        } else if (end_.kind != EndKind::Found && bytes_.size() >= nextEndCheck_) {
            nextEndCheck_ *= 2;
            LookForEnd(false);
        }
    }

    // Once the end is found the bytes past it are only counted. A file whose structure gives
    // no end will not give one with more bytes: a sink that takes pieces gets it in pieces, as
    // it gets one whose walk goes on far.
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
        } else if (finishing || !sink_.TakesPieces(file_)) {
            return;
        } else if (end_.kind == EndKind::Unknown) {
            // Its first bytes are all a file handed on in pieces keeps to say when it was taken.
            file_.captured = CaptureSeconds(file_.extension, bytes_);
            spilling_ = true;
            Spill();
        } else if (GoesOnFar()) {
            StartStreaming();
        }
    }

    // Whether the walk says the file goes on far past the bytes held, or it is long already,
    // or its units run on with nothing to say how far.
    bool GoesOnFar() const {
        if (end_.kind != EndKind::PastBytes || end_.length <= file_.bytes) {
            return false;
        }
        return end_.length - file_.bytes > kStreamingBytes || file_.bytes >= kStreamingBytes ||
               options_.checks.runsOnUnits(file_.extension);
    }

    // Hands the bytes held on as the first piece; the walk goes on over each piece after.
    void StartStreaming() {
        WalkPoint point;
        const std::optional<FormatEnd> end =
            options_.checks.walkFrom(file_.extension, bytes_, point);
        if (!end || end->kind != EndKind::PastBytes || end->length <= file_.bytes) {
            return;
        }
        end_ = *end;
        point_ = point;
        walking_ = true;
        spilling_ = true;
        file_.captured = CaptureSeconds(file_.extension, bytes_);
        sizeLimit_ = StreamedLimit();
        Spill();
    }

    // A streamed file runs to its type's limit, or on past it to where its own sizes say it
    // goes; a run of units no size bounds stops at the type's limit.
    std::uint64_t StreamedLimit() const {
        const std::uint64_t limit = std::max(sizeLimit_, typeLimit_);
        if (options_.checks.runsOnUnits(file_.extension)) {
            return limit;
        }
        return std::max(limit, std::min(end_.length, kMostStreamedBytes) + kStreamSlackBytes);
    }

    // Walks on from the point over the bytes held past it, once they are enough to read a
    // unit's header, or `atEnd` when no more may come before the walk's answer is needed.
    void WalkOn(bool atEnd) {
        const std::uint64_t heldEnd = heldFrom_ + bytes_.size();
        if (point_.at < heldFrom_ || point_.at > heldEnd ||
            (!atEnd && (heldEnd - point_.at < kWalkLeadBytes || heldEnd < waitFor_))) {
            return;
        }
        const auto from = std::span<const std::uint8_t>(bytes_).subspan(point_.at - heldFrom_);
        // A clip recorded with its movie box last says when it was taken there.
        if (!file_.captured) {
            file_.captured = CaptureSeconds(file_.extension, from);
        }
        WalkPoint point = point_;
        const FormatEnd end =
            options_.checks.walkFrom(file_.extension, from, point).value_or(FormatEnd{});
        if (!atEnd && WaitsForUnit(end, heldEnd)) {
            waitFor_ = end.length;
            return;
        }
        point_ = point;
        end_ = end;
        if (end_.kind == EndKind::PastBytes && end_.length > heldEnd) {
            sizeLimit_ = StreamedLimit();
            return;
        }
        // Found, cut short or broken: nothing more to walk.
        walking_ = false;
        if (end_.kind == EndKind::Found) {
            EndFound();
        }
    }

    // Whether a unit near the bytes held runs past them while the file has not said when it
    // was taken: it is held whole before the walk goes past it, as it may say so (a movie box
    // last). A run of units no size bounds has none to wait for.
    bool WaitsForUnit(const FormatEnd& end, std::uint64_t heldEnd) const {
        return !file_.captured && end.kind == EndKind::PastBytes && end.length > heldEnd &&
               end.length - heldEnd <= kStreamingBytes &&
               !options_.checks.runsOnUnits(file_.extension);
    }

    // The bytes past a found end are only counted, unless all carved bytes are wanted.
    void EndFound() {
        if (options_.keepCarvedBytes) {
            return;
        }
        const std::uint64_t kept = end_.length > heldFrom_ ? end_.length - heldFrom_ : 0;
        bytes_.resize(std::min<std::uint64_t>(kept, bytes_.size()));
        holding_ = false;
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

    // Whether the open file's own sizes reach past what was carved of it, or its units run on
    // into the header's `sector`: a header met now lies inside it.
    bool SaysItGoesOn(std::span<const std::uint8_t> sector) {
        if (!holding_ || end_.kind == EndKind::Found || (spilling_ && !walking_)) {
            return false;
        }
        if (options_.checks.runsOnUnits(file_.extension)) {
            return RunsInto(sector);
        }
        if (walking_) {
            if (point_.at <= file_.bytes) {
                WalkOn(true);
            }
        } else if (bytes_.size() != lookedAt_) {
            LookForEnd(false);
        }
        return holding_ && (!spilling_ || walking_) && end_.kind == EndKind::PastBytes &&
               end_.length > file_.bytes;
    }

    // Whether the open file's units run on into the header's sector, looked at with it; units
    // that stop before it end the file there. The walk is kept when they run on: the sector is
    // the file's then.
    bool RunsInto(std::span<const std::uint8_t> sector) {
        bytes_.insert(bytes_.end(), sector.begin(), sector.end());
        WalkPoint point = point_;
        const std::size_t from =
            static_cast<std::size_t>(std::min<std::uint64_t>(point_.at - heldFrom_, bytes_.size()));
        const std::optional<FormatEnd> walked = options_.checks.walkFrom(
            file_.extension, std::span<const std::uint8_t>(bytes_).subspan(from), point);
        const FormatEnd end = walked ? *walked : options_.checks.findEnd(file_.extension, bytes_);
        bytes_.resize(bytes_.size() - sector.size());
        if (end.kind == EndKind::Found && end.length <= file_.bytes) {
            end_ = end;
            walking_ = false;
            EndFound();
            return false;
        }
        const bool runsOn = end.kind == EndKind::Found || end.kind == EndKind::PastBytes;
        if (runsOn && walked) {
            point_ = point;
        }
        return runsOn;
    }

    // Hands on the bytes held, but those from the walk's point on, which it reads next.
    void Spill() {
        std::size_t count = bytes_.size();
        if (walking_ && point_.at >= heldFrom_ && point_.at - heldFrom_ < count) {
            count = static_cast<std::size_t>(point_.at - heldFrom_);
        }
        if (count == 0) {
            return;
        }
        sink_.FileSpilled(file_, std::span<const std::uint8_t>(bytes_).first(count));
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count));
        heldFrom_ += count;
    }

    void Finish() {
        // A file ending between two looks is looked at once more, whole.
        if (holding_ && !spilling_ && end_.kind != EndKind::Found && bytes_.size() != lookedAt_) {
            LookForEnd(true);
        }
        if (walking_ && holding_) {
            WalkOn(true);
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
    std::vector<Marked> marked_;
    std::vector<std::string> extensions_;  // each record's, then each marked type's, no dot
    SignatureMatcher matcher_;
    CarvedFileSink& sink_;
    const CarvingOptions& options_;
    std::uint64_t position_;
    std::uint64_t fileNumber_ = 0;
    bool inFile_ = false;
    CarvedFile file_;  // `bytes` counts the sectors carved so far
    std::uint64_t typeLimit_ = 0;
    std::uint64_t sizeLimit_ = 0;
    FormatEnd end_;
    bool holding_ = false;        // the bytes are kept: no end found yet, or all are wanted
    bool spilling_ = false;       // the bytes go to the sink in pieces
    bool walking_ = false;        // in pieces, its walk going on over each
    WalkPoint point_;             // where the walk goes on
    std::uint64_t heldFrom_ = 0;  // the bytes handed on in pieces
    std::uint64_t waitFor_ = 0;   // the walk waits till the bytes held reach this far
    std::uint64_t nextEndCheck_ = 0;
    std::size_t lookedAt_ = 0;         // the bytes held at the last look
    bool typed_ = false;               // the file's own marks were asked for its type
    std::vector<std::uint8_t> bytes_;  // held, after any pieces handed on
};

void ReportStart(CarvingPass pass, std::uint64_t firstSector, SectorRangeScan& scan,
                 Reporter& reporter) {
    scan.ShowStart(firstSector);
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
    SectorRangeScan scan(reporter, {ScanPace::AsRead, lastSector});
    ReportStart(pass, firstSector, scan, reporter);
    const std::uint64_t firstPosition = pass == CarvingPass::General ? 0 : sink.ImageCount();
    Carver carver(pass, signatures, sink, firstPosition, options);
    // A failed read leaves zeros for the sectors it could not get; they are examined alike.
    const auto carveChunk = [&](const ScanChunk& chunk) -> std::uint64_t {
        for (std::uint64_t at = 0; at < chunk.bytes.size(); at += kSectorSize) {
            if (stop.stop_requested()) {
                return 0;
            }
            const std::uint64_t sector = chunk.first + at / kSectorSize;
            const bool inRange = sector < lastSector;
            if (!inRange && !carver.InFile()) {
                break;
            }
            carver.Step(chunk.bytes.subspan(at), sector, inRange);
        }
        return chunk.sectors;
    };
    // Chunks are read whole past the range's end, for the file still open there, but never
    // past the end of a disk of known size: sectors that do not exist would only pad it with
    // zeros.
    const std::uint64_t diskSectors = disk.TotalSectors();
    const std::uint64_t reached = scan.Run(
        {.first = firstSector,
         .end = lastSector,
         .chunkSectors = kChunkSectors,
         .readEnd = diskSectors == 0 ? std::numeric_limits<std::uint64_t>::max() : diskSectors,
         .readAheadSectors = kReadAheadSectors},
        disk, carveChunk, stop);
    // A pass stopped short keeps the files already handed on; the open one is incomplete.
    if (reached >= lastSector || !stop.stop_requested()) {
        carver.FinishOpenFile();
    }
}

}  // namespace lumarest
